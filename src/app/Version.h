// SPDX-License-Identifier: MIT
#pragma once

#include "engine/Simulator.h"

namespace ostrella {

// The program's own version, from the build.
inline Version programVersion()
{
    return Version { OSTRELLA_VERSION_MAJOR, OSTRELLA_VERSION_MINOR, OSTRELLA_VERSION_REVISION };
}

} // namespace ostrella
