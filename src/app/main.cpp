// SPDX-License-Identifier: MIT
// Ostrella: the paging-line simulator. Usage: ostrella [--console] [--fault NAME]...
// [--send-disconnect] [--modem classic|hayes] [--terminal classic|tap18] [--record FILE]
// [--junit FILE] [--fail-on error|warning|never] [--ignore RULE]... [PORT] (see usageText() for
// every option). With no display it runs in console mode. Exit status: 0 at a normal end, 1 when
// a port cannot be opened, 2 for a wrong option or a record file or report that cannot be
// written at start-up, 3 when console mode ends well but --fail-on was met or a case of the suite
// failed (--exit-after-suite).
#include "app/ConsoleFrontEnd.h"
#include "app/ControlApi.h"
#include "app/DisplayProbe.h"
#include "app/Faults.h"
#include "app/JunitReport.h"
#include "app/ProgramOptions.h"
#include "app/RecordFile.h"
#include "app/ReportFile.h"
#include "app/SignalWatcher.h"
#include "app/SuiteOutputs.h"
#include "app/Version.h"
#include "app/frmHarnwick.h"

#include <QApplication>
#include <QCoreApplication>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace ostrella;

// Where records go besides the view, each opened at start-up; nullptr for none. The calls kept
// with their timelines (for the HTML report, the window and the API) are always there.
struct RecordOutputs {
    RecordFile* records = nullptr;
    JunitReport* junit = nullptr;
    ReportFile* report = nullptr;
    CallTimelines* timelines = nullptr;
};

// The test suite of a run, when --suite asks for it, and where its verdicts go.
struct SuiteRun {
    std::unique_ptr<Suite> suite;
    std::unique_ptr<SuiteOutputs> outputs;
};

// The suite over `sim`, reporting to the outputs (and the console, if any), started after every
// other record sink so that the calls and timelines it reads of are kept first; the report is
// added last, so that it shows each verdict with the call that gave it.
SuiteRun startSuite(Simulator& sim, const Clock& clock, const ProgramOptions& options,
                    RecordOutputs outputs, ConsoleOutput* console,
                    std::function<void(bool failed)> finished)
{
    SuiteRun run;
    if (options.suite) {
        run.suite = std::make_unique<Suite>(sim, clock, options.suiteOptions);
        run.outputs = std::make_unique<SuiteOutputs>(SuiteOutputs::Targets {
            console, outputs.records, outputs.junit, outputs.report, std::move(finished) });
        run.suite->addListener(run.outputs.get());
        if (outputs.junit != nullptr) {
            outputs.junit->setSuite(run.suite.get());
            outputs.junit->suiteChanged();
        }
        if (outputs.report != nullptr)
            outputs.report->setSuite(run.suite.get());
        sim.logSystem("Event: the test suite plays " + std::to_string(run.suite->results().size())
                      + " cases, from " + run.suite->results().front().id);
    }
    if (outputs.report != nullptr) {
        outputs.report->setReport([&sim](const std::string& text) { sim.logSystem(text); });
        sim.addRecordSink(outputs.report);
        outputs.report->changed();
    }
    return run;
}

// The device lines and every line's wire, as the options set them.
HostLines hostLines(const ProgramOptions& options)
{
    HostLines lines;
    lines.ptys = options.ptys;
    lines.serials = options.serials;
    lines.serial.baud = options.baud;
    lines.serial.dataBits = options.framing.dataBits;
    lines.serial.parity = options.framing.parity == Parity::Even ? 'E'
        : options.framing.parity == Parity::Odd                  ? 'O'
                                                                 : 'N';
    lines.serial.flow = options.flow == SerialFlow::RtsCts ? 'H'
        : options.flow == SerialFlow::XonXoff              ? 'S'
                                                           : 'N';
    lines.framing = options.framing;
    lines.wire = options.wire;
    return lines;
}

