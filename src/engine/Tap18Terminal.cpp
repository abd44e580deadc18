// SPDX-License-Identifier: MIT
// The tap18 terminal's dispatch, logon and disconnect. The block side is in Tap18Blocks.cpp.
#include "engine/Tap18Terminal.h"

#include "engine/StripCrLf.h"

#include <algorithm>

namespace ostrella {

namespace {

const std::string IdPrompt = "ID=\r";
// The go-ahead that follows the logon's ACK.
const std::string GoAhead = std::string { Esc } + "[p\r";

bool isLetter(char c)
{
    return upper(c) >= 'A' && upper(c) <= 'Z';
}

} // namespace

Tap18Terminal::Tap18Terminal(LineContext& line, TerminalEvents& events)
    : line_(line)
    , events_(events)
{
}

std::int64_t Tap18Terminal::now() const
{
    return line_.nowMs();
}

void Tap18Terminal::logPet(std::string text)
{
    line_.logPet(std::move(text));
}

void Tap18Terminal::send(const std::string& bytes)
{
    line_.link.SendData(bytes);
}

int Tap18Terminal::tickMs() const
{
    return std::clamp(std::min(settings.t2Ms, settings.t3Ms), MinTickMs, FastTickMs);
}

void Tap18Terminal::newCall()
{
    if (onLine_)
        line_.restartEngineTimer(SlowTickMs);
    dial_ = Dial::None;
    onLine_ = false;
    clearTransaction();
    scripted_ = ScriptState {};
}

void Tap18Terminal::putThrough(bool carrier)
{
    if (carrier)
        carrierUp();
    else
        dial_ = Dial::Failed;
}

bool Tap18Terminal::tick(LineState state)
{
    if (!onLine_) {
        if (state != LineState::WAIT_CR || dial_ == Dial::None)
            return false;
        if (dial_ == Dial::Failed) {
            // No carrier, no terminal: the modem stays in its command state.
            dial_ = Dial::None;
            line_.enterModemState();
            return true;
        }
        answerCall();
    }

    const std::size_t size = line_.link.InBufferCount();
    if (size != lastRxSize_)
        lastRxChange_ = now();
    switch (state) {
    case LineState::WAIT_CR:
    case LineState::PASSWD:
    case LineState::STXNO:
        if (scripted_.eotSilent)
            tickSilent();
        else if (state == LineState::STXNO)
            tickBlocks();
        else
            tickLogon(state);
        break;
    case LineState::Empty:
    case LineState::IDLE:
    case LineState::MODEM:
    case LineState::WAIT:
    case LineState::WAITCONNECT:
        onLine_ = false;
        return false;
    }
    lastRxSize_ = line_.link.InBufferCount();
    return true;
}

void Tap18Terminal::carrierUp()
{
    // Nothing sent before the carrier came up reaches the terminal.
    dial_ = Dial::Connected;
    line_.link.ClearInputBuffer();
    line_.restartEngineTimer(tickMs());
}

void Tap18Terminal::answerCall()
{
    dial_ = Dial::None;
    onLine_ = true;
    line_.link.CancelWait();
    line_.link.setSevenBitActive(line_.session.gSevenBitDialled);
    if (line_.session.gSevenBitDialled)
        line_.link.StripPendingToSevenBits();
    tries_ = 0;
    checksumFailures_ = 0;
    pages_ = 0;
    skipping_ = false;
    clearTransaction();
    lastRxSize_ = 0;
    lastRxChange_ = now();
    // A client that never sends its CR is prompted unasked after t5.
    deadline_ = now() + settings.t5Ms;
    logPet("  DP: Terminal tap18 answers");
    scriptAnswer();
}

void Tap18Terminal::tickLogon(LineState state)
{
    while (reading() && line_.session.gLineState == state) {
        const auto line = takeLine();
        if (!line)
            break;
        onLogonLine(*line, state);
        state = line_.session.gLineState;
        if (state != LineState::WAIT_CR && state != LineState::PASSWD)
            return;
    }
    if (!reading() || now() <= deadline_)
        return;
    if (line_.session.gLineState == LineState::WAIT_CR)
        waitCrTimedOut();
    else if (line_.session.gLineState == LineState::PASSWD)
        retry(Tap18Code::TimeOut);
}

void Tap18Terminal::onLogonLine(const std::string& line, LineState state)
{
    if (line.find(Esc) != std::string::npos)
        logon(line);
    else if (!line.empty() && line.front() == Eot)
        closing();
    else if (state != LineState::WAIT_CR)
        retry(Tap18Code::InvalidLogon);
    else if (idDueOnCr())
        prompt();
}

std::optional<std::string> Tap18Terminal::takeLine()
{
    const std::string& rx = line_.link.gRxString();
    const std::size_t cr = rx.find(Cr);
    std::size_t length = rx.size();
    if (cr != std::string::npos)
        length = cr + 1;
    else if (rx.size() < MaxLogonLine)
        return std::nullopt;
    return StripCrLf(line_.link.RxData(static_cast<long>(length)));
}

void Tap18Terminal::prompt(std::string_view logLine)
{
    logPet(std::string(logLine));
    send(IdPrompt);
    line_.session.gLineState = LineState::PASSWD;
    deadline_ = now() + settings.t5Ms;
}

void Tap18Terminal::retry(Tap18Code code)
{
    if (tries_ >= settings.n3) {
        disconnect(code);
        return;
    }
    ++tries_;
    const std::string count = std::to_string(tries_) + " of " + std::to_string(settings.n3);
    if (code == Tap18Code::InvalidPassword) {
        logPet("  DP: Sending 509 NAK (" + count + ")");
        send(codeLine(code) + std::string { Nak, Cr });
    } else {
        logPet("  DP: Returning IDentify again (" + count + ")");
        send(IdPrompt);
    }
    line_.session.gLineState = LineState::PASSWD;
    deadline_ = now() + settings.t5Ms;
}

void Tap18Terminal::logon(std::string_view line)
{
    if (scriptedLogon())
        return;
    // ESC, a two-letter service, a one-character category, then the password up to CR.
    const std::string_view rest = line.substr(line.find(Esc) + 1);
    if (rest.size() < 3 || !isLetter(rest[0]) || !isLetter(rest[1])) {
        retry(Tap18Code::InvalidLogon);
        return;
    }
    if (upper(rest[0]) != 'P' || upper(rest[1]) != 'G' || rest[2] != '1') {
        disconnect(Tap18Code::ServiceNotSupported);
        return;
    }
    if (settings.password && rest.substr(3) != *settings.password) {
        retry(Tap18Code::InvalidPassword);
        return;
    }
    logPet("  DP: Returning LOGONOK");
    send(codeLine(Tap18Code::Version) + std::string { Ack, Cr } + GoAhead);
    line_.report().loggedOn();
    line_.session.gLineState = LineState::STXNO;
    deadline_ = now() + t4Ms();
}

void Tap18Terminal::closing()
{
    logPet("  DP: Rxd EOT pkt");
    line_.report().eotReceived();
    if (!scriptedClosing())
        disconnect(Tap18Code::Goodbye);
}

void Tap18Terminal::disconnect(Tap18Code code)
{
    logPet("  DP: Sending " + std::to_string(static_cast<int>(code)) + " and disconnect");
    send(codeLine(code) + Tap18Disconnect);
    hangUp();
}

void Tap18Terminal::hangUp()
{
    // A transaction the call ends before its last block (EOT, a time-out, a limit) is kept as a
    // page nobody answered, so that what the client sent is not lost.
    if (!fields_.empty())
        record(fields_, nullptr, BlockReply::None, ReplyReason::Incomplete, Tap18Code {});
    line_.session.gSevenBitDialled = false;
    line_.link.setSevenBitActive(false);
    events_.hungUp();
    line_.enterModemState();
    line_.restartEngineTimer(SlowTickMs);
    onLine_ = false;
    clearTransaction();
}

} // namespace ostrella
