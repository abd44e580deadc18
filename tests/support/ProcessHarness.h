// SPDX-License-Identifier: MIT
// The real program spawned as a separate process and driven over loopback TCP, as a test run
// would use it: the program with its output collected, a QTcpSocket client, a plain-socket client
// for floods, drips and connection storms, and the process's memory, descriptors and CPU time read
// from /proc. Every wait runs against a deadline; nothing here sleeps for synchronisation.
//
// Header-only. The including target defines OSTRELLA_BINARY (the program's path; OSTRELLA_PROGRAM
// in the environment overrides it) and creates a QCoreApplication before using Program or Client.
#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>

#ifndef OSTRELLA_BINARY
#error "OSTRELLA_BINARY must name the program under test"
#endif

namespace ostrella::harness {

using SteadyClock = std::chrono::steady_clock;

// Milliseconds from `from` to `to` (fractional).
inline double msBetween(SteadyClock::time_point from, SteadyClock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// The program under test: OSTRELLA_PROGRAM from the environment when set (another build of it),
// else the one this target was built with.
inline QString programPath()
{
    const QString chosen = qEnvironmentVariable("OSTRELLA_PROGRAM");
    return chosen.isEmpty() ? QStringLiteral(OSTRELLA_BINARY) : chosen;
}

// A port nothing listens on right now (the system's choice, then released).
inline quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// The arguments of a console-mode run on `port`.
inline QStringList console(quint16 port, QStringList more = {})
{
    return QStringList { QStringLiteral("--console") } + more
        + QStringList { QString::number(port) };
}

// The spawned program with its output collected. With Output::File its standard output goes to a
// file instead of a pipe, so a chatty program never waits for the test to read it (floods make
// the log run at its full rate); waits then look at the file every few milliseconds.
class Program {
public:
    enum class Output { Pipe, File };

    explicit Program(QStringList args,
                     QProcessEnvironment env = QProcessEnvironment::systemEnvironment(),
                     Output output = Output::Pipe)
        : output_(output)
    {
        process_.setProcessEnvironment(env);
        if (output_ == Output::File) {
            outPath_ = dir_.filePath(QStringLiteral("stdout.txt"));
            process_.setStandardOutputFile(outPath_);
        }
        process_.start(programPath(), args);
        process_.waitForStarted(5000);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    ~Program()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }

    qint64 pid() const { return process_.processId(); }
    bool running() const { return process_.state() == QProcess::Running; }

    // Waits until standard output holds `text`; false after `ms`.
    bool waitForOutput(const QByteArray& text, int ms = 5000)
    {
        QDeadlineTimer deadline(ms);
        while (!readAll().contains(text)) {
            if (deadline.hasExpired() || process_.state() == QProcess::NotRunning)
                return readAll().contains(text);
            const int step = static_cast<int>(std::max<qint64>(1, deadline.remainingTime()));
            if (output_ == Output::File)
                process_.waitForFinished(std::min(step, 10));
            else
                process_.waitForReadyRead(step);
        }
        return true;
    }
    // Everything written so far.
    const QByteArray& readAll()
    {
        if (output_ == Output::File) {
            QFile file(outPath_);
            if (file.open(QIODevice::ReadOnly) && file.seek(out_.size()))
                out_ += file.readAll();
        } else {
            out_ += process_.readAllStandardOutput();
        }
        err_ += process_.readAllStandardError();
        return out_;
    }
    // How many times `text` occurs in the output so far.
    qsizetype countOf(const QByteArray& text) { return readAll().count(text); }
    void say(const QByteArray& line) { process_.write(line + "\n"); }
    bool finish(int ms = 5000)
    {
        const bool done = process_.waitForFinished(ms);
        readAll();
        return done;
    }
    // SIGTERM, then waits for the end; true when the program ended with status 0.
    bool terminate(int ms = 5000)
    {
        if (process_.state() == QProcess::NotRunning)
            return false;
        ::kill(static_cast<pid_t>(pid()), SIGTERM);
        return finish(ms) && process_.exitStatus() == QProcess::NormalExit
            && process_.exitCode() == 0;
    }

    QProcess process_;
    QByteArray out_;
    QByteArray err_;

private:
    Output output_;
    QTemporaryDir dir_;
    QString outPath_;
};

// A paging client on the other end of the TCP line.
class Client {
public:
    explicit Client(quint16 port)
    {
        socket_.connectToHost(QHostAddress::LocalHost, port);
        socket_.waitForConnected(5000);
    }
    bool connected() const { return socket_.state() == QAbstractSocket::ConnectedState; }
    void send(const QByteArray& bytes)
    {
        socket_.write(bytes);
        socket_.waitForBytesWritten(1000);
    }
    // Everything received until `expected` has arrived or `ms` have passed.
    QByteArray receive(const QByteArray& expected, int ms)
    {
        QDeadlineTimer deadline(ms);
        while (!got_.contains(expected) && !deadline.hasExpired()) {
            socket_.waitForReadyRead(
                static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
            got_ += socket_.readAll();
        }
        QByteArray out = got_;
        got_.clear();
        return out;
    }
    // Whatever arrives within `ms`.
    QByteArray quietFor(int ms) { return receive(QByteArray("\xff\xfe never"), ms); }

private:
    QTcpSocket socket_;
    QByteArray got_;
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
    void close(bool reset = false)
    {
        if (fd_ < 0)
            return;
        if (reset) {
            const linger hard { 1, 0 };
            ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        }
        ::close(fd_);
        fd_ = -1;
    }

    // Writes all of `bytes`; false when `ms` pass first or the connection fails.
    bool send(std::string_view bytes, int ms = 5000)
    {
        const auto deadline = SteadyClock::now() + std::chrono::milliseconds(ms);
        while (!bytes.empty()) {
            const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n > 0) {
                bytes.remove_prefix(static_cast<std::size_t>(n));
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                return false;
            if (SteadyClock::now() >= deadline)
                return false;
            pump(true, remainingMs(deadline));
        }
        return true;
    }

    // Everything received until `expected` has arrived or `ms` have passed; taken.
    QByteArray receive(const QByteArray& expected, int ms)
    {
        const auto deadline = SteadyClock::now() + std::chrono::milliseconds(ms);
        while (!got_.contains(expected) && SteadyClock::now() < deadline && connected())
            pump(false, remainingMs(deadline));
        return take();
    }
    // Whatever arrives within `ms`.
    QByteArray quietFor(int ms) { return receive(QByteArray("\xff\xfe never"), ms); }
    // What has arrived and not been taken yet.
    QByteArray take()
    {
        QByteArray out = got_;
        got_.clear();
        return out;
    }
    const QByteArray& pending() const { return got_; }

    // Waits up to `ms` for the socket to be readable (or writable too, with `wantWrite`) and
    // reads what has arrived. True when it is writable.
    bool pump(bool wantWrite, int ms)
    {
        if (fd_ < 0)
            return false;
        pollfd p { fd_, static_cast<short>(POLLIN | (wantWrite ? POLLOUT : 0)), 0 };
        if (::poll(&p, 1, std::max(0, ms)) <= 0)
            return false;
        if ((p.revents & (POLLIN | POLLHUP | POLLERR)) != 0)
            readAvailable();
        return (p.revents & POLLOUT) != 0;
    }

    // Sends `total` bytes made of `pattern` repeated, as fast as the peer takes them, for at most
    // `ms`; `during(sentSoFar)` runs about every `everyMs`. Returns the bytes sent.
    std::uint64_t flood(std::string_view pattern, std::uint64_t total, int ms,
                        const std::function<void(std::uint64_t)>& during = {}, int everyMs = 20)
    {
        std::string chunk;
        while (chunk.size() < 64 * 1024)
            chunk += pattern;
        chunk.resize(64 * 1024 - (64 * 1024) % pattern.size());
        const auto start = SteadyClock::now();
        const auto deadline = start + std::chrono::milliseconds(ms);
        auto nextCall = start;
        std::uint64_t sent = 0;
        std::size_t offset = 0; // where in `chunk` the next write starts
        while (sent < total && connected()) {
            const auto now = SteadyClock::now();
            if (now >= deadline)
                break;
            if (during && now >= nextCall) {
                during(sent);
                nextCall = now + std::chrono::milliseconds(everyMs);
            }
            const std::size_t want = static_cast<std::size_t>(
                std::min<std::uint64_t>(chunk.size() - offset, total - sent));
            const ssize_t n = ::send(fd_, chunk.data() + offset, want, MSG_NOSIGNAL);
            if (n > 0) {
                sent += static_cast<std::uint64_t>(n);
                offset = (offset + static_cast<std::size_t>(n)) % chunk.size();
                pump(false, 0);
            } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                break;
            } else {
                pump(true, std::min(everyMs, remainingMs(deadline)));
            }
        }
        if (during)
            during(sent);
        return sent;
    }

    // Sends `bytes` one at a time, one every `everyMs`, collecting what arrives meanwhile.
    // Returns the longest gap between two bytes actually sent, in ms (a loaded machine can stretch
    // the drip), or a negative value when sending failed.
    double drip(std::string_view bytes, int everyMs)
    {
        double longestGap = 0;
        auto due = SteadyClock::now();
        SteadyClock::time_point last {};
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            for (auto now = SteadyClock::now(); now < due; now = SteadyClock::now())
                pump(false, remainingMs(due));
            if (!send(bytes.substr(i, 1), 1000))
                return -1;
            const auto now = SteadyClock::now();
            if (i > 0)
                longestGap = std::max(longestGap, msBetween(last, now));
            last = now;
            lastSent = now;
            due += std::chrono::milliseconds(everyMs);
        }
        return longestGap;
    }

    // Called with every piece of data as it arrives, before it is collected.
    std::function<void(SteadyClock::time_point, const char*, std::size_t)> onData;
    // When the first byte not yet taken arrived, and when the last byte was sent by drip().
    SteadyClock::time_point firstArrival {};
    SteadyClock::time_point lastSent {};

private:
    static int remainingMs(SteadyClock::time_point deadline)
    {
        const auto left
            = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
        return static_cast<int>(std::clamp<std::int64_t>(left.count() + 1, 0, 60'000));
    }

    void connectTo(quint16 port, int ms)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd_ < 0)
            return;
        const int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
            return;
        if (errno == EINPROGRESS) {
            pollfd p { fd_, POLLOUT, 0 };
            int error = 0;
            socklen_t length = sizeof error;
            if (::poll(&p, 1, ms) == 1
                && ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0)
                return;
        }
        close();
    }

    void readAvailable()
    {
        char buffer[64 * 1024];
        for (;;) {
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n > 0) {
                const auto now = SteadyClock::now();
                if (got_.isEmpty())
                    firstArrival = now;
                if (onData)
                    onData(now, buffer, static_cast<std::size_t>(n));
                got_.append(buffer, static_cast<qsizetype>(n));
                continue;
            }
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
                peerClosed_ = true;
            if (n == 0 || errno != EINTR)
                return;
        }
    }

