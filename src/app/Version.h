// SPDX-License-Identifier: MIT
// The program's version and the texts that carry it: the main window's caption and the system
// log's start-up line; and the listening port taken from the command line.
#pragma once

#include <string>
#include <string_view>

namespace ostrella {

struct Version {
    int major = 0;
    int minor = 0;
    int revision = 0;
};

// The program's own version, from the build.
inline Version programVersion()
{
    return Version { OSTRELLA_VERSION_MAJOR, OSTRELLA_VERSION_MINOR, OSTRELLA_VERSION_REVISION };
}

// "V" major "." minor "(" revision ")".
std::string versionText(const Version& v);

// The main window's caption.
std::string MainCaption(const std::string& port, const Version& v);

// The system log's start-up line.
std::string StartupLine(const std::string& port, const Version& v);

// The listening port from the command-line argument: "9001" when it is empty or not a whole
// number, else the text unchanged.
std::string ListenPortFromArgument(std::string_view argument);

} // namespace ostrella
