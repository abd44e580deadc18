// SPDX-License-Identifier: MIT
// The real program over real TCP on the loopback interface: idle CPU and memory (console mode and
// the offscreen window), how late CONNECT and a block's ACK come, floods of 100 MiB, how long AT
// waits for OK on each modem profile, and how late the engine tick runs while a flood goes on, on
// the line and on the control API. Prints one "name value" line per figure; lines starting with
// '#' say how each was measured.
//
// Usage: ostrella_tcp_bench [--idle-seconds N] [--dials N] [--blocks N] [--flood-mib N]
//                           [--tick-seconds N] [--at-rounds N] [--api-only] [--at-only]
#include "BenchFigures.h"
#include "support/ProcessHarness.h"

#include <QCoreApplication>
#include <QProcessEnvironment>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <poll.h>
#include <string>
#include <thread>
#include <vector>

using namespace ostrella::harness;
using namespace ostrella::bench;

namespace {

struct Settings {
    int idleSeconds = 30;
    int dials = 6;
    int blocks = 5;
    int floodMib = 100;
    int tickSeconds = 10;
    // AT commands per line and modem profile in the AT to OK measurement.
    int atRounds = 8;
    // Only the control API's measurement; only the AT to OK one.
    bool apiOnly = false;
    bool atOnly = false;
};

// --- printing ------------------------------------------------------------------------------------

// name_min, name_median, name_max (and name_p95 with `p95`) over `values`.
void spread(const std::string& name, const std::vector<double>& values, bool p95 = false)
{
    figure(name + "_min", quantile(values, 0));
    figure(name + "_median", quantile(values, 0.5));
    if (p95)
        figure(name + "_p95", quantile(values, 0.95));
    figure(name + "_max", quantile(values, 1));
}

void samples(const std::string& name, const std::vector<double>& values)
{
    std::string text = name + " samples (ms):";
    for (double v : values)
        text += " " + std::to_string(static_cast<int>(std::lround(v)));
    comment(text.c_str());
}

// --- the program ---------------------------------------------------------------------------------

// Waits on the program for `ms` (it may end meanwhile); the bench's measuring intervals.
void idleFor(Program& program, int ms)
{
    program.process_.waitForFinished(ms);
}

// Starts the program in console mode on a port the system chooses and waits for its listening
// line, which names that port (program->port()); nullptr when it fails.
std::unique_ptr<Program> startConsole(const QStringList& more = {})
{
    auto program = std::make_unique<Program>(
        console(more), QProcessEnvironment::systemEnvironment(), Program::Output::File);
    if (program->waitForPort(10'000) == 0) {
        std::fprintf(stderr, "the program named no port it listens on:\n%s\n",
                     program->report().c_str());
        return nullptr;
    }
    return program;
}

// Starts the program with its window on Qt's offscreen platform, on a port the system chooses.
// The window logs to itself, so the port is that of the listening socket the program holds
// (program->port()); it is listening once a client gets through (the client leaves again at
// once).
std::unique_ptr<Program> startWindow()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    auto program = std::make_unique<Program>(QStringList { QStringLiteral("0") }, env,
                                             Program::Output::File);
    const quint16 port = program->waitForListeningSocket(10'000);
    for (int attempt = 0; port != 0 && attempt < 500 && program->running(); ++attempt) {
        LineClient probe(port, 1000);
        if (probe.connected())
            return program;
        idleFor(*program, 20);
    }
    std::fprintf(stderr, "the window did not start listening:\n%s\n", program->report().c_str());
    return nullptr;
}

// --- a call driven step by step on several lines at once -----------------------------------------

struct Step {
    std::string send;
    QByteArray expect; // empty: nothing to wait for
    std::string name;
    int pauseMs = 0; // sent this long after the step before was answered
};

struct Line {
    std::unique_ptr<Program> program;
    std::unique_ptr<LineClient> client;
    std::vector<Step> steps;
    std::size_t at = 0;
    SteadyClock::time_point startAt {};
    SteadyClock::time_point sentAt {};
    bool sent = false;
    bool failed = false;
    std::vector<std::pair<std::string, double>> took; // step name, ms from send to answer
};

// Runs every line's steps: each step is sent when the one before has been answered (the first at
// the line's startAt); returns false when a line got something else or `ms` passed.
bool runSteps(std::vector<Line>& lines, int ms)
{
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        bool busy = false;
        std::vector<pollfd> fds;
        for (Line& line : lines) {
            if (line.failed || line.at >= line.steps.size())
                continue;
            busy = true;
            const Step& step = line.steps[line.at];
            const auto now = SteadyClock::now();
            if (!line.sent && now >= line.startAt) {
                line.client->take();
                if (!line.client->send(step.send)) {
                    line.failed = true;
                    continue;
                }
                line.sentAt = SteadyClock::now();
                line.sent = true;
            }
            if (line.sent) {
                line.client->pump(false, 0);
                const QByteArray& got = line.client->pending();
                if (step.expect.isEmpty() || got.contains(step.expect)) {
                    if (!step.expect.isEmpty() && !got.startsWith(step.expect)) {
                        std::fprintf(stderr, "%s: unexpected answer '%s'\n", step.name.c_str(),
                                     got.toPercentEncoding().constData());
                        line.failed = true;
                        continue;
                    }
                    if (!step.expect.isEmpty())
                        line.took.emplace_back(step.name,
                                               msBetween(line.sentAt, line.client->firstArrival));
                    line.client->take();
                    ++line.at;
                    line.sent = false;
                    line.startAt = SteadyClock::now();
                    if (line.at < line.steps.size())
                        line.startAt += std::chrono::milliseconds(line.steps[line.at].pauseMs);
                    continue;
                }
            }
            fds.push_back(pollfd { line.client->fd(), POLLIN, 0 });
        }
        if (!busy)
            return std::none_of(lines.begin(), lines.end(), [](const Line& l) { return l.failed; });
        if (SteadyClock::now() >= deadline) {
            for (const Line& line : lines) {
                if (!line.failed && line.at < line.steps.size())
                    std::fprintf(stderr, "%s: no answer\n", line.steps[line.at].name.c_str());
            }
            return false;
        }
        ::poll(fds.data(), fds.size(), 5);
    }
}

std::vector<double> took(const std::vector<Line>& lines, const std::string& name)
{
    std::vector<double> out;
    for (const Line& line : lines) {
        for (const auto& [step, ms] : line.took) {
            if (step == name)
                out.push_back(ms);
        }
    }
    return out;
}

const std::string Block = "\x02"
                          "123\rABC\r\x03"
                          "17;\r";

// Several programs, each called once: dial (staggered across the engine tick), logon, blocks.
// The first line is left logged on (for the block-state flood); the others end with EOT.
bool timing(const Settings& settings, std::vector<Line>& lines)
{
    comment("");
    comment("Timing over real TCP: one program per line, all called at once. The dial is sent at");
    comment("staggered moments so its phase against the 500 ms engine tick varies; times run from");
    comment("sending the request to the first byte of the answer.");
    for (int i = 0; i < settings.dials; ++i) {
        Line line;
        line.program = startConsole();
        if (line.program == nullptr)
            return false;
        line.client = std::make_unique<LineClient>(line.program->port());
        if (!line.client->connected())
            return false;
        line.steps.push_back({ "ATDT5551234\r", "CONNECT\r\n", "connect" });
        line.steps.push_back({ "\r", "ID=\r\n", "id_prompt" });
        line.steps.push_back({ "\x1bPG1000000\r", "\x06\r\x1b[p\r", "logon" });
        for (int b = 0; b < settings.blocks; ++b)
            line.steps.push_back({ Block, "\x06\r", "block" });
        // Pauses spread over a 100 ms engine tick, different on every line.
        for (int b = 0; b < settings.blocks; ++b) {
            const int pause = (10 + 37 * (b + settings.blocks * i)) % 100;
            line.steps.push_back({ Block, "\x06\r", "block_paused", pause });
        }
        if (i != 0)
            line.steps.push_back({ "\x04\r", "", "eot" });
        lines.push_back(std::move(line));
    }
    const auto start = SteadyClock::now() + std::chrono::milliseconds(100);
    for (std::size_t i = 0; i < lines.size(); ++i)
        lines[i].startAt = start + std::chrono::milliseconds(500 * i / lines.size() + 37 * i);
    if (!runSteps(lines, 60'000))
        return false;

    comment("CONNECT is due 10 s after the engine tick that reads the dial (0-500 ms after it is");
    comment("sent) and goes out on the first tick that finds the clock past that: the tick 20");
    comment("periods on falls on the due instant itself, so it is that tick or the next (10.0 or");
    comment("10.5 s after the dial's tick) as sub-millisecond timing goes: 10.0-11.0 s in all.");
    comment("A block is captured eight 50 ms receive-wait ticks after the tick that first sees it");
    comment("(the wait is re-armed as the answer before goes out, and its first tick only arms),");
    comment("then answered on the next 100 ms engine tick. 'block' blocks are sent as soon as the");
    comment("ACK before arrives, as a paging client does: their capture falls on an engine tick,");
    comment("which runs first, so they wait one more. 'block_paused' ones come 0-99 ms later.");
    const std::vector<double> connect = took(lines, "connect");
    samples("connect_after_dial", connect);
    spread("connect_after_dial_ms", connect);
    spread("id_prompt_after_cr_ms", took(lines, "id_prompt"));
    spread("logon_accepted_after_logon_ms", took(lines, "logon"));
    spread("block_ack_round_trip_ms", took(lines, "block"), true);
    spread("block_ack_round_trip_paused_ms", took(lines, "block_paused"), true);
    return true;
}

// Idle CPU and memory: a fresh console program, a fresh offscreen window, and a console program
// that has been through a call, measured over the same interval.
bool idle(const Settings& settings, Program* afterCall)
{
    comment("");
    comment(
        "Idle: CPU time (utime + stime from /proc/PID/stat) used over the interval, as a share");
    comment("of one core, and VmRSS at its end; no client connected (each program saw one come");
    comment("and go, or a whole call for 'after_call'). Target: under 0.5 % of a core.");
    auto consoleProgram = startConsole();
    auto windowProgram = startWindow();
    if (consoleProgram == nullptr || windowProgram == nullptr)
        return false;
    {
        LineClient probe(consoleProgram->port());
        if (!probe.connected())
            return false;
    }
    idleFor(*consoleProgram, 2'000); // let start-up and the probe's close settle

    struct Measured {
        const char* name;
        Program* program;
        double cpu0;
    };
    std::vector<Measured> measured { { "console", consoleProgram.get(), 0 },
                                     { "window", windowProgram.get(), 0 } };
    if (afterCall != nullptr)
        measured.push_back({ "console_after_call", afterCall, 0 });
    for (Measured& m : measured)
        m.cpu0 = cpuSeconds(m.program->pid());
    const auto t0 = SteadyClock::now();
    idleFor(*consoleProgram, settings.idleSeconds * 1000);
    const double seconds = msBetween(t0, SteadyClock::now()) / 1000;
    figure("idle_seconds", seconds, 0);
    for (const Measured& m : measured) {
        const double used = cpuSeconds(m.program->pid()) - m.cpu0;
        figure(std::string("idle_cpu_") + m.name + "_percent", 100 * used / seconds, 3);
    }
    for (const Measured& m : measured) {
        figure(std::string("rss_idle_") + m.name + "_mib",
               static_cast<double>(residentKb(m.program->pid())) / 1024);
    }
    return true;
}

// The overflow line (printed once the log has caught up) and the dropped count in it.
std::uint64_t waitForOverflowLine(Program& program)
{
    const QByteArray marker = "Receive buffer full (65536 bytes), ";
    if (!program.waitForOutput(marker, 30'000))
        return 0;
    const QByteArray& out = program.readAll();
    return out.mid(out.indexOf(marker) + marker.size(), 20).split(' ').value(0).toULongLong();
}

// 100 MiB at full speed in the modem state (a fresh program) and in the block state (the first
// timing line, still logged on).
bool floods(const Settings& settings, Line& loggedOn)
{
    comment("");
    comment("Floods over loopback at full speed: junk with no command in it. 'seconds' is the");
    comment("time to hand it all to the program; peak is VmHWM; after is VmRSS once the log has");
    comment("caught up; answered is how long after the flood's end the modem answered AT (the");
    comment("first AT may meet a full accumulator and be dropped: retried each 1 s) or the");
    comment("terminal answered a CR with ID= (retried each 2 s).");
    const std::string junk = "0123456789 xyz XYZ-_=/.,;:!?QWERUIOP|";
    const auto total = static_cast<std::uint64_t>(settings.floodMib) * 1024 * 1024;

    auto modem = startConsole();
    if (modem == nullptr)
        return false;
    LineClient client(modem->port());
    struct Case {
        const char* name;
        Program* program;
        LineClient* client;
        const char* retry;
        QByteArray answer;
        int retryMs;
    };
    const Case cases[]
        = { { "modem", modem.get(), &client, "AT\r", "OK\r\n", 1'000 },
            { "block", loggedOn.program.get(), loggedOn.client.get(), "\r", "ID=\r\n", 2'000 } };
    for (const Case& c : cases) {
        const qint64 pid = c.program->pid();
        const double cpu0 = cpuSeconds(pid);
        const auto start = SteadyClock::now();
        const std::uint64_t sent = c.client->flood(junk, total, 120'000);
        const auto end = SteadyClock::now();
        const double seconds = msBetween(start, end) / 1000;
        if (sent != total) {
            std::fprintf(stderr, "%s flood: only %llu bytes taken\n", c.name,
                         static_cast<unsigned long long>(sent));
            return false;
        }
        bool answered = false;
        for (int i = 0; i < 5 && !answered; ++i) {
            c.client->send(c.retry);
            answered = c.client->receive(c.answer, c.retryMs).contains(c.answer);
        }
        const double answeredMs = msBetween(end, SteadyClock::now());
        const std::string name = std::string("flood_") + c.name + "_";
        figure(name + "mib", static_cast<double>(sent) / (1024 * 1024), 0);
        figure(name + "seconds", seconds, 3);
        figure(name + "mib_per_s", static_cast<double>(sent) / (1024 * 1024) / seconds, 0);
        figure(name + "program_cpu_seconds", cpuSeconds(pid) - cpu0, 2);
        figure(name + "peak_rss_mib", static_cast<double>(peakResidentKb(pid)) / 1024);
        figure(name + "answered_after_ms", answered ? answeredMs : std::nan(""), 0);
    }
    for (const Case& c : cases) {
        const std::uint64_t dropped = waitForOverflowLine(*c.program);
        figure(std::string("flood_") + c.name + "_dropped_mib",
               static_cast<double>(dropped) / (1024 * 1024), 3);
        figure(std::string("flood_") + c.name + "_rss_after_mib",
               static_cast<double>(residentKb(c.program->pid())) / 1024);
    }
    return true;
}

// One client of the AT to OK measurement: when its next AT is due, when the last went out.
struct AtClient {
    std::unique_ptr<LineClient> client;
    SteadyClock::time_point nextAt {};
    SteadyClock::time_point sentAt {};
    bool waiting = false;
    int answered = 0; // the first answer (the line's warm-up) is not a sample
};

// How long AT waits for OK on each modem profile: a bank of lines, a client on each, every client
// sending "AT<CR>", timing the complete OK line, then pausing before its next.
bool atLatency(const Settings& settings)
{
    constexpr int Lines = 6;
    comment("");
    comment("AT to OK: the time from writing \"AT<CR>\" to reading the whole \"OK\" CR LF (after");
    comment("the echo with hayes), over real TCP to one console program per modem profile run as");
    comment("--modem PROFILE --lines 6, a client on each line, all at once. After each answer a");
    comment("client waits 0-499 ms (spread) before its next AT, so the classic modem's 500 ms");
    comment("engine tick is met at every phase; each line's first answer is left out. Target:");
    comment("hayes under 20 ms.");
    for (const char* profile : { "classic", "hayes" }) {
        auto program = startConsole({ QStringLiteral("--modem"), QString::fromLatin1(profile),
                                      QStringLiteral("--lines"), QString::number(Lines) });
        if (program == nullptr)
            return false;
        std::vector<AtClient> clients(Lines);
        const auto start = SteadyClock::now();
        for (AtClient& c : clients) {
            c.client = std::make_unique<LineClient>(program->port());
            if (!c.client->connected())
                return false;
            c.nextAt = start;
        }
        std::vector<double> latencies;
        const auto deadline = start + std::chrono::seconds(10 + settings.atRounds);
        for (int answers = 0;;) {
            const auto now = SteadyClock::now();
            bool busy = false;
            int waitMs = 50;
            std::vector<pollfd> fds;
            for (AtClient& c : clients) {
                if (c.answered > settings.atRounds)
                    continue;
                busy = true;
                if (!c.waiting && now >= c.nextAt) {
                    c.client->take();
                    if (!c.client->send("AT\r"))
                        return false;
                    c.sentAt = SteadyClock::now();
                    c.waiting = true;
                }
                if (c.waiting) {
                    c.client->pump(false, 0);
                    if (c.client->pending().contains("OK\r\n")) {
                        const auto at = SteadyClock::now();
                        if (c.answered++ > 0)
                            latencies.push_back(msBetween(c.sentAt, at));
                        c.client->take();
                        c.waiting = false;
                        c.nextAt = at + std::chrono::milliseconds((53 + 97 * answers++) % 500);
                    }
                }
                if (c.waiting)
                    fds.push_back(pollfd { c.client->fd(), POLLIN, 0 });
                else
                    waitMs = std::min<int>(waitMs,
                                           std::max(0, static_cast<int>(msBetween(now, c.nextAt))));
            }
            if (!busy)
                break;
            if (SteadyClock::now() >= deadline) {
                std::fprintf(stderr, "%s: AT went unanswered\n", profile);
                return false;
            }
            ::poll(fds.data(), fds.size(), waitMs);
        }
        const std::string name = std::string("at_ok_") + profile + "_";
        figure(name + "samples", static_cast<double>(latencies.size()), 0);
        figure(name + "p50_ms", quantile(latencies, 0.5), 2);
        figure(name + "p99_ms", quantile(latencies, 0.99), 2);
    }
    return true;
}

// Counts "OK\r\n" in a stream that arrives in pieces and notes when each arrived.
class OkTimes {
public:
    void add(SteadyClock::time_point at, const char* data, std::size_t size)
    {
        carry_.append(data, size);
        for (std::size_t found = carry_.find("OK\r\n"); found != std::string::npos;
             found = carry_.find("OK\r\n")) {
            times.push_back(
                std::chrono::duration<double, std::milli>(at.time_since_epoch()).count());
            carry_.erase(0, found + 4);
        }
        if (carry_.size() > 3)
            carry_.erase(0, carry_.size() - 3);
    }
    std::vector<double> times; // steady-clock ms
private:
    std::string carry_;
};

// Where in the 500 ms period a time falls, relative to `phase`, in -250..250 ms.
double offsetInPeriod(double ms, double phase)
{
    double offset = std::fmod(ms - phase, 500.0);
    if (offset < -250)
        offset += 500;
    if (offset >= 250)
        offset -= 500;
    return offset;
}

// A client on the line whose OKs are timed as they arrive.
struct TickProbe {
    explicit TickProbe(quint16 port)
        : client(port)
    {
        client.onData = [this](SteadyClock::time_point at, const char* data, std::size_t size) {
            oks.add(at, data, size);
        };
    }
    LineClient client;
    OkTimes oks;
};

// Sends "AT<CR>" every 100 ms until `end`, reading what comes meanwhile.
void steadyAt(LineClient& client, SteadyClock::time_point end)
{
    for (auto next = SteadyClock::now(); next < end; next += std::chrono::milliseconds(100)) {
        while (SteadyClock::now() < next)
            client.pump(false, 1 + static_cast<int>(msBetween(SteadyClock::now(), next)));
        client.send("AT\r");
    }
    client.receive("\xff never", 600);
}

struct Phase {
    // Where the engine ticks fall (steady-clock ms, modulo 500).
    double phase;
    // The last calm ticks' offsets from it.
    std::vector<double> late;
};

// The engine ticks' phase, from a steady AT every 100 ms for 6 s with nothing else going on (the
// timer settles on its phase meanwhile): the median position in the period of the last eight
// OKs. Clears `oks`.
std::optional<Phase> calmPhase(LineClient& client, OkTimes& oks)
{
    steadyAt(client, SteadyClock::now() + std::chrono::seconds(6));
    const std::vector<double> calm = oks.times;
    oks.times.clear();
    if (calm.size() < 8) {
        std::fprintf(stderr, "only %zu OKs without a flood\n", calm.size());
        return std::nullopt;
    }
    std::vector<double> positions;
    for (std::size_t i = calm.size() - 8; i < calm.size(); ++i)
        positions.push_back(offsetInPeriod(calm[i], calm.back()));
    Phase result { calm.back() + quantile(positions, 0.5), {} };
    for (std::size_t i = calm.size() - 8; i < calm.size(); ++i)
        result.late.push_back(offsetInPeriod(calm[i], result.phase));
    return result;
}

// How late the engine tick runs during a flood, seen from its modem answers.
bool tickLateness(const Settings& settings)
{
    comment("");
    comment(
        "Engine tick lateness during a flood. In the modem state the engine answers OK on each");
    comment(
        "500 ms tick if what arrived since the last tick holds an AT, so the OKs time the ticks");
    comment("(the program's timers and this client read the same monotonic clock). First AT every");
    comment("100 ms with no flood gives the ticks' phase; then 'AT<CR>' repeated at full speed (a");
    comment("flood that keeps the 64 KiB accumulator full, an AT in every tick's worth) and each");
    comment(
        "OK's offset from that phase is the tick's lateness, this client's own delay included.");
    comment("Target: within one 50 ms receive-wait tick.");
    auto program = startConsole();
    if (program == nullptr)
        return false;
    TickProbe probe(program->port());
    const std::optional<Phase> calm = calmPhase(probe.client, probe.oks);
    if (!calm)
        return false;
    LineClient& client = probe.client;
    OkTimes& oks = probe.oks;
    const double phase = calm->phase;
    const std::vector<double>& calmLate = calm->late;

    oks.times.clear();
    const double cpu0 = cpuSeconds(program->pid());
    const auto start = SteadyClock::now();
    const std::uint64_t sent
        = client.flood("AT\r", ~std::uint64_t { 0 }, settings.tickSeconds * 1000);
    const double seconds = msBetween(start, SteadyClock::now()) / 1000;
    const double cpu = cpuSeconds(program->pid()) - cpu0;
    client.receive("\xff never", 600);
    std::vector<double> late;
    const double floodStart
        = std::chrono::duration<double, std::milli>(start.time_since_epoch()).count();
    for (double t : oks.times) {
        if (t <= floodStart + 1000.0 * seconds)
            late.push_back(offsetInPeriod(t, phase));
    }
    const double expectedTicks = seconds * 2;
    spread("tick_lateness_calm_ms", calmLate);
    figure("tick_flood_mib_per_s", static_cast<double>(sent) / (1024 * 1024) / seconds, 0);
    figure("tick_flood_program_cpu_percent", 100 * cpu / seconds, 0);
    figure("tick_flood_ticks_seen", static_cast<double>(late.size()), 0);
    figure("tick_flood_ticks_expected", expectedTicks, 0);
    spread("tick_lateness_flood_ms", late, true);
    return true;
}

// How late the engine tick runs while the control API is flooded with requests.
bool apiTickLateness(const Settings& settings)
{
    constexpr int Connections = 4;
    comment("");
    comment("Engine tick lateness while the control API answers a flood of requests: the ticks'");
    comment("phase as above from a steady AT every 100 ms; then the same steady AT while");
    comment("four keep-alive connections send API requests back to back (status, pages, calls,");
    comment("faults, plan, a PUT of faults, a wait that answers at once). Target: the same median");
    comment("as without the flood, max under 50 ms.");
    auto program = startConsole({ QStringLiteral("--api"), QStringLiteral("0") });
    if (program == nullptr)
        return false;
    const quint16 api = program->waitForApiPort();
    if (api == 0) {
        std::fprintf(stderr, "the program named no API port:\n%s\n", program->report().c_str());
        return false;
    }
    TickProbe probe(program->port());
    const std::optional<Phase> calm = calmPhase(probe.client, probe.oks);
    if (!calm)
        return false;
    LineClient& client = probe.client;
    OkTimes& oks = probe.oks;

    std::atomic<bool> stop { false };
    std::atomic<long> answered { 0 };
    std::atomic<long> failed { 0 };
    std::vector<std::thread> flooders;
    for (int c = 0; c < Connections; ++c) {
        flooders.emplace_back([&] {
            const std::pair<QByteArray, QByteArray> requests[] = {
                { "GET", "/api/v1/status" },
                { "GET", "/api/v1/pages?since=0" },
                { "GET", "/api/v1/calls" },
                { "GET", "/api/v1/faults" },
                { "GET", "/api/v1/plan" },
                { "PUT", "/api/v1/faults" },
                { "GET", "/api/v1/pages/wait?timeout=0" },
            };
            LineClient http(api);
            for (std::size_t i = 0; !stop; ++i) {
                const auto& [method, path] = requests[i % std::size(requests)];
                const QByteArray body = method == "PUT" ? QByteArray(R"({"rej": false})") : "";
                if (!sendHttp(http, method, path, body) || readHttp(http, 2000).status != 200) {
                    ++failed;
                    return;
                }
                ++answered;
            }
        });
    }
    const double cpu0 = cpuSeconds(program->pid());
    const auto start = SteadyClock::now();
    steadyAt(client, start + std::chrono::seconds(settings.tickSeconds));
    stop = true;
    for (std::thread& t : flooders)
        t.join();
    const double seconds = msBetween(start, SteadyClock::now()) / 1000;
    const double cpu = cpuSeconds(program->pid()) - cpu0;
    std::vector<double> late;
    for (double t : oks.times)
        late.push_back(offsetInPeriod(t, calm->phase));
    spread("tick_lateness_api_calm_ms", calm->late);
    figure("api_flood_requests_per_s", static_cast<double>(answered) / seconds, 0);
    figure("api_flood_failed_connections", static_cast<double>(failed), 0);
    figure("api_flood_program_cpu_percent", 100 * cpu / seconds, 0);
    figure("api_flood_ticks_seen", static_cast<double>(late.size()), 0);
    spread("tick_lateness_api_flood_ms", late, true);
    return true;
}

int intArgument(int argc, char** argv, int& i)
{
    if (i + 1 >= argc) {
        std::fprintf(stderr, "%s needs a number\n", argv[i]);
        std::exit(2);
    }
    return std::max(1, std::atoi(argv[++i]));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Settings settings;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--idle-seconds")
            settings.idleSeconds = intArgument(argc, argv, i);
        else if (arg == "--dials")
            settings.dials = intArgument(argc, argv, i);
        else if (arg == "--blocks")
            settings.blocks = intArgument(argc, argv, i);
        else if (arg == "--flood-mib")
            settings.floodMib = intArgument(argc, argv, i);
        else if (arg == "--tick-seconds")
            settings.tickSeconds = intArgument(argc, argv, i);
        else if (arg == "--at-rounds")
            settings.atRounds = intArgument(argc, argv, i);
        else if (arg == "--api-only")
            settings.apiOnly = true;
        else if (arg == "--at-only")
            settings.atOnly = true;
        else {
            std::fprintf(stderr,
                         "usage: %s [--idle-seconds N] [--dials N] [--blocks N] [--flood-mib N] "
                         "[--tick-seconds N] [--at-rounds N] [--api-only] [--at-only]\n",
                         argv[0]);
            return 2;
        }
    }
    std::printf("# Ostrella over real TCP on 127.0.0.1: %s\n", qPrintable(programPath()));

    if (settings.apiOnly)
        return apiTickLateness(settings) ? 0 : 1;
    if (settings.atOnly)
        return atLatency(settings) ? 0 : 1;
    std::vector<Line> lines;
    bool ok = timing(settings, lines);
    if (lines.size() > 1)
        lines[1].client.reset(); // the call is over; its program idles with no client
    ok = ok && idle(settings, lines.size() > 1 ? lines[1].program.get() : nullptr);
    ok = ok && floods(settings, lines.front());
    lines.clear();
    ok = ok && atLatency(settings);
    ok = ok && tickLateness(settings);
    ok = ok && apiTickLateness(settings);
    if (!ok) {
        std::fprintf(stderr, "ostrella_tcp_bench: a measurement failed\n");
        return 1;
    }
    return 0;
}
