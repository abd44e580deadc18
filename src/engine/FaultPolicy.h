// SPDX-License-Identifier: MIT
// The one place where the faults are decided, for every modem and terminal profile: the fault
// boxes first (the first ticked one in the panel's order wins), then the fault plan. A dial gets
// its outcome and the classic modem's delay for it; a block gets the reply the operator directs,
// if any, and otherwise the terminal answers it by its own rules.
#pragma once

#include "engine/CallReport.h"
#include "engine/FaultPlan.h"
#include "ports/Ports.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ostrella {

// How long each dial outcome takes to be reported, in ms.
inline constexpr std::int64_t ConnectDelayMs = 10'000;
inline constexpr std::int64_t BusyDelayMs = 5'000;
inline constexpr std::int64_t NoAnswerDelayMs = 40'000;
inline constexpr std::int64_t NoCarrierDelayMs = 20'000;
inline constexpr std::int64_t NoDialtoneDelayMs = 8'000;

constexpr std::int64_t dialDelayMs(DialOutcome outcome)
{
    switch (outcome) {
    case DialOutcome::Connect:
        break;
    case DialOutcome::Busy:
        return BusyDelayMs;
    case DialOutcome::NoAnswer:
        return NoAnswerDelayMs;
    case DialOutcome::NoCarrier:
        return NoCarrierDelayMs;
    case DialOutcome::NoDialtone:
        return NoDialtoneDelayMs;
    }
    return ConnectDelayMs;
}

// Why a dial got its outcome: nothing stood in its way, a ticked box, or the plan.
enum class DialReason { Normal, Box, Plan };

struct DialDecision {
    DialOutcome outcome = DialOutcome::Connect;
    DialReason reason = DialReason::Normal;
    std::int64_t delayMs = ConnectDelayMs;
};

struct DirectedReply {
    BlockReply reply;
    ReplyReason reason;
};

class FaultPolicy {
public:
    explicit FaultPolicy(const TestPanel& panel)
        : panel_(panel)
    {
    }

    // The fault plan consulted after the boxes; nullptr: none.
    void setPlan(FaultPlan* plan) { plan_ = plan; }

    // A dial of `number`: the first ticked dial box, else the plan's outcome, else CONNECT. Every
    // dial counts in the plan, even one a ticked box answers.
    DialDecision dial(std::string_view number);

    // The reply the operator directs for the `index`th block of the call (0 first): NAK, REJ or
    // no response from the first ticked block box, else the plan's reply for the pager
    // `pagerOf()` names (asked only when the plan is not empty). None: the terminal decides.
    template<typename PagerOf>
    std::optional<DirectedReply> blockReply(std::size_t index, PagerOf pagerOf) const
    {
        if (const auto box = boxReply())
            return box;
        if (plan_ == nullptr || plan_->empty())
            return std::nullopt;
        if (const auto planned = plan_->blockReply(pagerOf(), index))
            return DirectedReply { *planned, ReplyReason::Plan };
        return std::nullopt;
    }

    // The terminal is to send its disconnect after the client's EOT (chkDisconnect).
    bool disconnectAfterEot() const { return panel_.ticked(Box::chkDisconnect); }

private:
    std::optional<DirectedReply> boxReply() const;

    const TestPanel& panel_;
    FaultPlan* plan_ = nullptr;
};

} // namespace ostrella
