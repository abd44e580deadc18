// SPDX-License-Identifier: MIT
// The real program with a bank of N lines on one port, driven over loopback TCP by N concurrent
// clients making whole calls back to back (connect, AT, dial, logon, three blocks, EOT, hang up,
// call again), for N = 1, 10, 100 and 1,000: calls per second, how late the replies come against
// the single line's pacing, CPU per active line and resident memory; and 1,000 connections that
// stay silent. Prints one "name value" line per figure, lines starting with '#' say how each was
// measured, and a table of the rows at the end.
//
// The clients (ScaleClients.h) run in groups of at most --clients-per-thread, each group on its
// own thread under its own epoll set, so that the program and not the bench is what saturates.
//
// Usage: ostrella_scale_bench [--seconds S] [--lines-list 1,10,100,1000] [--idle-seconds S]
//                             [--clients-per-thread N] [--start-spread-ms MS]
//                             [--flood-one-line 1] [--window 1] [--sample-seconds S]
//
// --flood-one-line 1 gives each row but the one-line baseline one line more, held by a client that
// sends junk (no command in it) at full speed for the whole row: how the calling lines keep their
// pacing beside it.
// --window 1 runs the program with its window (offscreen unless a platform is set) instead of in
// console mode, without the control API (so without tick lateness); --sample-seconds S prints
// its resident memory every S seconds of each row.
#include "BenchFigures.h"
#include "ScaleClients.h"
#include "support/ProcessHarness.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <netinet/in.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace ostrella::harness;
using namespace ostrella::bench;
using namespace ostrella::scalebench;

namespace {

struct Settings {
    int seconds = 40;
    int idleSeconds = 20;
    std::vector<int> lines { 1, 10, 100, 1000 };
    int clientsPerThread = 5000;
    // The first call of each client starts at a moment spread over this (by default one 500 ms
    // engine tick: every line's calls then start and end in step, a burst of N at a time).
    int startSpreadMs = 500;
    bool floodOneLine = false;
    bool window = false;
    int sampleSeconds = 0;
};

// Connections held open in the idle row.
constexpr int IdleConnections = 1000;

// --- printing ------------------------------------------------------------------------------------

// --- the rows ------------------------------------------------------------------------------------

struct Row {
    int lines = 0;
    bool measured = false;
    double seconds = 0;
    double callsPerSecond = 0;
    double secondHalfCallsPerSecond = 0; // calls made in the row's second half, a second
    double cpuPercent = 0; // the program's, of one core
    double clientCpuPercent = 0; // this bench's own
    double rssMib = 0;
    double peakMib = 0;
    double floodMibPerSecond = 0; // into the flooded line, with --flood-one-line
    long logRefused = 0; // "lines busy" in the program's log
    Counts counts;
    Delays delays;
    Delays steady;
    // How late the lines' timer ticks ran in the program (median, p99, max ms; a bank only).
    std::array<double, 3> tickLate { std::nan(""), std::nan(""), std::nan("") };

