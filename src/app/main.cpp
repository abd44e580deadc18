// SPDX-License-Identifier: MIT
// Ostrella: the paging-line simulator. Usage: ostrella [--console] [--fault NAME]...
// [--send-disconnect] [--modem classic|hayes] [--terminal classic|tap18] [PORT] (see usageText()
// for every option). With no display it runs in console mode.
#include "app/ConsoleFrontEnd.h"
#include "app/ControlApi.h"
#include "app/Faults.h"
#include "app/ProgramOptions.h"
#include "app/RecordFile.h"
#include "app/SignalWatcher.h"
#include "app/Version.h"
#include "app/frmHarnwick.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace ostrella;

// True when a window can be shown: a display, or a Qt platform chosen explicitly.
bool displayAvailable()
{
    for (const char* name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" }) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0')
            return true;
    }
    return false;
}

// Whether a window can be opened here, tried in a child process: Qt ends a process whose platform
// (display) cannot start. Empty when it can; else why not, in Qt's own words where it said any.
std::string windowUnavailableReason(int argc, char* argv[])
{
    constexpr int ProbeMs = 10'000;
    std::fflush(stdout);
    std::fflush(stderr);
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return std::string();
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return std::string();
    }
    if (child == 0) {
        ::dup2(pipeFds[1], STDERR_FILENO);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        QGuiApplication probe(argc, argv);
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string said;
    char buf[512];
    pollfd p { pipeFds[0], POLLIN, 0 };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ProbeMs);
    while (std::chrono::steady_clock::now() < deadline && ::poll(&p, 1, 100) >= 0) {
        if ((p.revents & (POLLIN | POLLHUP)) == 0)
            continue;
        const ssize_t n = ::read(pipeFds[0], buf, sizeof buf);
        if (n <= 0)
            break;
        said.append(buf, static_cast<std::size_t>(n));
    }
    ::close(pipeFds[0]);
    int status = 0;
    if (::waitpid(child, &status, WNOHANG) == 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        return "the display did not answer within 10 s";
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return std::string();
    // Qt's first line names the cause ("could not connect to display :97").
    const std::string first = said.substr(0, said.find('\n'));
    return first.empty() ? std::string("the window system could not be started") : first;
}

// The plan and the modem from the command line and the record file, if any, for `sim`.
void applyOptions(Simulator& sim, const ProgramOptions& options, RecordFile* records)
{
    sim.plan() = options.plan;
    sim.setTerminal(options.terminal);
    sim.setTap18Settings(options.tap18);
    sim.setModemProfile(options.modem);
    if (records != nullptr) {
        records->setReport([&sim](const std::string& text) { sim.logSystem(text); });
        sim.addRecordSink(records);
    }
}

// The control API, when --api asks for it, over the view's fault boxes and plan; false (the reason
// on standard error) when it cannot listen.
bool startApi(std::unique_ptr<ControlApi>& api, Simulator& sim, const ProgramOptions& options,
              ControlApi::Hooks hooks)
{
    if (options.apiPort < 0)
        return true;
    api = std::make_unique<ControlApi>(sim, std::move(hooks));
    if (const std::string why = api->listen(options.apiBind, options.apiPort); !why.empty()) {
        std::fprintf(stderr, "ostrella: cannot serve the control API on %s port %d: %s\n",
                     options.apiBind.c_str(), options.apiPort, why.c_str());
        return false;
    }
    return true;
}

