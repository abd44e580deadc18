// SPDX-License-Identifier: MIT
// Which modem the client dials: the classic modem (the default) or a Hayes-compatible one.
#pragma once

#include <optional>
#include <string_view>

namespace ostrella {

enum class ModemProfile { Classic, Hayes };

// "classic" or "hayes": the option's words, and the call record's.
constexpr std::string_view modemProfileName(ModemProfile profile)
{
    return profile == ModemProfile::Hayes ? "hayes" : "classic";
}

constexpr std::optional<ModemProfile> modemProfileFromName(std::string_view name)
{
    if (name == "classic")
        return ModemProfile::Classic;
    if (name == "hayes")
        return ModemProfile::Hayes;
    return std::nullopt;
}

} // namespace ostrella
