// SPDX-License-Identifier: MIT
#include "support/ProcessHarness.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <set>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

#ifndef OSTRELLA_BINARY
#error "OSTRELLA_BINARY must name the program under test"
#endif

namespace ostrella::harness {

namespace {

// Milliseconds left until `deadline`, rounded up, within 0..60,000.
int remainingMs(SteadyClock::time_point deadline)
{
    const auto left
        = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
    return static_cast<int>(std::clamp<std::int64_t>(left.count() + 1, 0, 60'000));
}

// The whole of a (/proc) file; empty when it cannot be read.
QByteArray fileText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

QString programPath()
{
    const QString chosen = qEnvironmentVariable("OSTRELLA_PROGRAM");
    return chosen.isEmpty() ? QStringLiteral(OSTRELLA_BINARY) : chosen;
}

QStringList console(const QStringList& more)
{
    return QStringList { QStringLiteral("--console") } + more + QStringList { QStringLiteral("0") };
}

std::optional<quint16> portInOutput(const QByteArray& output, const QByteArray& marker)
{
    const qsizetype at = output.indexOf(marker);
    if (at < 0)
        return std::nullopt;
    const qsizetype from = at + marker.size();
    const qsizetype end = output.indexOf('>', from);
    if (end < 0)
        return std::nullopt;
    const QByteArray digits = output.mid(from, end - from);
    const bool allDigits = !digits.isEmpty() && digits.size() <= 5
        && std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!allDigits)
        return std::nullopt;
    const int port = digits.toInt();
    if (port > 65535)
        return std::nullopt;
    return static_cast<quint16>(port);
}

// --- Program -------------------------------------------------------------------------------------

Program::Program(QStringList args, QProcessEnvironment env, Output output)
    : args_(std::move(args))
    , output_(output)
{
    process_.setProcessEnvironment(env);
    if (output_ == Output::File) {
        outPath_ = dir_.filePath(QStringLiteral("stdout.txt"));
        process_.setStandardOutputFile(outPath_);
    }
    process_.start(programPath(), args_);
    process_.waitForStarted(5000);
}

Program::~Program()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

quint16 Program::waitForPort(int ms)
{
    port_ = waitForNamedPort("Local Port <", ms);
    return port_;
}

quint16 Program::waitForApiPort(int ms)
{
    return waitForNamedPort("API Port <", ms);
}

quint16 Program::waitForNamedPort(const QByteArray& marker, int ms)
{
    QDeadlineTimer deadline(ms);
    for (;;) {
        if (const std::optional<quint16> named = portInOutput(readAll(), marker))
            return *named;
        if (deadline.hasExpired() || process_.state() == QProcess::NotRunning) {
            // What the program wrote just before it ended or the time ran out still counts.
            return portInOutput(readAll(), marker).value_or(0);
        }
        const int step = static_cast<int>(std::max<qint64>(1, deadline.remainingTime()));
        if (output_ == Output::File)
            process_.waitForFinished(std::min(step, 10));
        else
            process_.waitForReadyRead(step);
    }
}

quint16 Program::waitForListeningSocket(int ms)
{
    QDeadlineTimer deadline(ms);
    for (;;) {
        const std::vector<quint16> ports
            = running() ? listeningPorts(pid()) : std::vector<quint16>();
        if (!ports.empty()) {
            port_ = ports.front();
            return port_;
        }
        if (deadline.hasExpired() || !running())
            return 0;
        process_.waitForFinished(
            static_cast<int>(std::clamp<qint64>(deadline.remainingTime(), 1, 10)));
    }
}

bool Program::waitForOutput(const QByteArray& text, int ms)
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

const QByteArray& Program::readAll()
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

bool Program::finish(int ms)
{
    const bool done = process_.waitForFinished(ms);
    readAll();
    return done;
}

bool Program::terminate(int ms)
{
    if (process_.state() == QProcess::NotRunning)
        return false;
    ::kill(static_cast<pid_t>(pid()), SIGTERM);
    return finish(ms) && process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0;
}

std::string Program::report()
{
    readAll();
    std::string text = "program: " + programPath().toStdString() + " "
        + args_.join(QLatin1Char(' ')).toStdString() + "\n";
    if (process_.state() == QProcess::Running)
        text += "running, pid " + std::to_string(pid()) + "\n";
    else if (process_.error() == QProcess::FailedToStart)
        text += "did not start: " + process_.errorString().toStdString() + "\n";
    else if (process_.state() == QProcess::Starting)
        text += "still starting\n";
    else if (process_.exitStatus() == QProcess::CrashExit)
        text += "ended by a signal or a crash\n";
    else
        text += "ended with status " + std::to_string(process_.exitCode()) + "\n";
    text += "--- standard output ---\n" + out_.toStdString();
    text += "--- standard error ---\n" + err_.toStdString();
    return text;
}

// --- LineClient ----------------------------------------------------------------------------------

void LineClient::close(bool reset)
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

bool LineClient::send(std::string_view bytes, int ms)
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

QByteArray LineClient::receive(const QByteArray& expected, int ms)
{
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(ms);
    while (!got_.contains(expected) && SteadyClock::now() < deadline && connected())
        pump(false, remainingMs(deadline));
    return take();
}

QByteArray LineClient::take()
{
    QByteArray out = got_;
    got_.clear();
    return out;
}

bool LineClient::pump(bool wantWrite, int ms)
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

std::uint64_t LineClient::flood(std::string_view pattern, std::uint64_t total, int ms,
                                const std::function<void(std::uint64_t)>& during, int everyMs)
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

double LineClient::drip(std::string_view bytes, int everyMs)
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

void LineClient::connectTo(quint16 port, int ms)
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
        if (::poll(&p, 1, ms) == 1 && ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) == 0
            && error == 0)
            return;
    }
    close();
}

