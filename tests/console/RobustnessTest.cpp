// SPDX-License-Identifier: MIT
// Console mode under the conditions of unattended runs that used to stall or end it: a background
// job on a terminal, a reader that never reads or goes away, a display that cannot be used,
// stray signals, exhausted descriptors and over-long commands. After each, a fresh client still
// gets a whole call.
#include "ConsoleSupport.h"
#include "support/ProcessAssertions.h"
#include "support/ProcessHarness.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <pty.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace ostrella::harness;

// A PET block with its checksum ("17;").

// A whole call on `port`: AT, dial, logon, one block, EOT.
void wholeCall(quint16 port)
{
    LineClient client(port);
    ASSERT_TRUE(client.connected()) << "port " << port;
    ASSERT_TRUE(client.send("AT\r"));
    ASSERT_EQ(client.receive("OK\r\n", 3'000), QByteArray("OK\r\n"));
    ASSERT_NO_FATAL_FAILURE(dialsAndLogsOn(client));
    ASSERT_TRUE(client.send(Block));
    ASSERT_EQ(client.receive("\x06\r", 3'000), QByteArray("\x06\r"));
    ASSERT_TRUE(client.send("\x04\r"));
    EXPECT_EQ(client.quietFor(700), QByteArray()) << "EOT gets no answer";
}

// Whole calls on several ports at once.
void wholeCalls(const std::vector<quint16>& ports)
{
    std::vector<std::thread> calls;
    for (quint16 port : ports)
        calls.emplace_back([port] { wholeCall(port); });
    for (std::thread& call : calls)
        call.join();
}

std::string fileText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

// The program's state letter in /proc ('T' when stopped); '?' when it cannot be read.
char processState(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return '?';
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return close >= 0 && close + 2 < text.size() ? text[close + 2] : '?';
}

// The program spawned with standard streams of the test's choosing, for what QProcess cannot set
// up: a controlling terminal, a pipe that nobody reads.
class Spawned {
public:
    ~Spawned()
    {
        for (pid_t p : { pid, leader }) {
            if (p > 0) {
                ::kill(p, SIGKILL);
                ::waitpid(p, nullptr, 0);
            }
        }
    }

    // Starts `args` with nothing on standard input and the given descriptors as standard output
    // and error, and waits until it listens. Its port, or 0 when it does not come to listen.
    quint16 start(const QStringList& args, int out, int err)
    {
        const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        std::vector<std::string> words { programPath().toStdString() };
        for (const QString& a : args)
            words.push_back(a.toStdString());
        pid = ::fork();
        if (pid == 0)
            exec(words, in, out, err);
        ::close(in);
        return waitForListening();
    }

    // Starts `args` as a background job of a new session whose controlling terminal is
    // `terminal`: a session leader holds the foreground, the program runs in a group of its own.
    void startInBackground(const QStringList& args, int terminal, int out, int err)
    {
        std::vector<std::string> words { programPath().toStdString() };
        for (const QString& a : args)
            words.push_back(a.toStdString());
        int pidPipe[2];
        ASSERT_EQ(::pipe2(pidPipe, O_CLOEXEC), 0);
        leader = ::fork();
        if (leader == 0) {
            ::setsid();
            ::ioctl(terminal, TIOCSCTTY, 0);
            const pid_t job = ::fork();
            if (job == 0) {
                ::setpgid(0, 0);
                exec(words, terminal, out, err);
            }
            [[maybe_unused]] const ssize_t n = ::write(pidPipe[1], &job, sizeof job);
            ::waitpid(job, nullptr, 0);
            ::_exit(0);
        }
        ::close(pidPipe[1]);
        ASSERT_EQ(::read(pidPipe[0], &pid, sizeof pid), static_cast<ssize_t>(sizeof pid));
        ::close(pidPipe[0]);
    }

    // Waits up to `ms` for the program to name its listening socket; its port, or 0.
    quint16 waitForListening(int ms = 10'000) const
    {
        QDeadlineTimer deadline(ms);
        while (!deadline.hasExpired()) {
            const std::vector<quint16> ports = listeningPorts(pid);
            if (!ports.empty())
                return ports.front();
            ::usleep(10'000);
        }
        return 0;
    }

    pid_t pid = -1;
    pid_t leader = -1;

private:
    [[noreturn]] static void exec(const std::vector<std::string>& words, int in, int out, int err)
    {
        ::dup2(in, STDIN_FILENO);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        std::vector<char*> argv;
        for (const std::string& w : words)
            argv.push_back(const_cast<char*>(w.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
};

struct Files {
    QTemporaryDir dir;
    QString outPath = dir.filePath(QStringLiteral("out.txt"));
    QString errPath = dir.filePath(QStringLiteral("err.txt"));
    int out
        = ::open(outPath.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    int err
        = ::open(errPath.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ~Files()
    {
        ::close(out);
        ::close(err);
    }
};

// The program runs under the sanitizers.
bool sanitized(pid_t pid)
{
    return fileText(QStringLiteral("/proc/%1/maps").arg(pid)).find("libasan") != std::string::npos;
}

// The lowest descriptor number `pid` has free.
int lowestFreeDescriptor(pid_t pid)
{
    int lowestFree = 0;
    while (QFile::exists(QStringLiteral("/proc/%1/fd/%2").arg(pid).arg(lowestFree)))
        ++lowestFree;
    return lowestFree;
}

// Limits `pid` to the descriptors it has and `room` more: the lowest free descriptor numbers.
// The limit, or -1 when it cannot be set.
int leaveRoomFor(pid_t pid, int room)
{
    const int most = lowestFreeDescriptor(pid) + room;
    const rlimit limit { static_cast<rlim_t>(most), static_cast<rlim_t>(most) };
    return ::prlimit(pid, RLIMIT_NOFILE, &limit, nullptr) == 0 ? most : -1;
}

} // namespace

// Started as `ostrella --console 0 &` from an interactive shell: typing in that shell neither
// stops the program nor reaches it.
TEST(ConsoleRobustness, ABackgroundJobOnATerminalNeitherStopsNorReadsIt)
{
    int master = -1;
    int terminal = -1;
    ASSERT_EQ(::openpty(&master, &terminal, nullptr, nullptr, nullptr), 0);
    Files files;
    Spawned program;
    ASSERT_NO_FATAL_FAILURE(program.startInBackground(console(), terminal, files.out, files.err));
    const quint16 port = program.waitForListening();
    ASSERT_NE(port, 0) << fileText(files.errPath);

    // The user types in the shell: a command the program would carry out if it read it.
    const char typed[] = "fault nak on\n";
    ASSERT_EQ(::write(master, typed, sizeof typed - 1), static_cast<ssize_t>(sizeof typed - 1));
    ::usleep(300'000);
    EXPECT_NE(processState(program.pid), 'T') << "stopped by reading the terminal";
    wholeCall(port); // an ACK, not the NAK the typed line asked for
    EXPECT_NE(processState(program.pid), 'T');
    const std::string err = fileText(files.errPath);
    EXPECT_NE(err.find("running in the background"), std::string::npos) << err;
    EXPECT_EQ(fileText(files.outPath).find("ok: fault nak on"), std::string::npos);
    ::close(master);
    ::close(terminal);
}

// Output into a pipe that nobody reads (a paused terminal, `| less`): the log fills the pipe,
// and the line is answered all the same.
TEST(ConsoleRobustness, AReaderThatNeverReadsDoesNotHoldUpTheLine)
{
    int pipeFds[2];
    ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
    Files files;
    Spawned program;
    const quint16 port = program.start(console(), pipeFds[1], files.err);
    ASSERT_NE(port, 0) << fileText(files.errPath);

    // Far more log than a pipe holds (64 KiB): every received piece is logged whole. The modem
    // empties its full accumulator on its next tick, and then answers the AT.
    LineClient flooder(port);
    ASSERT_TRUE(flooder.send(std::string(400 * 1024, 'x')));
    QByteArray answer;
    for (int i = 0; i < 4 && answer.isEmpty(); ++i) {
        ASSERT_TRUE(flooder.send("AT\r"));
        answer = flooder.receive("OK\r\n", 1'000);
    }
    EXPECT_TRUE(answer.startsWith("OK\r\n")) << answer.toStdString();
    flooder.close();
    wholeCall(port);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
}

// `ostrella --console 0 | head -2`: the reader goes away after two lines; the output ends with
// one line on standard error, the simulator goes on.
TEST(ConsoleRobustness, AReaderThatGoesAwayEndsTheOutputNotTheSimulator)
{
    int pipeFds[2];
    ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
    Files files;
    Spawned program;
    const quint16 port = program.start(console(), pipeFds[1], files.err);
    ::close(pipeFds[1]);
    ASSERT_NE(port, 0) << fileText(files.errPath);
    char buf[256];
    ASSERT_GT(::read(pipeFds[0], buf, sizeof buf), 0);
    ::close(pipeFds[0]);

    wholeCall(port);
    EXPECT_NE(processState(program.pid), 'Z') << "the program died";
    const std::string err = fileText(files.errPath);
    EXPECT_NE(err.find("standard output closed by its reader"), std::string::npos) << err;
    EXPECT_EQ(err.find("closed by its reader"), err.rfind("closed by its reader")) << "said once";
}

// No usable display, whatever the reason: the program says why and runs in console mode.
TEST(ConsoleRobustness, AWindowThatCannotOpenFallsBackToConsoleMode)
{
    struct Case {
        const char* name;
        const char* variable;
        const char* value;
    };
    const Case cases[] = {
        { "no X server on the display", "DISPLAY", ":97" },
        { "a platform that does not exist", "QT_QPA_PLATFORM", "bogus" },
    };
    std::vector<std::unique_ptr<Program>> programs;
    std::vector<quint16> ports;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" })
            env.remove(QLatin1String(name));
        env.insert(QLatin1String(c.variable), QLatin1String(c.value));
        auto& program = programs.emplace_back(
            std::make_unique<Program>(QStringList { QStringLiteral("0") }, env));
        ASSERT_TRUE(listens(*program));
        program->readAll();
        EXPECT_TRUE(program->err_.contains("the window cannot be opened")) << program->report();
        EXPECT_TRUE(program->err_.contains("running in console mode")) << program->report();
        ports.push_back(program->port());
    }
    wholeCalls(ports);
}

// SIGUSR1, SIGUSR2 and SIGALRM are sent by mistake and ignored; SIGHUP (the terminal closing)
// ends the program as SIGTERM does, every line written.
TEST(ConsoleRobustness, StraySignalsAreIgnoredAndHangUpEndsCleanly)
{
    Program program(console(), QProcessEnvironment::systemEnvironment(), Program::Output::File);
    ASSERT_TRUE(listens(program));
    for (int signalNumber : { SIGUSR1, SIGUSR2, SIGALRM })
        ::kill(static_cast<pid_t>(program.pid()), signalNumber);
    EXPECT_TRUE(program.waitForOutput("Event: SIGALRM ignored")) << program.report();
    EXPECT_TRUE(program.out_.contains("Event: SIGUSR1 ignored"));
    EXPECT_TRUE(program.out_.contains("Event: SIGUSR2 ignored"));
    wholeCall(program.port());

    ::kill(static_cast<pid_t>(program.pid()), SIGHUP);
    ASSERT_TRUE(program.finish(5'000)) << program.report();
    EXPECT_EQ(program.process_.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.process_.exitCode(), 0);
    EXPECT_TRUE(program.out_.contains("PET ")) << "the call's lines were written";
}

// Under a descriptor limit that leaves room for one caller, an accept fails; it is said once and
// retried, and callers are served again as soon as descriptors are free.
TEST(ConsoleRobustness, AFailedAcceptIsSaidAndRetriedUntilDescriptorsAreFree)
{
    Files files;
    Spawned program;
    const quint16 port = program.start(console(), files.out, files.err);
    ASSERT_NE(port, 0) << fileText(files.errPath);
    if (sanitized(program.pid))
        GTEST_SKIP() << "the sanitizers' own checks need descriptors the limit would deny them";
    // Room for one caller.
    const int idleDescriptors = openDescriptors(program.pid);
    ASSERT_GT(leaveRoomFor(program.pid, 1), 0);
    const auto saidFailure = [&] {
        return fileText(files.outPath).find("Event: ERROR Accept failed") != std::string::npos;
    };
    {
        // Each caller replaced by the next keeps its descriptor for a grace period: enough of
        // them exhaust the limit.
        std::vector<std::unique_ptr<LineClient>> callers;
        QDeadlineTimer deadline(5'000);
        while (!saidFailure() && !deadline.hasExpired()) {
            callers.push_back(std::make_unique<LineClient>(port));
            ::usleep(20'000);
        }
        EXPECT_TRUE(saidFailure()) << fileText(files.outPath);
    }
    // The callers waiting in the listen queue are taken (and let go) first, one descriptor at a
    // time; then the line is free for the next one.
    QDeadlineTimer deadline(30'000);
    while (openDescriptors(program.pid) > idleDescriptors && !deadline.hasExpired())
        ::usleep(50'000);
    ASSERT_LE(openDescriptors(program.pid), idleDescriptors) << fileText(files.outPath);
    wholeCall(port);
    EXPECT_NE(processState(program.pid), 'Z');
}

// The control API's accept fails while callers hold every descriptor, after both listeners have
// served (and so seen their queue run empty): each failure is said, accepting waits rather than
// spinning, and the API answers again within a second once descriptors are free.
TEST(ConsoleRobustness, TheApiAnswersAgainOnceAFailedAcceptFindsADescriptor)
{
    Files files;
    Spawned program;
    ASSERT_NE(program.start(console({ QStringLiteral("--lines"), QStringLiteral("50"),
                                      QStringLiteral("--api"), QStringLiteral("0") }),
                            files.out, files.err),
              0);
    const auto portNamed = [&](const std::string& label) -> quint16 {
        QDeadlineTimer deadline(10'000);
        while (!deadline.hasExpired()) {
            const std::string out = fileText(files.outPath);
            if (const auto at = out.find(label); at != std::string::npos)
                return static_cast<quint16>(std::atoi(out.c_str() + at + label.size()));
            ::usleep(10'000);
        }
        return 0;
    };
    const quint16 port = portNamed("Local Port <");
    const quint16 api = portNamed("API Port <");
    ASSERT_NE(api, 0) << fileText(files.outPath);
    if (sanitized(program.pid))
        GTEST_SKIP() << "the sanitizers' own checks need descriptors the limit would deny them";
    wholeCall(port);
    ASSERT_EQ(http(api, "GET", "/api/v1/status").status, 200);
    const int idleDescriptors = openDescriptors(program.pid);
    const int limit = leaveRoomFor(program.pid, 4);
    ASSERT_GT(limit, 0);
    const auto said = [&](const char* text) {
        QDeadlineTimer deadline(5'000);
        while (fileText(files.outPath).find(text) == std::string::npos && !deadline.hasExpired())
            ::usleep(10'000);
        return fileText(files.outPath).find(text) != std::string::npos;
    };
    {
        // Callers until every descriptor is taken.
        std::vector<std::unique_ptr<LineClient>> callers;
        QDeadlineTimer filling(10'000);
        while (lowestFreeDescriptor(program.pid) < limit && callers.size() < 40
               && !filling.hasExpired()) {
            callers.push_back(std::make_unique<LineClient>(port));
            ::usleep(20'000);
        }
        ASSERT_GE(lowestFreeDescriptor(program.pid), limit) << fileText(files.outPath);
        // The API's first accept meets the limit.
        LineClient waiting(api);
        EXPECT_TRUE(said("Event: ERROR API accept failed: Out of resources, retrying"))
            << fileText(files.outPath);
        EXPECT_TRUE(said("Event: ERROR Accept failed: Out of resources, retrying"));
        EXPECT_EQ(http(api, "GET", "/api/v1/status", {}, 1'000).status, 0);
        // Both listeners have callers waiting that cannot be taken: retried, not spun on.
        const double before = cpuSeconds(program.pid);
        ::usleep(1'000'000);
        EXPECT_LT(cpuSeconds(program.pid) - before, 0.3) << "of a second, accepting";
    }
    QDeadlineTimer deadline(10'000);
    while (openDescriptors(program.pid) > idleDescriptors && !deadline.hasExpired())
        ::usleep(20'000);
    EXPECT_EQ(http(api, "GET", "/api/v1/status", {}, 1'500).status, 200) << fileText(files.outPath);
}

// A command line longer than a command can be is refused whole, not carried out on its first
// part.
TEST(ConsoleRobustness, AnOverlongCommandIsRefusedWhole)
{
    Program program(console());
    ASSERT_TRUE(listens(program));
    program.say("fault nak on" + QByteArray(1100, ' ') + "off");
    EXPECT_TRUE(program.waitForOutput("error: command longer than 1024 bytes, ignored"))
        << program.report();
    program.say("faults");
    EXPECT_TRUE(program.waitForOutput("nak=off")) << program.report();
    program.say("fault rej on");
    EXPECT_TRUE(program.waitForOutput("ok: fault rej on")) << "the next command is read as usual";
}
