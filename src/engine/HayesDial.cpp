// SPDX-License-Identifier: MIT
// The hayes modem's dial: its outcome from the fault policy (and the call's script), its result
// once due, and the abort a character gives it.
#include "engine/HayesModem.h"

#include <limits>

namespace ostrella {

namespace {

// When a dial that is never answered falls due: never, since no reading of the clock is later.
constexpr std::int64_t NeverDue = std::numeric_limits<std::int64_t>::max();

} // namespace

HayesModem::Step HayesModem::dial(const hayes::Command& c)
{
    if (callHeld_)
        return Step::Fail;
    // The fault policy first: its dial hook may set the script this dial plays.
    const DialDecision decision = line_.faults.dial(c.text);
    ++dials_;
    // The script's silent first dial gets no result at all: only the client's abort (NO CARRIER)
    // or its hang-up ends it. It is told as a dial nobody answered.
    const bool silent = dials_ == 1 && line_.script().firstDialSilent;
    dialOutcome_ = silent ? DialOutcome::NoAnswer : decision.outcome;
    dialSevenBit_ = dialOutcome_ == DialOutcome::Connect && c.text == SevenBitNumber;
    dialDue_ = silent ? NeverDue : line_.nowMs() + decision.delayMs;
    mode_ = Mode::Dialling;
    line_.session.gLineState = LineState::WAITCONNECT;
    // Told at the dial, as the classic modem tells it: a dial aborted later keeps its outcome.
    line_.report().dialled(c.text, dialOutcome_, dialSevenBit_);
    if (silent)
        line_.logPet("  DP: Dial left unanswered");
    return Step::Done;
}

void HayesModem::finishDial()
{
    if (dialOutcome_ != DialOutcome::Connect) {
        const unsigned x = settings_.level;
        HayesResult r = HayesResult::NoCarrier;
        if (dialOutcome_ == DialOutcome::Busy && x >= 3)
            r = HayesResult::Busy;
        else if (dialOutcome_ == DialOutcome::NoAnswer && x >= 3)
            r = HayesResult::NoAnswer;
        else if (dialOutcome_ == DialOutcome::NoDialtone && (x == 2 || x == 4))
            r = HayesResult::NoDialtone;
        result(r);
        mode_ = Mode::Command;
        line_.session.gLineState = LineState::MODEM;
        line_.report().dialEnded(false);
        return;
    }
    // CONNECT goes out in the framing the modem talked so far; the call's framing follows it.
    connected();
    flush();
    line_.session.gSevenBitDialled = dialSevenBit_;
    line_.link.setSevenBitActive(dialSevenBit_);
    if (dialSevenBit_)
        line_.logPet("  DP:CONVERT 7 BIT active");
    mode_ = Mode::Online;
    line_.session.gLineState = LineState::WAIT_CR;
    lastRxMs_ = line_.nowMs();
    escapeCount_ = 0;
    line_.report().dialEnded(true);
    events_.putThrough(true);
}

void HayesModem::abortDial()
{
    result(HayesResult::NoCarrier);
    mode_ = Mode::Command;
    line_.session.gLineState = LineState::MODEM;
    line_.report().dialEnded(false);
}

} // namespace ostrella
