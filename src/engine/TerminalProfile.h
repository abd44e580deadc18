// SPDX-License-Identifier: MIT
// The terminal profiles the line can play after CONNECT: the classic terminal (the default, an
// old subset of the paging protocol) and the tap18 terminal (TAP 1.8 as most clients expect it).
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace ostrella {

enum class TerminalProfile { Classic, Tap18 };

// The profiles' names on the command line, the console and in the records.
inline constexpr std::array<std::string_view, 2> TerminalProfileNames { "classic", "tap18" };

constexpr std::string_view terminalName(TerminalProfile profile)
{
    return TerminalProfileNames[static_cast<std::size_t>(profile)];
}

constexpr std::optional<TerminalProfile> terminalFromName(std::string_view name)
{
    for (std::size_t i = 0; i < TerminalProfileNames.size(); ++i) {
        if (TerminalProfileNames[i] == name)
            return static_cast<TerminalProfile>(i);
    }
    return std::nullopt;
}

} // namespace ostrella
