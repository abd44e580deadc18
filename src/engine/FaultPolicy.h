// SPDX-License-Identifier: MIT
// The one place where the faults are decided, for every modem and terminal profile: the fault
// boxes first (the first ticked one in the panel's order wins), then the fault plan. A dial gets
// its outcome and the classic modem's delay for it; a block gets the reply the operator directs,
// if any, and otherwise the terminal answers it by its own rules, while the plan may have the line
// change the exchange (garble, corrupt, drop).
#pragma once

#include "engine/CallReport.h"
#include "engine/FaultPlan.h"
#include "ports/Ports.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

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

// What the plan has the line do to a block's exchange while the terminal answers the block by its
// own rules: garble, the reply's control goes out with bit 0 flipped; corrupt, the block reads
// with bit 0 of its first character after STX flipped; drop, the carrier is lost right after the
// reply.
enum class LineFault { None, Garble, Corrupt, Drop };

constexpr LineFault lineFaultOf(BlockReply word)
{
    switch (word) {
    case BlockReply::Garble:
        return LineFault::Garble;
    case BlockReply::Corrupt:
        return LineFault::Corrupt;
    case BlockReply::Drop:
        return LineFault::Drop;
    case BlockReply::Ack:
    case BlockReply::Nak:
    case BlockReply::Rej:
    case BlockReply::None:
        break;
    }
    return LineFault::None;
}

// What is decided for a block before the terminal reads it: a reply the operator directs (ACK,
// NAK, RS or none, never one of the plan's line faults), or else a fault of the line, or neither.
struct BlockDecision {
    std::optional<DirectedReply> directed;
    LineFault fault = LineFault::None;
};

class FaultPolicy {
public:
    explicit FaultPolicy(const TestPanel& panel)
        : panel_(panel)
    {
    }

    // The fault plan consulted after the boxes; nullptr: none.
    void setPlan(FaultPlan* plan) { plan_ = plan; }

    // Called with the number first thing in every dial, before its outcome is decided, so that
    // whoever set it can change the plan, the call script and the call's terminal for that very
    // dial; nullptr or empty: nothing is called.
    void setDialHook(std::function<void(std::string_view number)> hook)
    {
        dialHook_ = std::move(hook);
    }

    // A dial of `number`: the dial hook is called, then the first ticked dial box decides, else
    // the plan's outcome, else CONNECT. Every dial counts in the plan, even one a ticked box
    // answers.
    DialDecision dial(std::string_view number);

    // The decision for the `index`th block of the call (0 first): NAK, REJ or no response from
    // the first ticked block box, else the plan's word for the pager `pagerOf()` names (asked
    // only when the plan is not empty): a reply it directs, or a fault of the line while the
    // terminal decides. Neither: the terminal decides and the line is left alone.
    template<typename PagerOf> BlockDecision block(std::size_t index, PagerOf pagerOf) const
    {
        if (const auto box = boxReply())
            return { box, LineFault::None };
        if (plan_ == nullptr || plan_->empty())
            return {};
        const auto planned = plan_->blockReply(pagerOf(), index);
        if (!planned)
            return {};
        if (const LineFault fault = lineFaultOf(*planned); fault != LineFault::None)
            return { std::nullopt, fault };
        return { DirectedReply { *planned, ReplyReason::Plan }, LineFault::None };
    }

    // The reply the operator directs for the `index`th block, as block() decides it; none: the
    // terminal decides.
    template<typename PagerOf>
    std::optional<DirectedReply> blockReply(std::size_t index, PagerOf pagerOf) const
    {
        return block(index, pagerOf).directed;
    }

    // The terminal is to send its disconnect after the client's EOT (chkDisconnect).
    bool disconnectAfterEot() const { return panel_.ticked(Box::chkDisconnect); }

private:
    std::optional<DirectedReply> boxReply() const;

    const TestPanel& panel_;
    FaultPlan* plan_ = nullptr;
    std::function<void(std::string_view)> dialHook_;
};

} // namespace ostrella
