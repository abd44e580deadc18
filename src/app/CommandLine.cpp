// SPDX-License-Identifier: MIT
#include "app/CommandLine.h"

namespace ostrella {

CommandLine parseCommandLine(const QStringList& arguments)
{
    CommandLine line;
    if (arguments.size() > 1)
        line.portArgument = arguments.at(1).toStdString();
    return line;
}

} // namespace ostrella
