// SPDX-License-Identifier: MIT
#include "engine/ClassicModem.h"

#include "engine/StripCrLf.h"

#include <array>

namespace ostrella {

namespace {

const std::string OkReply = "OK\r\n";
constexpr std::int64_t EscapeReplyDelayMs = 1000;

// A dial command holding this anywhere switches the line to seven-bit even parity after CONNECT.
const std::string SevenBitDial = "ATDT" + std::string(SevenBitNumber);

// What each dial outcome sends once it is due.
std::string dialReply(DialOutcome outcome)
{
    switch (outcome) {
    case DialOutcome::Connect:
        break;
    case DialOutcome::Busy:
        return "BUSY\r\n";
    case DialOutcome::NoAnswer:
        return "";
    case DialOutcome::NoCarrier:
        return "NO CARRIER\r\n";
    case DialOutcome::NoDialtone:
        return "NO DIALTONE\r\n";
    }
    return "CONNECT\r\n";
}

// The number dialled: what follows the first "ATDT" (any case), blanks left out.
std::string dialledNumber(std::string_view rx)
{
    std::string number;
    for (std::size_t i = 0; i + 4 <= rx.size(); ++i) {
        if (LineLink::CompString("ATDT", rx.substr(i, 4))) {
            for (char c : rx.substr(i + 4)) {
                if (c != ' ')
                    number.push_back(c);
            }
            break;
        }
    }
    return number;
}

} // namespace

ClassicModem::ClassicModem(LineContext& line, ModemEvents& events)
    : line_(line)
    , events_(events)
{
}

bool ClassicModem::tick(LineState state)
{
    Session& session = line_.session;
    switch (state) {
    case LineState::MODEM:
        if (line_.link.InBufferCount() > 0)
            takeInput();
        return true;
    case LineState::WAIT:
        // "+++" answered one second later; back to the modem's command state.
        if (line_.nowMs() > session.gReplyDue) {
            line_.enterModemState();
            line_.link.SendData(session.gReplyText);
            session.gReplyText.clear();
        }
        return true;
    case LineState::WAITCONNECT:
        // The dial result (empty for no answer) goes out when due; the PET side starts either way.
        if (line_.nowMs() > session.gReplyDue) {
            session.gLineState = LineState::WAIT_CR;
            const bool carrier = session.gReplyText.starts_with("CONNECT");
            line_.link.SendData(session.gReplyText);
            session.gReplyText.clear();
            line_.report().dialEnded(carrier);
            events_.putThrough(carrier);
        }
        return true;
    case LineState::Empty:
    case LineState::IDLE:
    case LineState::WAIT_CR:
    case LineState::PASSWD:
    case LineState::STXNO:
        break;
    }
    return false;
}

void ClassicModem::carrierLost()
{
    line_.link.SendData("NO CARRIER\r\n");
}

void ClassicModem::takeInput()
{
    LineLink& link = line_.link;
    const std::string rx = StripCrLf(link.RxData(static_cast<long>(link.InBufferCount())));

    if (LineLink::CompString("+++", rx)) {
        line_.session.gReplyText = OkReply;
        line_.session.gReplyDue = line_.nowMs() + EscapeReplyDelayMs;
        line_.session.gLineState = LineState::WAIT;
    } else if (LineLink::CompString("ath", rx) || LineLink::CompString("ate0", rx)
               || LineLink::CompString("atq0", rx) || LineLink::CompString("at&f", rx)
               || LineLink::CompString("ate", rx)) {
        link.SendData(OkReply);
    } else if (LineLink::CompString("ATDT", rx)) {
        dial(rx);
    } else if (LineLink::CompString("at", rx)) {
        link.SendData(OkReply);
    }

    link.ClearInputBuffer();
    link.ClearRxPacket();
}

void ClassicModem::dial(const std::string& rx)
{
    Session& session = line_.session;
    const std::string number = dialledNumber(rx);
    const DialDecision decision = line_.faults.dial(number);
    if (decision.outcome == DialOutcome::Connect) {
        line_.link.setSevenBitActive(false);
        if (LineLink::CompString(SevenBitDial, rx)) {
            line_.logPet("  DP:CONVERT 7 BIT active");
            session.gSevenBitDialled = true;
        } else {
            session.gSevenBitDialled = false;
        }
    }
    session.gReplyText = dialReply(decision.outcome);
    session.gReplyDue = line_.nowMs() + decision.delayMs;
    session.gLineState = LineState::WAITCONNECT;
    line_.report().dialled(number, decision.outcome,
                           decision.outcome == DialOutcome::Connect && session.gSevenBitDialled);
}

} // namespace ostrella
