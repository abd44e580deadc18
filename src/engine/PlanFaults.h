// SPDX-License-Identifier: MIT
// The plan's faults of the line, as both terminal profiles play them on a block: the reply's
// control sent with bit 0 flipped (garble), the block read with bit 0 of its first character
// after STX flipped (corrupt), the carrier lost right after the reply (drop). Each is logged in
// the system log as "Event: <ip> Plan ..." and told to the call report; the terminal answers and
// goes on as if the line had carried everything true.
#pragma once

#include "engine/LineContext.h"

#include <string>

namespace ostrella {

// The character with bit 0 flipped: ACK 0x06 becomes 0x07, NAK 0x15 0x14, RS 0x1E 0x1F.
constexpr char flippedBit0(char c)
{
    return static_cast<char>(c ^ 0x01);
}

// Garble: `reply` (a reply that ends in its control and CR) with the control flipped, after
// "Plan garble Txd <x> -> <y>" is logged and the change told. A reply of fewer than two
// characters is left as it is.
std::string garbledReply(LineContext& line, std::string reply);

// Corrupt: `block` (a block starting with STX) with its first character after STX flipped, after
// "Plan corrupt Rxd <x> -> <y>" is logged and the change told. False, nothing changed, when the
// block has nothing after STX.
bool corruptBlock(LineContext& line, std::string& block);

// Drop: "Plan drop, carrier lost" logged and told. The terminal then hangs up as it always does
// (the modem reports NO CARRIER in its profile's words and framing).
void dropCarrier(LineContext& line);

} // namespace ostrella
