// SPDX-License-Identifier: MIT
#include "app/ProgramOptions.h"

#include "app/Faults.h"

#include <optional>

namespace ostrella {

namespace {

// The value of option `name` at args[i], given as "--name VALUE" (i moves on) or "--name=VALUE";
// nothing when args[i] is another option. Sets `error` when the value is missing.
std::optional<std::string> valueOf(const std::vector<std::string>& args, std::size_t& i,
                                   std::string_view name, std::string& error)
{
    const std::string& a = args[i];
    if (a.size() > name.size() && a.compare(0, name.size(), name) == 0 && a[name.size()] == '=')
        return a.substr(name.size() + 1);
    if (a != name)
        return std::nullopt;
    if (i + 1 == args.size()) {
        error = std::string(name) + " needs a value";
        return std::string();
    }
    return args[++i];
}

} // namespace

ProgramOptions parseProgramOptions(const std::vector<std::string>& args)
{
    ProgramOptions o;
    bool positionalOnly = false;
    for (std::size_t i = 0; i < args.size() && o.error.empty(); ++i) {
        const std::string& a = args[i];
        std::string planError;
        if (!positionalOnly) {
            if (const auto v = valueOf(args, i, "--record", o.error)) {
                o.recordFile = *v;
                if (o.error.empty() && v->empty())
                    o.error = "--record needs a file name";
                continue;
            }
            if (const auto m = valueOf(args, i, "--modem", o.error)) {
                if (const auto profile = modemProfileFromName(*m))
                    o.modem = *profile;
                else if (o.error.empty())
                    o.error = "--modem: unknown modem '" + *m + "' (classic or hayes)";
                continue;
            }
            if (const auto v = valueOf(args, i, "--dial-plan", o.error)) {
                planError = o.plan.setDialPlan(*v);
                o.dialPlanText = *v;
            } else if (const auto b = valueOf(args, i, "--block-plan", o.error)) {
                planError = o.plan.setBlockPlan(*b);
                o.blockPlanText = *b;
            } else if (const auto n = valueOf(args, i, "--number", o.error)) {
                planError = o.plan.setNumber(*n);
                o.numbersText += (o.numbersText.empty() ? "" : " ") + *n;
            } else if (const auto p = valueOf(args, i, "--pager", o.error)) {
                planError = o.plan.setPager(*p);
                o.pagersText += (o.pagersText.empty() ? "" : " ") + *p;
            } else {
                planError = "-";
            }
            if (planError != "-") {
                if (o.error.empty() && !planError.empty())
                    o.error = a.substr(0, a.find('=')) + ": " + planError;
                continue;
            }
        }
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
           "  --record FILE      write every page and call record to FILE as JSON Lines\n"
           "  --dial-plan LIST   the Nth dial gets the Nth outcome, the last repeating:\n"
           "                     connect, busy, no-answer, no-carrier, no-dialtone\n"
           "  --block-plan LIST  the Nth block of each call gets the Nth reply, the last\n"
           "                     repeating: ack, nak, rej, none\n"
           "  --number N=OUTCOME a dial of exactly N gets OUTCOME (repeatable)\n"
           "  --pager ID=REPLY   blocks for pager ID get REPLY (repeatable)\n"
           "  --modem PROFILE    the modem the client dials: classic (the default) or hayes\n"
           "                     (echo, verbose and numeric results, S-registers, +++)\n"
           "  -h, --help         show this help and exit\n"
           "  -v, --version      show the version and exit\n"
           "\n"
           "A ticked fault wins over the plan.\n"
           "\n"
           "Console commands: fault NAME on|off, faults, disconnect on|off, plan, plan clear,\n"
           "plan dial LIST, plan block LIST, plan number N OUTCOME, plan pager ID REPLY, help\n";
}

} // namespace ostrella
