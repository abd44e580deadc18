// SPDX-License-Identifier: MIT
#include "app/ProgramOptions.h"

#include "app/Faults.h"

namespace ostrella {

ProgramOptions parseProgramOptions(const std::vector<std::string>& args)
{
    ProgramOptions o;
    bool positionalOnly = false;
    for (std::size_t i = 0; i < args.size() && o.error.empty(); ++i) {
        const std::string& a = args[i];
        if (positionalOnly || a.empty() || a[0] != '-' || a == "-") {
            if (!o.portArgument.empty())
                o.error = "more than one port given: '" + a + "'";
            else
                o.portArgument = a;
        } else if (a == "--") {
            positionalOnly = true;
        } else if (a == "--console") {
            o.console = true;
        } else if (a == "--send-disconnect") {
            o.sendDisconnect = true;
        } else if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--version" || a == "-v") {
            o.version = true;
        } else if (a == "--fault" || a.rfind("--fault=", 0) == 0) {
            std::string name;
            if (a == "--fault") {
                if (i + 1 == args.size()) {
                    o.error = "--fault needs a fault name";
                    break;
                }
                name = args[++i];
            } else {
                name = a.substr(8);
            }
            if (const auto box = faultFromName(name))
                o.faults.push_back(*box);
            else
                o.error = "unknown fault '" + name + "'";
        } else {
            o.error = "unknown option '" + a + "'";
        }
    }
    return o;
}

std::string usageText()
{
    return "Usage: ostrella [options] [PORT]\n"
           "Simulates a Hayes modem and a PET paging terminal on a TCP port (default 9001).\n"
           "\n"
           "Options:\n"
           "  --console          run without a window; both logs go to standard output and\n"
           "                     commands are read from standard input\n"
           "  --fault NAME       start with a fault ticked (repeatable): busy, no-answer,\n"
           "                     no-carrier, no-dialtone, nak, rej, no-response\n"
           "  --send-disconnect  answer EOT with the terminal's disconnect message ESC EOT CR\n"
           "  -h, --help         show this help and exit\n"
           "  -v, --version      show the version and exit\n"
           "\n"
           "Console commands: fault NAME on|off, faults, disconnect on|off, help\n";
}

} // namespace ostrella