// The plan, the profiles and the ignored rules from the command line, and the record file and
// report, if any, for `sim`.
void applyOptions(Simulator& sim, const ProgramOptions& options, RecordOutputs outputs)
{
    sim.plan() = options.plan;
    sim.setTerminal(options.terminal);
    sim.setTap18Settings(options.tap18);
    sim.setModemProfile(options.modem);
    sim.setIgnoredRules(options.ignoredRules);
    if (outputs.timelines != nullptr)
        sim.addRecordSink(outputs.timelines);
    const auto report = [&sim](const std::string& text) { sim.logSystem(text); };
    if (outputs.records != nullptr) {
        outputs.records->setReport(report);
        sim.addRecordSink(outputs.records);
    }
    if (outputs.junit != nullptr) {
        outputs.junit->setReport(report);
        sim.addRecordSink(outputs.junit);
    }
}

// The control API, when --api asks for it, over the view's fault boxes and plan, the suite (if
// any) and the kept calls; false (the reason on standard error) when it cannot listen.
bool startApi(std::unique_ptr<ControlApi>& api, Simulator& sim, const ProgramOptions& options,
              ControlApi::Hooks hooks, const SuiteRun& suite, const RecordOutputs& outputs)
{
    if (options.apiPort < 0)
        return true;
    api = std::make_unique<ControlApi>(sim, std::move(hooks));
    api->setSuite(suite.suite.get());
    api->setCallTimelines(outputs.timelines);
    if (const std::string why = api->listen(options.apiBind, options.apiPort); !why.empty()) {
        std::fprintf(stderr, "ostrella: cannot serve the control API on %s port %d: %s\n",
                     options.apiBind.c_str(), options.apiPort, why.c_str());
        return false;
    }
    if (!api->onLoopback())
        std::fprintf(stderr,
                     "ostrella: warning: the control API listens on %s port %d without "
                     "authentication: anyone who can reach that port can steer the simulator\n",
                     options.apiBind.c_str(), api->port());
    return true;
}

int runConsole(int argc, char* argv[], const ProgramOptions& options, RecordOutputs outputs)
{
    QCoreApplication app(argc, argv);
    ConsolePanel panel;
    for (Box box : options.faults)
        panel.set(box, true);
    panel.set(Box::chkDisconnect, options.sendDisconnect);

    ConsoleFrontEnd frontEnd(panel, options.lines, hostLines(options));
    // Watched before any port is opened and named: a signal sent as soon as one is named still
    // ends the program through its shut-down (it is handled once the event loop runs).
    SignalWatcher watcher;
    QObject::connect(&watcher, &SignalWatcher::terminationRequested, &frontEnd,
                     &ConsoleFrontEnd::requestShutdown);
    QObject::connect(&watcher, &SignalWatcher::signalIgnored, &frontEnd, [&](const QString& name) {
        frontEnd.host().sim().logSystem("Event: " + name.toStdString() + " ignored");
    });
    applyOptions(frontEnd.host().sim(), options, outputs);
    if (!frontEnd.start(options.portArgument))
        return 1;
    Simulator& sim = frontEnd.host().sim();
    bool suiteFailed = false;
    const SuiteRun suite = startSuite(sim, frontEnd.host().clock(), options, outputs,
                                      &frontEnd.output(), [&](bool failed) {
                                          suiteFailed = failed;
                                          if (options.exitAfterSuite)
                                              frontEnd.requestShutdown();
                                      });
    std::unique_ptr<ControlApi> api;
    if (!startApi(api, sim, options, frontEnd.apiHooks(), suite, outputs)) {
        sim.FlushAll();
        return 1;
    }
    const int status = QCoreApplication::exec();
    // The calls the shut-down ended are in the reports too.
    if (outputs.junit != nullptr)
        outputs.junit->flush();
    if (outputs.report != nullptr)
        outputs.report->flush();
    if (status == 0 && failOnReached(options.failOn, sim.findingTotals()))
        return FindingsExitStatus;
    if (status == 0 && suite.suite && options.exitAfterSuite && suiteFailed)
        return FindingsExitStatus;
    return status;
}

// The suite's cases on the window's Calls tab while this lives: made after the suite and gone
// before it, so that the window lets go of the suite first.
class SuiteShown {
public:
    SuiteShown(frmHarnwick& window, Suite* suite)
        : window_(window)
    {
        window_.setSuite(suite);
    }
    ~SuiteShown() { window_.setSuite(nullptr); }
    SuiteShown(const SuiteShown&) = delete;
    SuiteShown& operator=(const SuiteShown&) = delete;

private:
    frmHarnwick& window_;
};

