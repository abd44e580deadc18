// SPDX-License-Identifier: MIT
// What the engine tells of a call as it goes: each dial and its outcome, the logon, each packet
// taken as a block and the reply it got, and EOT. The simulator turns these into records.
#pragma once

#include "engine/FaultPlan.h"

#include <string_view>

namespace ostrella {

// Why a block got its reply.
enum class ReplyReason { Good, BadChecksum, NotABlock, Box, Plan };

class CallReport {
public:
    virtual ~CallReport() = default;
    // A dial of `number` answered (or left unanswered) with `outcome`; `sevenBit` when it
    // connects and asks for seven-bit framing.
    virtual void dialled(std::string_view number, DialOutcome outcome, bool sevenBit) = 0;
    virtual void loggedOn() = 0;
    // A packet received where a block was expected, and the terminal's reply to it.
    virtual void blockAnswered(std::string_view packet, BlockReply reply, ReplyReason reason) = 0;
    virtual void eotReceived() = 0;
};

} // namespace ostrella
