// SPDX-License-Identifier: MIT
#include "app/ProgramOptions.h"

#include "app/Faults.h"

#include <QHostAddress>
#include <QString>
#include <charconv>
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

// The whole of `text` as a number from `min` to `max`.
std::optional<int> numberIn(std::string_view text, int min, int max)
{
    if (text.empty() || text.size() > 9)
        return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < min || value > max)
        return std::nullopt;
    return value;
}

// The most lines a bank may have.
constexpr int MaxLines = 10'000;

// The longest a tap18 timer may be set to: one hour.
constexpr int MaxTimerMs = 3'600'000;

struct NumberOption {
    std::string_view name;
    int min;
    int max;
    int Tap18Settings::*field;
};

// The tap18 terminal's numeric options and their ranges.
constexpr NumberOption Tap18Numbers[] = {
    { "--t2", Tap18Terminal::MinTickMs, MaxTimerMs, &Tap18Settings::t2Ms },
    { "--t3", Tap18Terminal::MinTickMs, MaxTimerMs, &Tap18Settings::t3Ms },
    { "--t4", 1, MaxTimerMs, &Tap18Settings::t4Ms },
    { "--t5", 1, MaxTimerMs, &Tap18Settings::t5Ms },
    { "--n3", 0, 100, &Tap18Settings::n3 },
    { "--checksum-limit", 1, 100, &Tap18Settings::checksumLimit },
    { "--max-pages", 1, 1'000'000, &Tap18Settings::maxPages },
    { "--max-message", 1, 1'000'000, &Tap18Settings::maxMessage },
};

// The terminal options at args[i], if it is one: true when taken (`error` set when wrong).
bool terminalOption(const std::vector<std::string>& args, std::size_t& i, ProgramOptions& o)
{
    if (const auto v = valueOf(args, i, "--terminal", o.error)) {
        if (const auto profile = terminalFromName(*v); profile && o.error.empty())
            o.terminal = *profile;
        else if (o.error.empty())
            o.error = "--terminal: '" + *v + "' is not a terminal (classic, tap18)";
        return true;
    }
    if (const auto v = valueOf(args, i, "--password", o.error)) {
        o.tap18.password = *v;
        return true;
    }
    for (const NumberOption& n : Tap18Numbers) {
        const auto v = valueOf(args, i, n.name, o.error);
        if (!v)
            continue;
        if (const auto number = numberIn(*v, n.min, n.max); number && o.error.empty())
            o.tap18.*n.field = *number;
        else if (o.error.empty())
            o.error = std::string(n.name) + ": '" + *v + "' is not a number from "
                + std::to_string(n.min) + " to " + std::to_string(n.max);
        return true;
    }
    return false;
}

// The options of the findings and their report at args[i], if it is one: true when taken
// (`error` set when wrong).
bool findingOption(const std::vector<std::string>& args, std::size_t& i, ProgramOptions& o)
{
    if (const auto v = valueOf(args, i, "--junit", o.error)) {
        o.junitFile = *v;
        if (o.error.empty() && v->empty())
            o.error = "--junit needs a file name";
        return true;
    }
    if (const auto v = valueOf(args, i, "--fail-on", o.error)) {
        if (*v == "never")
            o.failOn.reset();
        else if (const auto level = levelOf(*v); level && *level != FindingLevel::Note)
            o.failOn = *level;
        else if (o.error.empty())
            o.error = "--fail-on: '" + *v + "' is not a level (error, warning, never)";
        return true;
    }
    if (const auto v = valueOf(args, i, "--ignore", o.error)) {
        if (findRule(*v) != nullptr)
            o.ignoredRules.insert(*v);
        else if (o.error.empty())
            o.error
                = "--ignore: '" + *v + "' is not a rule of the judge (ostrella --help lists them)";
        return true;
    }
    return false;
}

// The bounds of --bps and --baud.
constexpr int MinRate = 50;
constexpr int MaxRate = 4'000'000;

