// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <string_view>

namespace ostrella {

// The engine's line state. Empty only before the first tick; the tick repairs it to IDLE.
enum class LineState { Empty, IDLE, MODEM, WAIT, WAITCONNECT, WAIT_CR, PASSWD, STXNO };

// The exact state names shown on the progress label.
inline constexpr std::array<std::string_view, 8> LineStateNames {
    "", "IDLE", "MODEM", "WAIT", "WAITCONNECT", "WAIT CR", "PASSWD", "STXNO",
};

constexpr std::string_view stateName(LineState s)
{
    return LineStateNames[static_cast<std::size_t>(s)];
}

} // namespace ostrella
