// SPDX-License-Identifier: MIT
// The program's command line: ostrella [--console] [--fault NAME]... [--send-disconnect]
// [--record FILE] [--dial-plan LIST] [--block-plan LIST] [--number N=OUTCOME]...
// [--pager ID=REPLY]... [--modem classic|hayes] [--terminal classic|tap18] [--t2 MS] [--t3 MS]
// [--t4 MS] [--t5 MS] [--n3 N] [--checksum-limit N] [--max-pages N] [--max-message N]
// [--password TEXT] [--lines N] [--api PORT [--api-bind ADDRESS]] [--junit FILE]
// [--fail-on error|warning|never] [--ignore RULE]... [--pty PATH]... [--serial DEVICE]...
// [--baud N] [--framing 7E1|7O1|8N1] [--flow none|rtscts|xonxoff] [--bps N|auto]
// [--noise RATE] [--seed N] [--suite [--cases LIST] [--exclude-cases LIST] [--case-wait S]
// [--exit-after-suite] [--strict] [--allow-no-show]] [--report FILE.html] [PORT]
#pragma once

#include "engine/FaultPlan.h"
#include "engine/ModemProfile.h"
#include "engine/Tap18Terminal.h"
#include "engine/TerminalProfile.h"
#include "judge/Finding.h"
#include "link/LineWire.h"
#include "ports/Ports.h"
#include "ports/Records.h"
#include "suite/Suite.h"

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace ostrella {

// A serial port's flow control (--flow).
enum class SerialFlow { None, RtsCts, XonXoff };

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
    // --junit FILE: the JUnit XML report, rewritten after each call; empty for none.
    std::string junitFile;
    // --fail-on error|warning|never: console mode ends with FindingsExitStatus when a finding of
    // this level or above was recorded; nothing (never, the default): the findings leave the
    // exit status alone.
    std::optional<FindingLevel> failOn;
    // --ignore RULE (repeatable): the rules whose findings are left out, each one of judgeRules().
    std::set<std::string, std::less<>> ignoredRules;
    // --pty PATH (repeatable): a pseudo-terminal line, its link at PATH; --serial DEVICE
    // (repeatable): a serial port line.
    std::vector<std::string> ptys;
    std::vector<std::string> serials;
    // --baud N, --framing and --flow: how the serial ports are set; the framing is also that of
    // the pseudo-terminals, whose driver keeps no character size or parity of its own.
    int baud = 2400;
    Framing framing { 7, Parity::Even };
    SerialFlow flow = SerialFlow::None;
    // --bps N|auto, --noise RATE, --seed N: how every line's wire paces and changes characters
    // (the device lines add their framing).
    WireSettings wire;
    // --suite: play the test suite's cases (--cases, --exclude-cases, --case-wait, --strict,
    // --allow-no-show); --exit-after-suite: console mode ends once every case is decided.
    bool suite = false;
    SuiteOptions suiteOptions;
    bool exitAfterSuite = false;
    // --report FILE.html: the HTML report with each call's timeline; empty for none.
    std::string reportFile;
    bool help = false;
    bool version = false;
    // Set when the command line is wrong: what to say before the usage.
    std::string error;
};

// The exit status of a console run that ended well but met --fail-on, or whose suite had a case
// that failed.
inline constexpr int FindingsExitStatus = 3;

// True when `totals` hold a finding of level `failOn` or above (never without a level).
bool failOnReached(std::optional<FindingLevel> failOn, const FindingCounts& totals);

// `args` without the program's name.
ProgramOptions parseProgramOptions(const std::vector<std::string>& args);

// The --help text.
std::string usageText();

} // namespace ostrella
