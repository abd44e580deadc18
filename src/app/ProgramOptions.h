// SPDX-License-Identifier: MIT
// The program's command line: ostrella [--console] [--fault NAME]... [--send-disconnect]
// [--record FILE] [--dial-plan LIST] [--block-plan LIST] [--number N=OUTCOME]...
// [--pager ID=REPLY]... [--modem classic|hayes] [PORT]
#pragma once

#include "engine/FaultPlan.h"
#include "engine/ModemProfile.h"
#include "ports/Ports.h"

#include <string>
#include <vector>

namespace ostrella {

struct ProgramOptions {
    // The positional port argument, unchanged; empty when there is none.
    std::string portArgument;
    bool console = false;
    bool sendDisconnect = false;
    std::vector<Box> faults;
    // --dial-plan, --block-plan, --number and --pager, checked; and as they were written, for the
    // window's Plan box.
    FaultPlan plan;
    std::string dialPlanText;
    std::string blockPlanText;
    std::string numbersText;
    std::string pagersText;
    // --record FILE: the JSON Lines file of page and call records; empty for none.
    std::string recordFile;
    // --modem classic|hayes: the modem the client dials.
    ModemProfile modem = ModemProfile::Classic;
    bool help = false;
    bool version = false;
    // Set when the command line is wrong: what to say before the usage.
    std::string error;
};

// `args` without the program's name.
ProgramOptions parseProgramOptions(const std::vector<std::string>& args);

// The --help text.
std::string usageText();

} // namespace ostrella
