// SPDX-License-Identifier: MIT
// The program's command line: for now one optional argument, the TCP port to listen on.
#pragma once

#include <QStringList>
#include <string>

namespace ostrella {

struct CommandLine {
    // The first argument after the program's name, unchanged; empty when there is none. Whether it
    // is a usable port is decided at start-up ("9001" when it is not a number).
    std::string portArgument;
};

// `arguments` as QCoreApplication::arguments() gives them, the program's name first.
CommandLine parseCommandLine(const QStringList& arguments);

} // namespace ostrella
