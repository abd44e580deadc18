// SPDX-License-Identifier: MIT
// The Hayes-style modem the client dials. Like a real modem it answers "OK" to the few commands a
// paging client sends; unlike one, it matches each command anywhere in everything received since
// the last tick, and the first rule that matches decides.
#include "engine/Engine.h"

#include <array>

namespace ostrella {

namespace {

const std::string OkReply = "OK\r\n";

struct DialResult {
    Box box;
    DialOutcome outcome;
    const char* reply;
    std::int64_t delayMs;
};

// First ticked box wins; none ticked connects after 10 s.
constexpr std::array<DialResult, 4> DialFaults { {
    { Box::chkBusy, DialOutcome::Busy, "BUSY\r\n", 5000 },
    { Box::chkNoAnswer, DialOutcome::NoAnswer, "", 40000 },
    { Box::chkNoCarrier, DialOutcome::NoCarrier, "NO CARRIER\r\n", 20000 },
    { Box::chkNoDialtone, DialOutcome::NoDialtone, "NO DIALTONE\r\n", 8000 },
} };
constexpr std::int64_t ConnectDelayMs = 10000;
constexpr std::int64_t EscapeReplyDelayMs = 1000;

// Dialling this number switches the line to seven-bit even parity after CONNECT.
constexpr std::string_view SevenBitNumber = "ATDT125107";

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

void Engine::tickModem()
{
    // Everything received since the last tick is one input, consumed whole.
    const std::string rx = StripCrLf(link_.RxData(static_cast<long>(link_.InBufferCount())));

    if (LineLink::CompString("+++", rx)) {
        session.gReplyText = OkReply;
        session.gReplyDue = clock_.nowMs() + EscapeReplyDelayMs;
        session.gLineState = LineState::WAIT;
    } else if (LineLink::CompString("ath", rx) || LineLink::CompString("ate0", rx)
               || LineLink::CompString("atq0", rx) || LineLink::CompString("at&f", rx)
               || LineLink::CompString("ate", rx)) {
        link_.SendData(OkReply);
    } else if (LineLink::CompString("ATDT", rx)) {
        dial(rx);
    } else if (LineLink::CompString("at", rx)) {
        link_.SendData(OkReply);
    }

    link_.ClearInputBuffer();
    link_.ClearRxPacket();
}

void Engine::dial(const std::string& rx)
{
    const DialResult* fault = nullptr;
    for (const DialResult& r : DialFaults) {
        if (panel_.ticked(r.box)) {
            fault = &r;
            break;
        }
    }
    // Every dial counts in the plan, even one a ticked box answers.
    const std::string number = (plan_ != nullptr || report_ != nullptr) ? dialledNumber(rx) : "";
    const auto planned = plan_ != nullptr ? plan_->nextDial(number) : std::nullopt;
    if (fault == nullptr && planned && *planned != DialOutcome::Connect) {
        for (const DialResult& r : DialFaults) {
            if (r.outcome == *planned)
                fault = &r;
        }
    }

    if (fault != nullptr) {
        session.gReplyText = fault->reply;
        session.gReplyDue = clock_.nowMs() + fault->delayMs;
    } else {
        link_.setSevenBitActive(false);
        if (LineLink::CompString(SevenBitNumber, rx)) {
            logPet("  DP:CONVERT 7 BIT active");
            session.gSevenBitDialled = true;
        } else {
            session.gSevenBitDialled = false;
        }
        session.gReplyText = "CONNECT\r\n";
        session.gReplyDue = clock_.nowMs() + ConnectDelayMs;
    }
    session.gLineState = LineState::WAITCONNECT;
    if (report_ != nullptr) {
        report_->dialled(number, fault != nullptr ? fault->outcome : DialOutcome::Connect,
                         fault == nullptr && session.gSevenBitDialled);
    }
}

} // namespace ostrella
