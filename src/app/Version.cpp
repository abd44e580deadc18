// SPDX-License-Identifier: MIT
#include "app/Version.h"

#include <algorithm>

namespace ostrella {

std::string ListenPortFromArgument(std::string_view argument)
{
    const bool number = !argument.empty()
        && std::all_of(argument.begin(), argument.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
    return number ? std::string(argument) : std::string("9001");
}

std::string versionText(const Version& v)
{
    return "V" + std::to_string(v.major) + "." + std::to_string(v.minor) + "("
        + std::to_string(v.revision) + ")";
}

std::string MainCaption(const std::string& port, const Version& v)
{
    return "Ostrella on Port " + port + "  Brelk     Version  " + versionText(v) + " 2014";
}

std::string StartupLine(const std::string& port, const Version& v)
{
    return "Main: Ostrella on " + port + " now operational using version  " + versionText(v)
        + " 2014";
}

} // namespace ostrella