int runConsole(int argc, char* argv[], const ProgramOptions& options, RecordFile* records)
{
    QCoreApplication app(argc, argv);
    ConsolePanel panel;
    for (Box box : options.faults)
        panel.set(box, true);
    panel.set(Box::chkDisconnect, options.sendDisconnect);

    ConsoleFrontEnd frontEnd(panel, options.lines);
    applyOptions(frontEnd.host().sim(), options, records);
    if (!frontEnd.start(options.portArgument))
        return 1;
    Simulator& sim = frontEnd.host().sim();
    std::unique_ptr<ControlApi> api;
    if (!startApi(api, sim, options, frontEnd.apiHooks())) {
        sim.FlushAll();
        return 1;
    }
    SignalWatcher watcher;
    QObject::connect(&watcher, &SignalWatcher::terminationRequested, &frontEnd,
                     &ConsoleFrontEnd::requestShutdown);
    QObject::connect(&watcher, &SignalWatcher::signalIgnored, &frontEnd, [&](const QString& name) {
        frontEnd.host().sim().logSystem("Event: " + name.toStdString() + " ignored");
    });
    return QCoreApplication::exec();
}

int runWindow(int argc, char* argv[], const ProgramOptions& options, RecordFile* records)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ostrella"));

    frmHarnwick window(frmHarnwick::Options { options.portArgument, true, options.lines });
    for (Box box : options.faults)
        window.tickBox(box, true);
    window.tickBox(Box::chkDisconnect, options.sendDisconnect);
    applyOptions(window.sim(), options, records);
    window.showTerminal();
    window.showModem();
    // The plan as the Plan box shows it (the texts were checked with the options).
    (void)window.applyPlan(PlanTexts { options.dialPlanText, options.blockPlanText,
                                       options.numbersText, options.pagersText });
    window.show();
    if (!window.started())
        std::fprintf(stderr, "ostrella: %s\n", qPrintable(window.startupError()));
    std::unique_ptr<ControlApi> api;
    if (window.started() && !startApi(api, window.sim(), options, window.apiHooks()))
        return 1;

    // A signal ends the program as the window's close would.
    SignalWatcher watcher;
    QObject::connect(&watcher, &SignalWatcher::terminationRequested, &window,
                     &frmHarnwick::mnuExit_Click);
    QObject::connect(&watcher, &SignalWatcher::signalIgnored, &window, [&](const QString& name) {
        window.sim().logSystem("Event: " + name.toStdString() + " ignored");
    });
    const int status = QApplication::exec();
    return window.started() ? status : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    const ProgramOptions options
        = parseProgramOptions(std::vector<std::string>(argv + std::min(argc, 1), argv + argc));
    if (!options.error.empty()) {
        std::fprintf(stderr, "ostrella: %s\n%s", options.error.c_str(), usageText().c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(usageText().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        const Version v = programVersion();
        std::printf("ostrella %d.%d.%d\n", v.major, v.minor, v.revision);
        return 0;
    }
    if (!options.portArgument.empty()
        && ListenPortFromArgument(options.portArgument) != options.portArgument)
        std::fprintf(stderr, "ostrella: '%s' is not a port number, using 9001\n",
                     options.portArgument.c_str());

    // Opened before anything runs: a record file that cannot be written is a start-up error.
    RecordFile recordFile;
    RecordFile* records = nullptr;
    if (!options.recordFile.empty()) {
        if (const std::string why = recordFile.open(options.recordFile); !why.empty()) {
            std::fprintf(stderr, "ostrella: cannot open the record file '%s': %s\n",
                         options.recordFile.c_str(), why.c_str());
            return 2;
        }
        records = &recordFile;
    }

    if (options.lines > 1) {
        // A descriptor for each line's caller: as many as the system lets the program have.
        rlimit files {};
        if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
            files.rlim_cur = files.rlim_max;
            (void)::setrlimit(RLIMIT_NOFILE, &files);
        }
    }
    if (options.console)
        return runConsole(argc, argv, options, records);
    if (!displayAvailable()) {
        std::fprintf(stderr, "ostrella: no display available, running in console mode\n");
        return runConsole(argc, argv, options, records);
    }
    if (const std::string why = windowUnavailableReason(argc, argv); !why.empty()) {
        std::fprintf(stderr,
                     "ostrella: the window cannot be opened (%s), running in console mode\n",
                     why.c_str());
        return runConsole(argc, argv, options, records);
    }
    return runWindow(argc, argv, options, records);
}