// The options of the device lines and the wire at args[i], if it is one: true when taken
// (`error` set when wrong).
bool lineOption(const std::vector<std::string>& args, std::size_t& i, ProgramOptions& o)
{
    const auto rateError = [](std::string_view name, const std::string& v) {
        return std::string(name) + ": '" + v + "' is not a rate from " + std::to_string(MinRate)
            + " to " + std::to_string(MaxRate) + " bit/s";
    };
    if (const auto v = valueOf(args, i, "--pty", o.error)) {
        o.ptys.push_back(*v);
        if (o.error.empty() && v->empty())
            o.error = "--pty needs a path";
        return true;
    }
    if (const auto v = valueOf(args, i, "--serial", o.error)) {
        o.serials.push_back(*v);
        if (o.error.empty() && v->empty())
            o.error = "--serial needs a device";
        return true;
    }
    if (const auto v = valueOf(args, i, "--baud", o.error)) {
        if (const auto n = numberIn(*v, MinRate, MaxRate))
            o.baud = *n;
        else if (o.error.empty())
            o.error = rateError("--baud", *v);
        return true;
    }
    if (const auto v = valueOf(args, i, "--bps", o.error)) {
        o.wire.autoRate = *v == "auto";
        o.wire.bps = 0;
        if (const auto n = numberIn(*v, MinRate, MaxRate))
            o.wire.bps = static_cast<unsigned>(*n);
        else if (!o.wire.autoRate && o.error.empty())
            o.error = rateError("--bps", *v) + " (or auto)";
        return true;
    }
    if (const auto v = valueOf(args, i, "--framing", o.error)) {
        if (const auto framing = framingFromText(*v))
            o.framing = *framing;
        else if (o.error.empty())
            o.error = "--framing: '" + *v + "' is not 7E1, 7O1 or 8N1";
        return true;
    }
    if (const auto v = valueOf(args, i, "--flow", o.error)) {
        if (*v == "none")
            o.flow = SerialFlow::None;
        else if (*v == "rtscts")
            o.flow = SerialFlow::RtsCts;
        else if (*v == "xonxoff")
            o.flow = SerialFlow::XonXoff;
        else if (o.error.empty())
            o.error = "--flow: '" + *v + "' is not none, rtscts or xonxoff";
        return true;
    }
    if (const auto v = valueOf(args, i, "--noise", o.error)) {
        double rate = -1;
        const auto [end, ec] = std::from_chars(v->data(), v->data() + v->size(), rate);
        if (ec == std::errc() && end == v->data() + v->size() && rate >= 0.0 && rate <= 1.0)
            o.wire.noiseRate = rate;
        else if (o.error.empty())
            o.error
                = "--noise: '" + *v + "' is not a rate from 0 to 1 (0.01: one character in 100)";
        return true;
    }
    if (const auto v = valueOf(args, i, "--seed", o.error)) {
        std::uint64_t seed = 0;
        const auto [end, ec] = std::from_chars(v->data(), v->data() + v->size(), seed);
        if (ec == std::errc() && end == v->data() + v->size() && !v->empty())
            o.wire.seed = seed;
        else if (o.error.empty())
            o.error = "--seed: '" + *v + "' is not a whole number";
        return true;
    }
    return false;
}

// The test suite's options at args[i], if it is one: true when taken (`error` set when wrong).
bool suiteOption(const std::vector<std::string>& args, std::size_t& i, ProgramOptions& o)
{
    const std::string& a = args[i];
    for (const auto& [name, flag] :
         { std::pair { "--suite", &o.suite }, std::pair { "--exit-after-suite", &o.exitAfterSuite },
           std::pair { "--strict", &o.suiteOptions.strict },
           std::pair { "--allow-no-show", &o.suiteOptions.allowNoShow } }) {
        if (a == name) {
            *flag = true;
            return true;
        }
    }
    if (const auto v = valueOf(args, i, "--cases", o.error)) {
        o.suiteOptions.cases = *v;
        return true;
    }
    if (const auto v = valueOf(args, i, "--exclude-cases", o.error)) {
        o.suiteOptions.excluded = *v;
        return true;
    }
    if (const auto v = valueOf(args, i, "--case-wait", o.error)) {
        int seconds = 0;
        const auto [end, ec] = std::from_chars(v->data(), v->data() + v->size(), seconds);
        if (ec == std::errc() && end == v->data() + v->size() && seconds >= 1 && seconds <= 86400)
            o.suiteOptions.caseWaitMs = std::int64_t { seconds } * 1000;
        else if (o.error.empty())
            o.error = "--case-wait: '" + *v + "' is not a number of seconds from 1 to 86400";
        return true;
    }
    if (const auto v = valueOf(args, i, "--report", o.error)) {
        o.reportFile = *v;
        if (o.error.empty() && v->empty())
            o.error = "--report needs a file name";
        return true;
    }
    return false;
}