    int fd_ = -1;
    bool peerClosed_ = false;
    QByteArray got_;
};

// --- the process seen from /proc ----------------------------------------------------------------

// A "Vm…" field of /proc/PID/status in KiB (VmRSS: resident now, VmHWM: resident at its peak);
// -1 when it cannot be read.
inline long procStatusKb(qint64 pid, const char* field)
{
    const std::string path = "/proc/" + std::to_string(pid) + "/status";
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr)
        return -1;
    long value = -1;
    char line[256];
    const std::size_t length = std::strlen(field);
    while (std::fgets(line, sizeof line, file) != nullptr) {
        if (std::strncmp(line, field, length) == 0 && line[length] == ':') {
            value = std::strtol(line + length + 1, nullptr, 10);
            break;
        }
    }
    std::fclose(file);
    return value;
}
inline long residentKb(qint64 pid)
{
    return procStatusKb(pid, "VmRSS");
}
inline long peakResidentKb(qint64 pid)
{
    return procStatusKb(pid, "VmHWM");
}

// Open file descriptors of the process; -1 when they cannot be listed.
inline int openDescriptors(qint64 pid)
{
    const std::string path = "/proc/" + std::to_string(pid) + "/fd";
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr)
        return -1;
    int count = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.')
            ++count;
    }
    ::closedir(dir);
    return count;
}

// CPU time the process has used (user + system), in seconds; negative when it cannot be read.
inline double cpuSeconds(qint64 pid)
{
    const std::string path = "/proc/" + std::to_string(pid) + "/stat";
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr)
        return -1;
    char line[1024];
    const bool read = std::fgets(line, sizeof line, file) != nullptr;
    std::fclose(file);
    if (!read)
        return -1;
    // The command name may hold blanks and parentheses; the fields start after the last ')'.
    const char* rest = std::strrchr(line, ')');
    if (rest == nullptr)
        return -1;
    unsigned long long utime = 0;
    unsigned long long stime = 0;
    // Fields 3-13 skipped, then utime (14) and stime (15).
    if (std::sscanf(rest + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime,
                    &stime)
        != 2)
        return -1;
    return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

} // namespace ostrella::harness