// --fail-on is for console mode: the window's exit status does not follow it.
int runWindow(int argc, char* argv[], const ProgramOptions& options, RecordOutputs outputs)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ostrella"));
    // Watched before the window opens the port: a signal sent as soon as the program listens
    // ends it as the window's close would (it is handled once the event loop runs).
    SignalWatcher watcher;

    frmHarnwick window(frmHarnwick::Options { options.portArgument, true, options.lines,
                                              hostLines(options), outputs.timelines });
    QObject::connect(&watcher, &SignalWatcher::terminationRequested, &window,
                     &frmHarnwick::mnuExit_Click);
    QObject::connect(&watcher, &SignalWatcher::signalIgnored, &window, [&](const QString& name) {
        window.sim().logSystem("Event: " + name.toStdString() + " ignored");
    });
    for (Box box : options.faults)
        window.tickBox(box, true);
    window.tickBox(Box::chkDisconnect, options.sendDisconnect);
    applyOptions(window.sim(), options, outputs);
    const SuiteRun suite = startSuite(window.sim(), window.clock(), options, outputs, nullptr, {});
    const SuiteShown shown(window, suite.suite.get());
    window.showTerminal();
    window.showModem();
    window.showIgnoredRules();
    // The plan as the Plan box shows it (the texts were checked with the options).
    (void)window.applyPlan(PlanTexts { options.dialPlanText, options.blockPlanText,
                                       options.numbersText, options.pagersText });
    window.show();
    if (!window.started())
        std::fprintf(stderr, "ostrella: %s\n", qPrintable(window.startupError()));
    std::unique_ptr<ControlApi> api;
    if (window.started()
        && !startApi(api, window.sim(), options, window.apiHooks(), suite, outputs))
        return 1;

    const int status = QApplication::exec();
    if (outputs.junit != nullptr)
        outputs.junit->flush();
    if (outputs.report != nullptr)
        outputs.report->flush();
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

    // Opened before anything runs: a record file or report that cannot be written is a start-up
    // error.
    RecordFile recordFile;
    JunitReport junitReport;
    CallTimelines timelines;
    ReportFile reportFile(timelines);
    RecordOutputs outputs;
    // The calls' timelines are kept only where something shows them.
    if (!options.console || options.suite || !options.reportFile.empty() || options.apiPort >= 0)
        outputs.timelines = &timelines;
    if (!options.recordFile.empty()) {
        if (const std::string why = recordFile.open(options.recordFile); !why.empty()) {
            std::fprintf(stderr, "ostrella: cannot open the record file '%s': %s\n",
                         options.recordFile.c_str(), why.c_str());
            return 2;
        }
        outputs.records = &recordFile;
    }
    if (!options.junitFile.empty()) {
        if (const std::string why = junitReport.open(options.junitFile); !why.empty()) {
            std::fprintf(stderr, "ostrella: cannot write the JUnit report '%s': %s\n",
                         options.junitFile.c_str(), why.c_str());
            return 2;
        }
        outputs.junit = &junitReport;
    }
    if (!options.reportFile.empty()) {
        if (const std::string why = reportFile.open(options.reportFile); !why.empty()) {
            std::fprintf(stderr, "ostrella: cannot write the HTML report '%s': %s\n",
                         options.reportFile.c_str(), why.c_str());
            return 2;
        }
        outputs.report = &reportFile;
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
        return runConsole(argc, argv, options, outputs);
    if (!displayAvailable()) {
        std::fprintf(stderr, "ostrella: no display available, running in console mode\n");
        return runConsole(argc, argv, options, outputs);
    }
    if (const std::string why = windowUnavailableReason(argc, argv); !why.empty()) {
        std::fprintf(stderr,
                     "ostrella: the window cannot be opened (%s), running in console mode\n",
                     why.c_str());
        return runConsole(argc, argv, options, outputs);
    }
    return runWindow(argc, argv, options, outputs);
}