// What the suite's options ask of the rest of the command line; "" when they fit.
std::string suiteError(const ProgramOptions& o)
{
    const SuiteOptions& s = o.suiteOptions;
    const bool suiteOnly = !s.cases.empty() || !s.excluded.empty() || s.caseWaitMs != 120'000
        || s.strict || s.allowNoShow || o.exitAfterSuite;
    if (!o.suite)
        return suiteOnly ? "--cases, --exclude-cases, --case-wait, --strict, --allow-no-show and "
                           "--exit-after-suite need --suite"
                         : "";
    if (o.lines > 1)
        return "--suite plays one case at a time: it takes no --lines";
    return Suite::checkOptions(s);
}

// The judge's rule ids, wrapped to the usage's width.
std::string ruleList()
{
    std::string out;
    std::size_t column = 0;
    for (const JudgeRule& rule : judgeRules()) {
        if (column > 2 && column + 1 + rule.id.size() > 78) {
            out += "\n";
            column = 0;
        }
        out += column == 0 ? "  " : " ";
        out += rule.id;
        column += (column == 0 ? 2 : 1) + rule.id.size();
    }
    return out + "\n";
}

} // namespace

bool failOnReached(std::optional<FindingLevel> failOn, const FindingCounts& totals)
{
    if (!failOn)
        return false;
    switch (*failOn) {
    case FindingLevel::Note:
        if (totals.note > 0)
            return true;
        [[fallthrough]];
    case FindingLevel::Warning:
        if (totals.warning > 0)
            return true;
        [[fallthrough]];
    case FindingLevel::Error:
        return totals.error > 0;
    }
    return false;
}

