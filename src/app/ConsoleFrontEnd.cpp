// SPDX-License-Identifier: MIT
#include "app/ConsoleFrontEnd.h"

#include "app/Version.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace ostrella {

namespace {

// A typed command longer than this is not a command; the rest of the line is dropped.
constexpr std::size_t MaxCommandBytes = 1024;
// At the end, how long the last lines may wait for a slow reader.
constexpr int ExitDrainMs = 2000;
// How often a program in the background looks whether it is in the foreground again.
constexpr int ForegroundCheckMs = 500;

} // namespace

void StreamLogView::insertTop(const std::string& line)
{
    out_.writeLogLine(mark_, line);
}

ConsoleFrontEnd::ConsoleFrontEnd(ConsolePanel& panel, int lines, const HostLines& devices,
                                 QObject* parent)
    : QObject(parent)
    , panel_(panel)
    , output_(STDOUT_FILENO)
    , systemLog_(output_, "SYS ")
    , petLog_(output_, "PET ")
    , records_(output_)
    , host_(ViewPorts { systemLog_, petLog_, panel_, labels_ }, nullptr, lines, devices)
{
    host_.sim().addRecordSink(&records_);
    connect(&host_, &SimulatorHost::closeDue, this, &ConsoleFrontEnd::onCloseDue);
}

ConsoleFrontEnd::~ConsoleFrontEnd() = default;

bool ConsoleFrontEnd::start(const std::string& portArgument)
{
    const bool listening
        = host_.start(ListenPortFromArgument(portArgument),
                      [](const std::string& port) { return StartupLine(port, programVersion()); });
    if (!listening) {
        if (!host_.deviceError().empty())
            std::fprintf(stderr, "ostrella: cannot open a line: %s\n", host_.deviceError().c_str());
        else
            std::fprintf(stderr, "ostrella: cannot listen on port %s: %s\n", host_.port().c_str(),
                         host_.listenError().c_str());
        return false;
    }
    // Reading the terminal, or writing to it, from the background stops a job by default; the
    // simulator must never stop, so such a read fails instead and is not made.
    ::signal(SIGTTIN, SIG_IGN);
    ::signal(SIGTTOU, SIG_IGN);
    stdin_ = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(stdin_, &QSocketNotifier::activated, this, &ConsoleFrontEnd::onStdinReadable);
    if (inBackground()) {
        std::fprintf(stderr,
                     "ostrella: running in the background: commands on standard input are "
                     "read only in the foreground\n");
        waitForForeground();
    }
    return true;
}

ControlApi::Hooks ConsoleFrontEnd::apiHooks()
{
    return ControlApi::Hooks {
        panel_,
        [this](Box box, bool on) { panel_.set(box, on); },
        [this](const PlanTexts& texts) { return applyPlanTexts(host_.sim().plan(), texts); },
        [this](TerminalProfile profile) { host_.sim().setTerminal(profile); },
        [this](ModemProfile profile) { host_.sim().setModemProfile(profile); },
    };
}

void ConsoleFrontEnd::requestShutdown()
{
    host_.requestClose();
}

void ConsoleFrontEnd::answer(const std::string& lines)
{
    std::size_t start = 0;
    for (std::size_t end = lines.find('\n'); end != std::string::npos;
         start = end + 1, end = lines.find('\n', start))
        output_.writeText(lines.substr(start, end - start));
}

void ConsoleFrontEnd::onCloseDue()
{
    host_.sim().FlushAll();
    host_.unload();
    output_.drain(ExitDrainMs);
    QCoreApplication::exit(0);
}

bool ConsoleFrontEnd::inBackground()
{
    if (::isatty(STDIN_FILENO) != 1)
        return false;
    // A terminal that is not ours to control (-1) is read like any other input.
    const pid_t foreground = ::tcgetpgrp(STDIN_FILENO);
    return foreground != -1 && foreground != ::getpgrp();
}

void ConsoleFrontEnd::waitForForeground()
{
    // Typing meant for the shell must not be taken (nor stop the program); look again later.
    stdin_->setEnabled(false);
    QTimer::singleShot(ForegroundCheckMs, this, [this] {
        if (inBackground())
            waitForForeground();
        else
            stdin_->setEnabled(true);
    });
}

void ConsoleFrontEnd::onStdinReadable()
{
    if (inBackground()) {
        waitForForeground();
        return;
    }
    char buf[4096];
    const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (n < 0 && errno == EIO && ::isatty(STDIN_FILENO) == 1) {
        // Sent to the background between the look and the read.
        waitForForeground();
        return;
    }
    if (n <= 0) {
        // End of input (or a broken one): stop reading, keep simulating.
        stdin_->setEnabled(false);
        return;
    }
    for (ssize_t i = 0; i < n; ++i) {
        const char c = buf[i];
        if (c == '\n') {
            if (stdinOverlong_)
                answer("error: command longer than " + std::to_string(MaxCommandBytes)
                       + " bytes, ignored\n");
            else
                answer(ConsoleCommand(panel_, stdinLine_, &host_.sim().plan(), &host_.sim()));
            if (!stdinOverlong_ && ConsoleQuits(stdinLine_)) {
                // As SIGTERM does; what was typed after it is not read.
                stdin_->setEnabled(false);
                requestShutdown();
                return;
            }
            stdinLine_.clear();
            stdinOverlong_ = false;
        } else if (c != '\r') {
            if (stdinLine_.size() < MaxCommandBytes)
                stdinLine_.push_back(c);
            else
                stdinOverlong_ = true;
        }
    }
}

} // namespace ostrella