    // The program's CPU time over the row (ms) for each whole call made; 0 without calls.
    double cpuMsPerCall() const
    {
        const double calls = callsPerSecond * seconds;
        return calls > 0 ? cpuPercent * seconds * 10 / calls : 0;
    }
};

// This process's CPU time (user + system), in seconds.
double ownCpuSeconds()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Starts the program in console mode (or with its window) on port 0 with `lines` lines (no
// option for one line) and waits for its listening line; nullptr, with the reason on stderr, when
// it does not come.
std::unique_ptr<Program> startProgram(int lines, bool window = false)
{
    QStringList more;
    if (lines > 1)
        more << QStringLiteral("--lines") << QString::number(lines);
    if (window) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        auto program = std::make_unique<Program>(more << QStringLiteral("0"), env);
        if (program->waitForListeningSocket(10'000) != 0)
            return program;
        std::fprintf(stderr, "the window with %d lines opened no port:\n%s\n", lines,
                     program->report().c_str());
        return nullptr;
    }
    // The control API says how late the lines' timer ticks ran.
    more << QStringLiteral("--api") << QStringLiteral("0");
    auto program = std::make_unique<Program>(
        console(more), QProcessEnvironment::systemEnvironment(), Program::Output::File);
    if (program->waitForPort(10'000) == 0) {
        std::fprintf(stderr, "the program with %d lines named no port:\n%s\n", lines,
                     program->report().c_str());
        return nullptr;
    }
    return program;
}

// Connects to `port` and sends junk without a command in it as fast as the program takes it,
// until `end`; the bytes sent.
std::uint64_t flood(quint16 port, SteadyClock::time_point end)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to {};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval slice { 0, 100'000 };
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &slice, sizeof slice);
    std::uint64_t sent = 0;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
        const std::string junk(64 * 1024, 'x');
        while (SteadyClock::now() < end) {
            const ssize_t n = ::send(fd, junk.data(), junk.size(), MSG_NOSIGNAL);
            if (n > 0)
                sent += static_cast<std::uint64_t>(n);
            else if (n < 0 && errno != EAGAIN && errno != EINTR)
                break;
        }
    }
    ::close(fd);
    return sent;
}

// Appends every delay of `from` to `to`.
void append(Delays& to, const Delays& from)
{
    for (std::size_t k = 0; k < ReplyKinds; ++k)
        to[k].insert(to[k].end(), from[k].begin(), from[k].end());
}

// One row: `lines` lines, as many clients making calls back to back for `seconds`, in groups of
// at most `perThread` clients, each group on a thread of its own.
Row measureRow(int lines, const Settings& settings)
{
    Row row;
    row.lines = lines;
    const bool flooded = settings.floodOneLine && lines > 1;
    auto program = startProgram(lines + (flooded ? 1 : 0), settings.window);
    if (program == nullptr)
        return row;
    std::vector<std::unique_ptr<Driver>> drivers;
    const int perThread = settings.clientsPerThread;
    for (int from = 0; from < lines; from += perThread)
        drivers.push_back(std::make_unique<Driver>(
            program->port(), static_cast<std::size_t>(std::min(perThread, lines - from)), false));
    const auto spread = std::chrono::milliseconds(settings.startSpreadMs);
    const auto end = std::chrono::seconds(settings.seconds);
    const double cpu0 = cpuSeconds(program->pid());
    const double own0 = ownCpuSeconds();
    const auto t0 = SteadyClock::now();
    std::uint64_t floodBytes = 0;
    {
        std::atomic<std::size_t> running = drivers.size();
        std::vector<std::jthread> threads;
        if (flooded)
            threads.emplace_back([&] { floodBytes = flood(program->port(), t0 + end); });
        for (auto& driver : drivers) {
            threads.emplace_back([&driver, &running, t0, spread, end] {
                driver->countLateCallsFrom(t0 + end / 2);
                driver->start(spread);
                driver->run(t0 + end);
                --running;
            });
        }
        // This thread keeps the program's standard error pipe read meanwhile.
        auto sampleDue = t0 + std::chrono::seconds(settings.sampleSeconds);
        while (running > 0) {
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(100ms);
            if (settings.sampleSeconds > 0 && SteadyClock::now() >= sampleDue) {
                char text[120];
                std::snprintf(text, sizeof text, "%d lines at %4.0f s: %.1f MiB resident", lines,
                              msBetween(t0, SteadyClock::now()) / 1000,
                              static_cast<double>(residentKb(program->pid())) / 1024);
                comment(text);
                sampleDue += std::chrono::seconds(settings.sampleSeconds);
            }
        }
    }
    row.seconds = msBetween(t0, SteadyClock::now()) / 1000;
    row.floodMibPerSecond = static_cast<double>(floodBytes) / (1024 * 1024) / row.seconds;
    row.cpuPercent = 100 * (cpuSeconds(program->pid()) - cpu0) / row.seconds;
    row.clientCpuPercent = 100 * (ownCpuSeconds() - own0) / row.seconds;
    row.rssMib = static_cast<double>(residentKb(program->pid())) / 1024;
    row.peakMib = static_cast<double>(peakResidentKb(program->pid())) / 1024;
    row.logRefused = static_cast<long>(program->countOf("lines busy"));
    for (const auto& driver : drivers) {
        const Counts& c = driver->counts;
        row.counts.calls += c.calls;
        row.counts.refused += c.refused;
        row.counts.dropped += c.dropped;
        row.counts.timedOut += c.timedOut;
        row.counts.wrongReply += c.wrongReply;
        row.counts.connectFailed += c.connectFailed;
        row.counts.lateCalls += c.lateCalls;
        append(row.delays, driver->delays);
        append(row.steady, driver->steady);
    }
    row.callsPerSecond = static_cast<double>(row.counts.calls) / row.seconds;
    row.secondHalfCallsPerSecond
        = static_cast<double>(row.counts.lateCalls) / (row.seconds - settings.seconds / 2.0);
    row.measured = program->running();
    if (lines > 1 && !settings.window) {
        const quint16 api = program->waitForApiPort();
        const QJsonObject late = QJsonDocument::fromJson(http(api, "GET", "/api/v1/status").body)
                                     .object()[QStringLiteral("tick_lateness_ms")]
                                     .toObject();
        row.tickLate
            = { late[QStringLiteral("median")].toDouble(), late[QStringLiteral("p99")].toDouble(),
                late[QStringLiteral("max")].toDouble() };
    }
    if (!row.measured)
        std::fprintf(stderr, "the program ended during the row:\n%s\n", program->report().c_str());
    return row;
}

// Every delay less its kind's baseline.
std::vector<double> lateness(const Delays& delays, const Baseline& baseline)
{
    std::vector<double> late;
    for (std::size_t k = 0; k < ReplyKinds; ++k) {
        for (double ms : delays[k])
            late.push_back(ms - baseline[k]);
    }
    return late;
}

// The medians of each kind: the baseline the N = 1 row sets.
Baseline medians(const Delays& delays)
{
    Baseline out {};
    for (std::size_t k = 0; k < ReplyKinds; ++k)
        out[k] = quantile(delays[k], 0.5);
    return out;
}

// The largest of each kind: how far the single line's own pacing goes.
Baseline maxima(const Delays& delays)
{
    Baseline out {};
    for (std::size_t k = 0; k < ReplyKinds; ++k)
        out[k] = quantile(delays[k], 1);
    return out;
}

void printRow(const Row& row, const Row& base)
{
    const std::string name = "scale_" + std::to_string(row.lines) + "_lines_";
    const std::vector<double> late = lateness(row.delays, medians(base.delays));
    const std::vector<double> steady = lateness(row.steady, medians(base.steady));
    figure(name + "calls_per_s", row.callsPerSecond, 2);
    figure(name + "calls_per_s_second_half", row.secondHalfCallsPerSecond, 2);
    figure(name + "replies", static_cast<double>(late.size()), 0);
    for (std::size_t k = 0; k < ReplyKinds; ++k)
        figure(name + ReplyNames[k] + "_median_ms", quantile(row.delays[k], 0.5));
    figure(name + "lateness_median_ms", quantile(late, 0.5));
    figure(name + "lateness_p99_ms", quantile(late, 0.99));
    figure(name + "lateness_max_ms", quantile(late, 1));
    figure(name + "steady_lateness_median_ms", quantile(steady, 0.5));
    figure(name + "steady_lateness_p99_ms", quantile(steady, 0.99));
    figure(name + "steady_lateness_max_ms", quantile(steady, 1));
    const std::vector<double> beyond = lateness(row.steady, maxima(base.steady));
    figure(name + "beyond_single_line_p99_ms", quantile(beyond, 0.99));
    figure(name + "beyond_single_line_max_ms", quantile(beyond, 1));
    figure(name + "tick_lateness_median_ms", row.tickLate[0]);
    figure(name + "tick_lateness_p99_ms", row.tickLate[1]);
    figure(name + "tick_lateness_max_ms", row.tickLate[2]);
    figure(name + "program_cpu_percent", row.cpuPercent, 2);
    figure(name + "cpu_per_line_percent", row.cpuPercent / row.lines, 4);
    figure(name + "program_cpu_ms_per_call", row.cpuMsPerCall(), 3);
    figure(name + "client_cpu_percent", row.clientCpuPercent, 1);
    figure(name + "rss_mib", row.rssMib);
    if (row.floodMibPerSecond > 0)
        figure(name + "flood_mib_per_s", row.floodMibPerSecond, 1);
    figure(name + "peak_rss_mib", row.peakMib);
    figure(name + "refused", static_cast<double>(row.counts.refused), 0);
    figure(name + "refused_in_log", static_cast<double>(row.logRefused), 0);
    figure(name + "dropped", static_cast<double>(row.counts.dropped), 0);
    figure(name + "timed_out", static_cast<double>(row.counts.timedOut), 0);
    figure(name + "wrong_replies", static_cast<double>(row.counts.wrongReply), 0);
    figure(name + "connect_failed", static_cast<double>(row.counts.connectFailed), 0);
}

// The rows side by side; lateness against `base`, the N = 1 row.
void printTable(const std::vector<Row>& rows, const Row& base)
{
    comment("");
    comment(
        " lines  calls/s  late median    p99    max  steady p99  beyond p99  tick p99  cpu/line %"
        "  ms/call  rss MiB  peak MiB  refused  failed");
    for (const Row& row : rows) {
        if (!row.measured) {
            comment(std::to_string(row.lines) + ": not measured");
            continue;
        }
        const std::vector<double> late = lateness(row.delays, medians(base.delays));
        const std::vector<double> steady = lateness(row.steady, medians(base.steady));
        const std::vector<double> beyond = lateness(row.steady, maxima(base.steady));
        const long failed = row.counts.timedOut + row.counts.dropped + row.counts.wrongReply
            + row.counts.connectFailed;
        char text[200];
        std::snprintf(text, sizeof text,
                      "%6d %8.2f %11.1f %6.1f %6.1f %11.1f %11.1f %9.1f %11.4f %8.3f %8.1f %9.1f "
                      "%8ld %7ld",
                      row.lines, row.callsPerSecond, quantile(late, 0.5), quantile(late, 0.99),
                      quantile(late, 1), quantile(steady, 0.99), quantile(beyond, 0.99),
                      row.tickLate[1], row.cpuPercent / row.lines, row.cpuMsPerCall(), row.rssMib,
                      row.peakMib, row.counts.refused, failed);
        comment(text);
    }
}

// The idle row: IdleConnections connections to a program with as many lines, silent for
// `seconds` once all are established and two more seconds have passed.
bool measureIdle(int seconds)
{
    comment("");
    comment("Idle: 1,000 connections to a program with 1,000 lines, all made at once, then");
    comment("silent. idle_program_cpu_percent: the program's CPU time over "
            + std::to_string(seconds) + " s, from 2 s after");
    comment("the last was established, of one core; idle_rss_mib: VmRSS at the end.");
    comment("Target: under 1 % of a core.");
    auto program = startProgram(IdleConnections);
    if (program == nullptr)
        return false;
    Driver driver(program->port(), IdleConnections, true);
    driver.start(SteadyClock::duration::zero());
    const auto t0 = SteadyClock::now();
    driver.run(t0 + ReplyDeadline, [&] { return driver.open() == IdleConnections; });
    figure("idle_connect_all_ms", msBetween(t0, SteadyClock::now()), 0);
    driver.run(SteadyClock::now() + 2s);
    const double cpu0 = cpuSeconds(program->pid());
    const auto t1 = SteadyClock::now();
    driver.run(t1 + std::chrono::seconds(seconds));
    const double wall = msBetween(t1, SteadyClock::now()) / 1000;
    figure("idle_connections_open", static_cast<double>(driver.open()), 0);
    figure("idle_closed_by_program",
           static_cast<double>(driver.counts.refused + driver.counts.dropped), 0);
    figure("idle_connect_failed",
           static_cast<double>(driver.counts.connectFailed + driver.counts.timedOut), 0);
    figure("idle_program_cpu_percent", 100 * (cpuSeconds(program->pid()) - cpu0) / wall, 3);
    figure("idle_rss_mib", static_cast<double>(residentKb(program->pid())) / 1024);
    return program->running();
}

void explain(const Settings& settings)
{
    comment("Each row: the program in console mode with N lines (--lines N; none for N = 1) on");
    comment("port 0, N clients in groups of at most " + std::to_string(settings.clientsPerThread)
            + ", each group on a thread of its own (epoll),");
    comment("each client making whole calls back to back for " + std::to_string(settings.seconds)
            + " s:");
    comment("connect, AT, ATDT5551234, CR, logon, three blocks each sent as the ACK before");
    comment("arrives, EOT, hang up, connect again at once. First calls start spread over "
            + std::to_string(settings.startSpreadMs) + " ms.");
    comment("calls_per_s: calls that reached EOT over the row's wall time; _second_half: those");
    comment(
        "made in its second half, over that half (the steady rate when first calls are spread).");
    comment("*_median_ms: request sent to the whole reply received, by reply kind.");
    comment("lateness: each reply's delay less the N = 1 row's median delay of its kind, over all");
    comment("replies of the row. A call's first reply falls at an arbitrary phase of its line's");
    comment("500 ms engine tick, so each client's first call varies by up to a tick even alone;");
    comment("steady_lateness: the same over calls after each client's first, against the N = 1");
    comment("row's medians of those (sent right after a reply, so in step with the line's ticks).");
    comment("Its floor is the 50 ms receive-wait tick: a step takes one slot more or less even");
    comment("alone. beyond_single_line: each steady reply's delay less the largest the N = 1 row");
    comment("had of its kind, the single line's own spread included: 0 or less is within it (the");
    comment("N = 1 row's few replies see few of the phases a larger row sees). tick_lateness: the");
    comment("program's own count (control API status) of how late the lines' engine and");
    comment("receive-wait ticks ran after their due time, in whole ms; every reply goes out on");
    comment("such a tick, so this is how late the replies are against the single line's pacing.");
    comment("program_cpu_percent: utime + stime from /proc/PID/stat over the row, of one core;");
    comment("cpu_per_line_percent: that divided by N; program_cpu_ms_per_call (ms/call): the");
    comment("program's CPU time over the row for each whole call made. client_cpu_percent: this");
    comment("bench's own.");
    comment("rss_mib: VmRSS at the row's end; peak_rss_mib: VmHWM. refused: closed by the program");
    comment("before any reply (counted from the clients; refused_in_log: 'lines busy' log lines);");
    comment("dropped: closed in mid-call; timed_out: no reply within 30 s. A refused, dropped or");
    comment("timed-out client connects again after 50 ms.");
    comment("Targets, for 1,000 concurrent lines: p99 lateness under 20 ms, CPU under 0.05 % of a");
    comment("core per active line, under 100 MiB resident; 1,000 idle connections: under 1 % CPU.");
}

// A comma-separated list of line counts, each at least 1; empty when it is not one.
std::vector<int> lineCounts(const std::string& text)
{
    std::vector<int> out;
    for (std::size_t from = 0; from <= text.size();) {
        const std::size_t comma = std::min(text.find(',', from), text.size());
        const int n = std::atoi(text.substr(from, comma - from).c_str());
        if (n < 1)
            return {};
        out.push_back(n);
        from = comma + 1;
    }
    return out;
}

// Reads the options into `settings`; false when one is unknown or has no usable value.
bool parse(int argc, char** argv, Settings& settings)
{
    if (argc % 2 == 0)
        return false;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        const std::string value = argv[i + 1];
        if (arg == "--seconds")
            settings.seconds = std::max(1, std::atoi(value.c_str()));
        else if (arg == "--idle-seconds")
            settings.idleSeconds = std::max(1, std::atoi(value.c_str()));
        else if (arg == "--lines-list")
            settings.lines = lineCounts(value);
        else if (arg == "--start-spread-ms")
            settings.startSpreadMs = std::max(0, std::atoi(value.c_str()));
        else if (arg == "--window")
            settings.window = std::atoi(value.c_str()) != 0;
        else if (arg == "--sample-seconds")
            settings.sampleSeconds = std::max(0, std::atoi(value.c_str()));
        else if (arg == "--flood-one-line")
            settings.floodOneLine = std::atoi(value.c_str()) != 0;
        else if (arg == "--clients-per-thread")
            settings.clientsPerThread = std::max(1, std::atoi(value.c_str()));
        else
            return false;
    }
    if (settings.lines.empty())
        return false;
    // The one-line row is the baseline of the others: always measured, first.
    settings.lines.push_back(1);
    std::sort(settings.lines.begin(), settings.lines.end());
    settings.lines.erase(std::unique(settings.lines.begin(), settings.lines.end()),
                         settings.lines.end());
    return true;
}

// Lets this process open as many descriptors as its hard limit allows (1,000 clients and more).
void raiseDescriptorLimit()
{
    rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Settings settings;
    if (!parse(argc, argv, settings)) {
        std::fprintf(stderr,
                     "usage: %s [--seconds S] [--lines-list 1,10,100,1000] [--idle-seconds S] "
                     "[--flood-one-line 1] [--window 1] [--sample-seconds S] "
                     "[--clients-per-thread N] [--start-spread-ms MS]\n",
                     argv[0]);
        return 2;
    }
    raiseDescriptorLimit();
    std::printf("# Ostrella with N lines over real TCP on 127.0.0.1: %s\n",
                qPrintable(programPath()));
    explain(settings);
    std::vector<Row> rows;
    bool ok = true;
    for (int lines : settings.lines) {
        comment("");
        comment("N = " + std::to_string(lines) + ":");
        rows.push_back(measureRow(lines, settings));
        ok = ok && rows.back().measured;
        if (rows.back().measured)
            printRow(rows.back(), rows.front());
    }
    if (settings.lines.back() >= IdleConnections)
        ok = measureIdle(settings.idleSeconds) && ok;
    printTable(rows, rows.front());
    if (!ok) {
        std::fprintf(stderr, "ostrella_scale_bench: a measurement failed\n");
        return 1;
    }
    return 0;
}
