// SPDX-License-Identifier: MIT
// Faults planned ahead, beside the fault boxes (a ticked box still wins): the outcome of the Nth
// dial since start, the reply to the Nth block of each call, and outcomes chosen by the number
// dialled or the pager ID a block is for. An empty plan changes nothing.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrella {

enum class DialOutcome { Connect, Busy, NoAnswer, NoCarrier, NoDialtone };
// A block's reply: ACK, NAK, RS or none. The plan's last three words are no reply the plan gives:
// the terminal answers by its own rules and the line changes the exchange, as noise or a lost
// line would (see LineFault in FaultPolicy.h). Only the first four are ever recorded.
// Its first two share the names of the characters they send (ControlChars.h); being scoped, they
// hide nothing, though GCC warns of them where that header came first.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wshadow"
enum class BlockReply { Ack, Nak, Rej, None, Garble, Corrupt, Drop };
#pragma GCC diagnostic pop

// The plan's words: connect, busy, no-answer, no-carrier, no-dialtone; ack, nak, rej, none,
// garble, corrupt, drop.
std::string_view wordOf(DialOutcome outcome);
std::string_view wordOf(BlockReply reply);
std::optional<DialOutcome> dialOutcomeFromWord(std::string_view word);
std::optional<BlockReply> blockReplyFromWord(std::string_view word);

class FaultPlan {
public:
    // Each sets one part of the plan from its text and returns "" when it is good; otherwise an
    // error naming the bad word, and the plan is left as it was.
    // "busy,connect": the Nth dial gets the Nth outcome, the last repeating; "" clears it.
    std::string setDialPlan(std::string_view list);
    // "nak,ack": the Nth block of each call gets the Nth reply, the last repeating; "" clears it.
    std::string setBlockPlan(std::string_view list);
    // "5550001=busy": a dial of exactly that number gets that outcome, before the dial plan.
    std::string setNumber(std::string_view assignment);
    // "1234=rej": blocks for that pager ID get that reply, before the block plan.
    std::string setPager(std::string_view assignment);
    void clear();

    bool empty() const;
    // The plan as text: "dial busy,connect; block nak,ack; number 5550001=busy; pager 1234=rej",
    // or "none".
    std::string describe() const;

    // The plan's parts as set: the dial and block lists, and the rules by number and by pager ID.
    const std::vector<DialOutcome>& dials() const { return dials_; }
    const std::vector<BlockReply>& blocks() const { return blocks_; }
    const std::map<std::string, DialOutcome, std::less<>>& numbers() const { return numbers_; }
    const std::map<std::string, BlockReply, std::less<>>& pagers() const { return pagers_; }

    // A dial of `number`: counts it and returns the planned outcome, if any.
    std::optional<DialOutcome> nextDial(std::string_view number);
    // The `index`th block (0 first) of a call, for `pager`: the planned reply, if any.
    std::optional<BlockReply> blockReply(std::string_view pager, std::size_t index) const;

private:
    std::vector<DialOutcome> dials_;
    std::vector<BlockReply> blocks_;
    std::map<std::string, DialOutcome, std::less<>> numbers_;
    std::map<std::string, BlockReply, std::less<>> pagers_;
    std::size_t dialsSeen_ = 0;
};

} // namespace ostrella
