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

// The first row of `rows` whose box is ticked, in the table's order; nullptr: none.
template<typename Row, std::size_t N>
const Row* firstTicked(const TestPanel& panel, const std::array<Row, N>& rows)
{
    for (const Row& row : rows) {
        if (panel.ticked(row.box))
            return &row;
    }
    return nullptr;
}

} // namespace

DialDecision FaultPolicy::dial(std::string_view number)
{
    if (dialHook_) {
        // A copy runs, so that a hook may set another (or none) while it runs.
        const auto hook = dialHook_;
        hook(number);
    }
    DialDecision decision;
    if (const BoxOutcome* box = firstTicked(panel_, DialBoxes)) {
        decision.outcome = box->outcome;
        decision.reason = DialReason::Box;
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
    if (const BoxReply* box = firstTicked(panel_, BlockBoxes))
        return DirectedReply { box->reply, ReplyReason::Box };
    return std::nullopt;
}

} // namespace ostrella
