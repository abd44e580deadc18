// SPDX-License-Identifier: MIT
// The real program spawned as a separate process and driven over loopback TCP, as a test run
// would use it: the program with its output collected, a plain-socket client (for whole calls as
// for floods, drips and connection storms), and the process's memory, descriptors, CPU time and
// listening port read from /proc. Every wait runs against a deadline; nothing here sleeps for
// synchronisation.
//
// The static library ostrella_process_harness (ProcessHarness.cmake); it knows where the program
// was built (OSTRELLA_PROGRAM in the environment overrides that). It uses no test framework, so
// the TCP benchmark links it too. Create a QCoreApplication before using Program.
//
// The program is started on port 0: the system chooses a port nothing else holds, and the
// program names it in its listening line, "Local Port <p>", where waitForPort() reads it. No
// port is ever picked here, let go and hoped to be free still when the program asks for it.
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrella::harness {

using SteadyClock = std::chrono::steady_clock;

// Milliseconds from `from` to `to` (fractional).
inline double msBetween(SteadyClock::time_point from, SteadyClock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// The program under test: OSTRELLA_PROGRAM from the environment when set (another build of it),
// else the one this library was built with.
QString programPath();

// The arguments of a console-mode run on port 0 (the system chooses): "--console", `more`, "0".
QStringList console(const QStringList& more = {});

// The port named in the first complete "Local Port <p>" of `output` (or another `marker`, such as
// the control API's "API Port <"); nothing while there is none (or the line is not complete yet).
// A port that is not a number from 0 to 65535 reads as nothing too.
std::optional<quint16> portInOutput(const QByteArray& output,
                                    const QByteArray& marker = "Local Port <");

// The spawned program with its output collected. With Output::File its standard output goes to a
// file instead of a pipe, so a chatty program never waits for the test to read it (floods make
// the log run at its full rate); waits then look at the file every few milliseconds.
class Program {
public:
    enum class Output { Pipe, File };

    explicit Program(QStringList args,
                     QProcessEnvironment env = QProcessEnvironment::systemEnvironment(),
                     Output output = Output::Pipe);
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    ~Program();

    qint64 pid() const { return process_.processId(); }
    bool running() const { return process_.state() == QProcess::Running; }

    // Waits until the program has named the port it listens on in its listening line and returns
    // it; 0 when `ms` pass first, the program ends, or the line names port 0.
    quint16 waitForPort(int ms = 10'000);
    // The same for the control API's port ("API Port <p>"); 0 when none is named within `ms`.
    quint16 waitForApiPort(int ms = 10'000);
    // Waits until the program holds a listening TCP socket (seen in /proc, for a program that
    // logs to its window rather than to standard output) and returns its port; 0 when `ms` pass
    // first or the program ends.
    quint16 waitForListeningSocket(int ms = 10'000);
    // The port found by the last successful wait above; 0 before.
    quint16 port() const { return port_; }

    // Waits until standard output holds `text`; false after `ms`.
    bool waitForOutput(const QByteArray& text, int ms = 5000);
    // Everything written so far.
    const QByteArray& readAll();
    // How many times `text` occurs in the output so far.
    qsizetype countOf(const QByteArray& text) { return readAll().count(text); }
    void say(const QByteArray& line) { process_.write(line + "\n"); }
    bool finish(int ms = 5000);
    // SIGTERM, then waits for the end; true when the program ended with status 0.
    bool terminate(int ms = 5000);

    // What the program did, for a failure message: how it was started, whether it runs or how it
    // ended, and its standard output and error so far.
    std::string report();

    QProcess process_;
    QByteArray out_;
    QByteArray err_;

private:
    quint16 waitForNamedPort(const QByteArray& marker, int ms);

    QStringList args_;
    Output output_;
    QTemporaryDir dir_;
    QString outPath_;
    quint16 port_ = 0;
};

// A client on a plain non-blocking socket to 127.0.0.1, with full control of what is written
// when: floods at the peer's full speed, one byte at a time, connect and close in quick
// succession. Whatever arrives is collected (and handed to onData, with its arrival time, first).
class LineClient {
public:
    explicit LineClient(quint16 port, int ms = 5000) { connectTo(port, ms); }
    LineClient(const LineClient&) = delete;
    LineClient& operator=(const LineClient&) = delete;
    ~LineClient() { close(); }

    bool connected() const { return fd_ >= 0 && !peerClosed_; }
    int fd() const { return fd_; }
    bool peerClosed() const { return peerClosed_; }

    // Ends the connection: an orderly close, or with `reset` an abortive one (RST).
    void close(bool reset = false);

    // Writes all of `bytes`; false when `ms` pass first or the connection fails.
    bool send(std::string_view bytes, int ms = 5000);

    // Everything received until `expected` has arrived or `ms` have passed; taken.
    QByteArray receive(const QByteArray& expected, int ms);
    // Whatever arrives within `ms`.
    QByteArray quietFor(int ms) { return receive(QByteArray("\xff\xfe never"), ms); }
    // What has arrived and not been taken yet.
    QByteArray take();
    const QByteArray& pending() const { return got_; }
    // Puts bytes taken but not used back in front of what has arrived.
    void putBack(const QByteArray& bytes) { got_.prepend(bytes); }

    // Waits up to `ms` for the socket to be readable (or writable too, with `wantWrite`) and
    // reads what has arrived. True when it is writable.
    bool pump(bool wantWrite, int ms);

    // Sends `total` bytes made of `pattern` repeated, as fast as the peer takes them, for at most
    // `ms`; `during(sentSoFar)` runs about every `everyMs`. Returns the bytes sent.
    std::uint64_t flood(std::string_view pattern, std::uint64_t total, int ms,
                        const std::function<void(std::uint64_t)>& during = {}, int everyMs = 20);

    // Sends `bytes` one at a time, one every `everyMs`, collecting what arrives meanwhile.
    // Returns the longest gap between two bytes actually sent, in ms (a loaded machine can stretch
    // the drip), or a negative value when sending failed.
    double drip(std::string_view bytes, int everyMs);

    // Called with every piece of data as it arrives, before it is collected.
    std::function<void(SteadyClock::time_point, const char*, std::size_t)> onData;
    // When the first byte not yet taken arrived, and when the last byte was sent by drip().
    SteadyClock::time_point firstArrival {};
    SteadyClock::time_point lastSent {};

private:
    void connectTo(quint16 port, int ms);
    void readAvailable();

    int fd_ = -1;
    bool peerClosed_ = false;
    QByteArray got_;
};

// --- HTTP, for the control API ------------------------------------------------------------------

// One HTTP/1.1 answer as read off the connection.
struct HttpReply {
    // 0 when no whole answer came in time.
    int status = 0;
    // The status line and the headers.
    QByteArray head;
    QByteArray body;
};

// Writes one request on `client` (Content-Length given when there is a body).
bool sendHttp(LineClient& client, const QByteArray& method, const QByteArray& path,
              const QByteArray& body = {});
// Reads one whole answer from `client` (its body by its Content-Length).
HttpReply readHttp(LineClient& client, int ms = 5000);
// One request on a connection of its own to 127.0.0.1:`port`.
HttpReply http(quint16 port, const QByteArray& method, const QByteArray& path,
               const QByteArray& body = {}, int ms = 5000);

// --- the process seen from /proc ----------------------------------------------------------------

// A "Vm…" field of /proc/PID/status in KiB (VmRSS: resident now, VmHWM: resident at its peak);
// -1 when it cannot be read.
long procStatusKb(qint64 pid, const char* field);
inline long residentKb(qint64 pid)
{
    return procStatusKb(pid, "VmRSS");
}
inline long peakResidentKb(qint64 pid)
{
    return procStatusKb(pid, "VmHWM");
}

// Open file descriptors of the process; -1 when they cannot be listed.
int openDescriptors(qint64 pid);

// CPU time the process has used (user + system), in seconds; negative when it cannot be read.
double cpuSeconds(qint64 pid);

// The ports of the TCP sockets the process listens on (IPv4 and IPv6), in the order found; empty
// when there are none or they cannot be read.
std::vector<quint16> listeningPorts(qint64 pid);

// The JSON Lines records in the file at `path`, one object each, in order (none when it cannot
// be read).
std::vector<QJsonObject> records(const QString& path);

} // namespace ostrella::harness