void LineClient::readAvailable()
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

// --- the process seen from /proc ----------------------------------------------------------------

long procStatusKb(qint64 pid, const char* field)
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

int openDescriptors(qint64 pid)
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

double cpuSeconds(qint64 pid)
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

std::vector<quint16> listeningPorts(qint64 pid)
{
    // The process's sockets by inode: its descriptors link to "socket:[INODE]".
    const QString proc = QStringLiteral("/proc/%1").arg(pid);
    std::set<QByteArray> inodes;
    const QStringList descriptors = QDir(proc + QStringLiteral("/fd")).entryList(QDir::Files);
    for (const QString& name : descriptors) {
        const QString target = QFileInfo(proc + QStringLiteral("/fd/") + name).symLinkTarget();
        const qsizetype open = target.indexOf(QStringLiteral("socket:["));
        if (open >= 0 && target.endsWith(QLatin1Char(']'))) {
            const qsizetype from = open + 8;
            inodes.insert(target.mid(from, target.size() - 1 - from).toLatin1());
        }
    }
    // Its network namespace's TCP sockets: "sl local rem st ... inode", the local address as
    // ADDRESS:PORT in hexadecimal, st 0A for a listening socket.
    std::vector<quint16> ports;
    for (const char* table : { "/net/tcp", "/net/tcp6" }) {
        const QList<QByteArray> lines = fileText(proc + QLatin1String(table)).split('\n');
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QList<QByteArray> fields = lines[i].simplified().split(' ');
            if (fields.size() < 10 || fields[3] != "0A" || inodes.count(fields[9]) == 0)
                continue;
            bool ok = false;
            const uint port = fields[1].mid(fields[1].lastIndexOf(':') + 1).toUInt(&ok, 16);
            if (ok && port <= 65535 && std::find(ports.begin(), ports.end(), port) == ports.end())
                ports.push_back(static_cast<quint16>(port));
        }
    }
    return ports;
}

// --- HTTP ----------------------------------------------------------------------------------------

bool sendHttp(LineClient& client, const QByteArray& method, const QByteArray& path,
              const QByteArray& body)
{
    QByteArray request = method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    if (!body.isEmpty() || method == "PUT" || method == "POST")
        request += "Content-Type: application/json\r\nContent-Length: "
            + QByteArray::number(body.size()) + "\r\n";
    request += "\r\n" + body;
    return client.send(request.toStdString());
}

HttpReply readHttp(LineClient& client, int ms)
{
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(ms);
    QByteArray got;
    qsizetype headEnd = -1;
    qsizetype length = -1;
    while (SteadyClock::now() < deadline) {
        got += client.take();
        if (headEnd < 0 && (headEnd = got.indexOf("\r\n\r\n")) >= 0) {
            for (const QByteArray& line : got.left(headEnd).split('\n')) {
                if (line.toLower().startsWith("content-length:"))
                    length = line.mid(15).trimmed().toLongLong();
            }
        }
        if (headEnd >= 0 && length >= 0 && got.size() >= headEnd + 4 + length) {
            HttpReply reply;
            reply.head = got.left(headEnd);
            reply.body = got.mid(headEnd + 4, length);
            const QList<QByteArray> statusLine = reply.head.split(' ');
            reply.status = statusLine.size() > 1 ? statusLine[1].toInt() : 0;
            client.putBack(got.mid(headEnd + 4 + length));
            return reply;
        }
        if (!client.connected() && client.pending().isEmpty())
            break;
        client.pump(false, remainingMs(deadline));
    }
    return HttpReply { 0, got, QByteArray() };
}

HttpReply http(quint16 port, const QByteArray& method, const QByteArray& path,
               const QByteArray& body, int ms)
{
    LineClient client(port, ms);
    if (!sendHttp(client, method, path, body))
        return HttpReply {};
    return readHttp(client, ms);
}

std::vector<QJsonObject> records(const QString& path)
{
    std::vector<QJsonObject> out;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (!line.isEmpty())
            out.push_back(QJsonDocument::fromJson(line).object());
    }
    return out;
}

} // namespace ostrella::harness
