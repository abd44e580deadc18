// SPDX-License-Identifier: MIT
// The engine's state for one line: where the call stands and the modem reply it owes. What the
// line carries (received text, captured packet, seven-bit framing) is the line link's.
#pragma once

#include "engine/LineState.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace ostrella {

// A successful dial of exactly this number switches the line to seven-bit even parity.
inline constexpr std::string_view SevenBitNumber = "125107";

struct Session {
    LineState gLineState = LineState::Empty;
    // Modem reply pending in WAIT / WAITCONNECT, already framed with CR LF (or empty).
    std::string gReplyText;
    // Monotonic ms at which gReplyText falls due; sent once now is strictly later.
    std::int64_t gReplyDue = 0;
    // The last successful dial asked for seven-bit framing.
    bool gSevenBitDialled = false;
};

} // namespace ostrella
