// SPDX-License-Identifier: MIT
#include "engine/FaultPolicy.h"

#include <array>

namespace ostrella {

namespace {

struct BoxOutcome {
    Box box;
    DialOutcome outcome;
};

// First ticked box wins, in this order.
constexpr std::array<BoxOutcome, 4> DialBoxes { {
    { Box::chkBusy, DialOutcome::Busy },
    { Box::chkNoAnswer, DialOutcome::NoAnswer },
    { Box::chkNoCarrier, DialOutcome::NoCarrier },
    { Box::chkNoDialtone, DialOutcome::NoDialtone },
} };

struct BoxReply {
    Box box;
    BlockReply reply;
};

constexpr std::array<BoxReply, 3> BlockBoxes { {
    { Box::chkNAK, BlockReply::Nak },
    { Box::chkREJ, BlockReply::Rej },
    { Box::chkNOResponse, BlockReply::None },
} };

} // namespace

DialDecision FaultPolicy::dial(std::string_view number)
{
    DialDecision decision;
    for (const BoxOutcome& b : DialBoxes) {
        if (panel_.ticked(b.box)) {
            decision.outcome = b.outcome;
            decision.reason = DialReason::Box;
            break;
        }
    }
    const auto planned = plan_ != nullptr ? plan_->nextDial(number) : std::nullopt;
    if (decision.reason == DialReason::Normal && planned && *planned != DialOutcome::Connect) {
        decision.outcome = *planned;
        decision.reason = DialReason::Plan;
    }
    decision.delayMs = dialDelayMs(decision.outcome);
    return decision;
}

std::optional<DirectedReply> FaultPolicy::boxReply() const
{
    for (const BoxReply& b : BlockBoxes) {
        if (panel_.ticked(b.box))
            return DirectedReply { b.reply, ReplyReason::Box };
    }
    return std::nullopt;
}

} // namespace ostrella
