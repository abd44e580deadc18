// SPDX-License-Identifier: MIT
// Whether the program can open its window here, asked before the window is built.
#pragma once

#include <string>

namespace ostrella {

// True when a window may be shown: a display, or a Qt platform chosen explicitly.
bool displayAvailable();

// Whether a window can be opened, tried in a child process (Qt ends a process whose platform
// cannot start) within `probeMs`. Empty when it can; else why not, in Qt's own words where it
// said any, or "the display did not answer within N s" when the child neither finished nor failed
// in time.
std::string windowUnavailableReason(int argc, char* argv[], int probeMs = 10'000);

} // namespace ostrella
