// SPDX-License-Identifier: MIT
// What the engine tells of a call as it goes: each dial and its outcome, the logon, each packet
// taken as a block and the reply it got, and EOT. The simulator turns these into records.
#pragma once

#include "engine/FaultPlan.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrella {

// Why a block got its reply. The last five come from the tap18 terminal only: a block without
// its terminator, too long or badly escaped; a pager ID it refuses; a message over its limit; a
// page past the call's page limit; a transaction the call ended before its last block.
enum class ReplyReason {
    Good,
    BadChecksum,
    NotABlock,
    Box,
    Plan,
    FormatError,
    PagerRule,
    TooLong,
    PageLimit,
    Incomplete
};

// A page as the tap18 terminal took it apart: the fields of the whole transaction (or of the
// one block that was refused or left unanswered), the last block's checksum as sent and as
// computed, and the code of the message-sequence line that went with the reply (0: none).
struct TakenPage {
    std::vector<std::string> fields;
    // The pager of a transaction begun in earlier blocks (its first field); without it, the first
    // of `fields`.
    std::optional<std::string> pager;
    std::string checksumSent;
    std::string checksumComputed;
    int code = 0;
};

class CallReport {
public:
    virtual ~CallReport() = default;
    // A dial of `number` answered (or left unanswered) with `outcome`; `sevenBit` when it
    // connects and asks for seven-bit framing.
    virtual void dialled(std::string_view number, DialOutcome outcome, bool sevenBit) = 0;
    virtual void loggedOn() = 0;
    // A packet received where a block was expected, and the terminal's reply to it.
    virtual void blockAnswered(std::string_view packet, BlockReply reply, ReplyReason reason) = 0;
    // A page the tap18 terminal answered: a finished transaction, or a block it refused, left
    // unanswered or could not read.
    virtual void pageAnswered(const TakenPage& page, BlockReply reply, ReplyReason reason) = 0;
    virtual void eotReceived() = 0;
    // The dial's result has gone out (or the dial was aborted); `carrier` when it connected.
    virtual void dialEnded(bool /*carrier*/) { }
    // The terminal has hung up on the call.
    virtual void terminalHungUp() { }
    // The plan changed a character on the line: one the terminal sent (`inbound` false: the
    // reply's control, garble) or one of the client's block as the terminal read it (`inbound`
    // true: corrupt), from `before` to `after`.
    virtual void lineChanged(bool /*inbound*/, char /*before*/, char /*after*/) { }
    // The plan dropped the carrier right after a block's reply (drop); the terminal's hang-up
    // follows.
    virtual void carrierDropped() { }
};

} // namespace ostrella
