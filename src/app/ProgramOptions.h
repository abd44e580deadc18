// SPDX-License-Identifier: MIT
// The program's command line: ostrella [--console] [--fault NAME]... [--send-disconnect]
// [--record FILE] [--dial-plan LIST] [--block-plan LIST] [--number N=OUTCOME]...
// [--pager ID=REPLY]... [--modem classic|hayes] [--terminal classic|tap18] [--t2 MS] [--t3 MS]
// [--t4 MS] [--t5 MS] [--n3 N] [--checksum-limit N] [--max-pages N] [--max-message N]
// [--password TEXT] [--lines N] [--api PORT [--api-bind ADDRESS]] [PORT]
#pragma once

#include "engine/FaultPlan.h"
#include "engine/ModemProfile.h"
#include "engine/Tap18Terminal.h"
#include "engine/TerminalProfile.h"
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
    // --terminal: the terminal profile; and the tap18 terminal's timers and limits (--t2 .. --t5,
    // --n3, --checksum-limit, --max-pages, --max-message, --password).
    TerminalProfile terminal = TerminalProfile::Classic;
    Tap18Settings tap18;
    // --record FILE: the JSON Lines file of page and call records; empty for none.
    std::string recordFile;
    // --lines N: a bank of N lines on the one port (1: one line, a new caller taking it over).
    int lines = 1;
    // --api PORT: the control API's port (0: the system chooses); -1 for no API.
    int apiPort = -1;
    // --api-bind ADDRESS: where the API listens.
    std::string apiBind = "127.0.0.1";
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