ProgramOptions parseProgramOptions(const std::vector<std::string>& args)
{
    ProgramOptions o;
    bool positionalOnly = false;
    for (std::size_t i = 0; i < args.size() && o.error.empty(); ++i) {
        const std::string& a = args[i];
        std::string planError;
        if (!positionalOnly) {
            if (terminalOption(args, i, o) || findingOption(args, i, o) || lineOption(args, i, o)
                || suiteOption(args, i, o))
                continue;
            if (const auto v = valueOf(args, i, "--record", o.error)) {
                o.recordFile = *v;
                if (o.error.empty() && v->empty())
                    o.error = "--record needs a file name";
                continue;
            }
            if (const auto v = valueOf(args, i, "--lines", o.error)) {
                if (const auto n = numberIn(*v, 1, MaxLines); n && o.error.empty())
                    o.lines = *n;
                else if (o.error.empty())
                    o.error = "--lines: '" + *v + "' is not a number from 1 to "
                        + std::to_string(MaxLines);
                continue;
            }
            if (const auto v = valueOf(args, i, "--api", o.error)) {
                if (const auto port = numberIn(*v, 0, 65535); port && o.error.empty())
                    o.apiPort = *port;
                else if (o.error.empty())
                    o.error = "--api: '" + *v + "' is not a port number from 0 to 65535";
                continue;
            }
            if (const auto v = valueOf(args, i, "--api-bind", o.error)) {
                o.apiBind = *v;
                if (o.error.empty() && *v != "localhost"
                    && QHostAddress(QString::fromStdString(*v)).isNull())
                    o.error = "--api-bind: '" + *v + "' is not an IP address";
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
    if (o.error.empty() && o.apiPort < 0 && o.apiBind != "127.0.0.1")
        o.error = "--api-bind needs --api PORT";
    if (o.error.empty())
        o.error = suiteError(o);
    return o;
}

namespace {

// The usage up to the judge's rules.
const char* usageHead()
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
           "                     repeating: ack, nak, rej, none; or the terminal's own reply\n"
           "                     with the line changed: garble (its control), corrupt (the\n"
           "                     block as read), drop (carrier lost after it)\n"
           "  --number N=OUTCOME a dial of exactly N gets OUTCOME (repeatable)\n"
           "  --pager ID=REPLY   blocks for pager ID get REPLY (repeatable)\n"
           "  --modem PROFILE    the modem the client dials: classic (the default) or hayes\n"
           "                     (echo, verbose and numeric results, S-registers, +++)\n"
           "  --terminal NAME    the terminal after CONNECT: classic (default) or tap18\n"
           "                     (TAP 1.8: code lines, ETB/US blocks, time-outs)\n"
           "  --lines N          a bank of N lines on the port: each caller gets the lowest\n"
           "                     free line, and is refused when all are busy (default 1: one\n"
           "                     line, a new caller takes it over)\n"
           "  --api PORT         serve the HTTP control API on PORT (0: the system chooses)\n"
           "  --api-bind ADDRESS the address the API listens on (default 127.0.0.1)\n"
           "  --junit FILE       write a JUnit XML report to FILE, one test case per call,\n"
           "                     a failure for each call with an error finding; rewritten\n"
           "                     after each call\n"
           "  --fail-on LEVEL    console mode: exit status 3 when the judge made a finding of\n"
           "                     LEVEL or above: error, warning or never (the default)\n"
           "  --ignore RULE      leave out the findings of RULE (repeatable; rules below)\n"
           "  --pty PATH         serve a line on a pseudo-terminal linked at PATH, which a\n"
           "                     program opens as its modem (repeatable)\n"
           "  --serial DEVICE    serve a line on serial port DEVICE, to a device cabled to\n"
           "                     it with a null-modem cable (repeatable)\n"
           "  --baud N           the serial ports' rate (default 2400)\n"
           "  --framing F        the device lines' framing: 7E1 (default), 7O1 or 8N1\n"
           "  --flow F           the serial ports' flow control: none (default), rtscts or\n"
           "                     xonxoff\n"
           "  --bps N|auto       every line carries N bit/s each way, ten bits a character\n"
           "                     (auto: a device line's own rate); default: no pacing\n"
           "  --noise RATE       each character either way has a bit changed with chance\n"
           "                     RATE (0 to 1); --seed N repeats a run's changes exactly\n"
           "  --suite            play the test suite's cases to the client, one after the\n"
           "                     other, each with its verdict (README: the catalogue)\n"
           "  --cases LIST       play only these cases or groups: 4,5.1 (whole id segments)\n"
           "  --exclude-cases L  leave these cases or groups out\n"
           "  --case-wait S      a case waits S seconds for a call it needs (default 120);\n"
           "                     none at all: no-show\n"
           "  --exit-after-suite console mode: end once every case is decided; exit status 3\n"
           "                     when one failed\n"
           "  --strict           non-strict and info verdicts fail the run too\n"
           "  --allow-no-show    a no-show does not fail the run\n"
           "  --report FILE.html write an HTML report with each call's timeline (and the\n"
           "                     cases' verdicts), rewritten after each call\n"
           "  -h, --help         show this help and exit\n"
           "  -v, --version      show the version and exit\n"
           "\n"
           "The tap18 terminal's timers and limits (the classic terminal ignores them):\n"
           "  --t2 MS            answer a CR with ID= within MS (default 1000)\n"
           "  --t3 MS            answer the logon and each block within MS (default 10000)\n"
           "  --t4 MS            wait at most MS for the next block or EOT (default 4000)\n"
           "  --t5 MS            wait at most MS for the logon after ID= (default 8000)\n"
           "  --n3 N             repeat ID= (or 509) at most N times (default 3)\n"
           "  --checksum-limit N end the call with 503 after N checksum errors in a row\n"
           "                     (default 3)\n"
           "  --max-pages N      after N pages, answer 112 and disconnect (default: no limit)\n"
           "  --max-message N    refuse messages over N characters with 517 (default: none)\n"
           "  --password TEXT    the logon must carry TEXT, else 509 (default: any)\n"
           "\n"
           "A ticked fault wins over the plan.\n"
           "\n"
           "Console commands: fault NAME on|off, faults, disconnect on|off, plan, plan clear,\n"
           "plan dial LIST, plan block LIST, plan number N OUTCOME, plan pager ID REPLY,\n"
           "terminal, terminal classic|tap18, modem, modem classic|hayes, quit, help\n"
           "\n"
           "The judge's rules (for --ignore):\n";
}

} // namespace

std::string usageText()
{
    return usageHead() + ruleList();
}

} // namespace ostrella
