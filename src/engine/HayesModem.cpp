// SPDX-License-Identifier: MIT
#include "engine/HayesModem.h"

#include "link/ControlChars.h"

namespace ostrella {

namespace {

using hayes::Command;

// What the terminal's state waits for, to be armed again when a held call resumes.
std::string resumeWaitFor(LineState state)
{
    switch (state) {
    case LineState::WAIT_CR:
        return std::string(1, Cr);
    case LineState::PASSWD:
        return std::string { Esc } + "PG1";
    case LineState::STXNO:
        return std::string(1, Etx);
    case LineState::Empty:
    case LineState::IDLE:
    case LineState::MODEM:
    case LineState::WAIT:
    case LineState::WAITCONNECT:
        break;
    }
    return std::string();
}

} // namespace

HayesModem::HayesModem(LineContext& line, ModemEvents& events)
    : line_(line)
    , events_(events)
{
}

void HayesModem::reset()
{
    settings_ = Settings();
    assembler_.clear();
    lastLine_.clear();
    mode_ = Mode::Command;
    callHeld_ = false;
    heldState_ = LineState::IDLE;
    dials_ = 0;
    lastRxMs_ = line_.nowMs();
    escapeCount_ = 0;
    out_.clear();
    plainAfterFlush_ = false;
}

void HayesModem::dataArrived(std::string_view bytes)
{
    noteArrival(bytes);
    // In its command state, and while a dial is pending, the modem answers at once: the echo,
    // each complete line's answer, a dial's abort. Bytes that come in during its own write wait
    // for the next arrival or tick.
    const LineState state = line_.session.gLineState;
    if (writing_
        || (state != LineState::MODEM
            && (state != LineState::WAITCONNECT || mode_ != Mode::Dialling)))
        return;
    if (state == LineState::MODEM)
        enterCommandMode();
    takeInput();
    flush();
}

void HayesModem::noteArrival(std::string_view bytes)
{
    const std::int64_t now = line_.nowMs();
    const unsigned escapeChar = settings_.registers[EscapeCharRegister];
    for (char c : bytes) {
        const std::int64_t silence = now - lastRxMs_;
        lastRxMs_ = now;
        if (mode_ != Mode::Online || escapeChar > 127
            || static_cast<unsigned char>(c) != escapeChar)
            escapeCount_ = 0;
        else if (silence > guardMs())
            escapeCount_ = 1; // the guard time before it has passed: a possible start
        else if (escapeCount_ >= 1 && escapeCount_ < 3)
            ++escapeCount_;
        else
            escapeCount_ = 0; // a fourth one, or one with no guard time before the first
    }
}

bool HayesModem::tick(LineState state)
{
    const std::int64_t now = line_.nowMs();
    switch (state) {
    case LineState::MODEM:
        enterCommandMode();
        takeInput();
        break;
    case LineState::WAITCONNECT:
        if (mode_ != Mode::Dialling)
            return false;
        takeInput();
        if (mode_ == Mode::Dialling && now > dialDue_)
            finishDial();
        break;
    case LineState::WAIT:
        return false;
    case LineState::Empty:
    case LineState::IDLE:
    case LineState::WAIT_CR:
    case LineState::PASSWD:
    case LineState::STXNO:
        if (mode_ != Mode::Online)
            return false;
        if (escapeDue(now))
            escape();
        else if (!escapeMayBeUnderWay(now))
            return false;
        break;
    }
    flush();
    return true;
}

void HayesModem::enterCommandMode()
{
    if (mode_ != Mode::Command) {
        // The terminal handed the line back (EOT, or its own "+++" rule): the call is over.
        mode_ = Mode::Command;
        callHeld_ = false;
    }
}

void HayesModem::carrierLost()
{
    result(HayesResult::NoCarrier);
    flush();
    mode_ = Mode::Command;
    callHeld_ = false;
}

void HayesModem::takeInput()
{
    // A copy: what is consumed is taken from the link once this pass's bytes are processed. Input
    // after a line that goes back on line is left to the terminal.
    const std::string rx = line_.link.gRxString();
    std::size_t used = 0;
    while (used < rx.size() && out_.size() < MaxReplyPerTick && mode_ != Mode::Online)
        takeByte(rx[used++]);
    if (used > 0)
        (void)line_.link.RxData(static_cast<long>(used));
}

void HayesModem::takeByte(char c)
{
    if (mode_ == Mode::Dialling) {
        // A line feed after the dial's CR belongs to that line (clients that end lines with
        // CR LF); any other character aborts the dial, as a key press does on a real modem.
        if (c != Lf)
            abortDial();
        return;
    }
    if (settings_.echo)
        out_.push_back(c);
    switch (assembler_.feed(c)) {
    case hayes::LineAssembler::Fed::Nothing:
        break;
    case hayes::LineAssembler::Fed::Line:
        lastLine_ = assembler_.line();
        runLine(lastLine_, assembler_.overflowed());
        break;
    case hayes::LineAssembler::Fed::Repeat:
        runLine(lastLine_, false);
        break;
    }
}

HayesModem::Step HayesModem::goOnline()
{
    if (!callHeld_) {
        result(HayesResult::NoCarrier);
        return Step::Done;
    }
    connected();
    callHeld_ = false;
    mode_ = Mode::Online;
    line_.session.gLineState = heldState_;
    if (const std::string waitFor = resumeWaitFor(heldState_); !waitFor.empty())
        line_.link.SetAndCompareString(CompareWaitMs, waitFor);
    lastRxMs_ = line_.nowMs();
    escapeCount_ = 0;
    return Step::Done;
}

void HayesModem::escape()
{
    heldState_ = line_.session.gLineState;
    line_.session.gLineState = LineState::MODEM;
    line_.link.CancelWait();
    line_.link.ClearInputBuffer();
    line_.link.ClearRxPacket();
    mode_ = Mode::Command;
    callHeld_ = true;
    escapeCount_ = 0;
    result(HayesResult::Ok);
}

void HayesModem::dtrCommandMode()
{
    if (mode_ != Mode::Online)
        return;
    escape();
    flush();
}

std::int64_t HayesModem::guardMs() const
{
    return std::int64_t { settings_.registers[GuardTimeRegister] } * 20;
}

bool HayesModem::escapeDue(std::int64_t now) const
{
    return escapeCount_ == 3 && now > lastRxMs_ + guardMs();
}

bool HayesModem::escapeMayBeUnderWay(std::int64_t now) const
{
    return escapeCount_ > 0 && now <= lastRxMs_ + guardMs();
}

void HayesModem::flush()
{
    writing_ = true;
    if (!out_.empty())
        line_.link.SendData(out_);
    writing_ = false;
    out_.clear();
    if (plainAfterFlush_)
        line_.link.setSevenBitActive(false);
    plainAfterFlush_ = false;
}

} // namespace ostrella
