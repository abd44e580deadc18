// SPDX-License-Identifier: MIT
#include "app/ConsoleFrontEnd.h"

#include "app/Version.h"
#include "qt/LogDisplay.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <unistd.h>

namespace ostrella {

namespace {

// A typed command longer than this is not a command; the rest of the line is dropped.
constexpr std::size_t MaxCommandBytes = 1024;

} // namespace

void StreamLogView::insertTop(const std::string& line)
{
    const QByteArray shown = displayText(line).toUtf8();
    std::fprintf(out_, "%s%s\n", mark_.c_str(), shown.constData());
    std::fflush(out_);
    ++lines_;
}

ConsoleFrontEnd::ConsoleFrontEnd(ConsolePanel& panel, QObject* parent)
    : QObject(parent)
    , panel_(panel)
    , systemLog_(stdout, "SYS ")
    , petLog_(stdout, "PET ")
    , host_(ViewPorts { systemLog_, petLog_, panel_, labels_ })
{
    connect(&host_, &SimulatorHost::closeDue, this, &ConsoleFrontEnd::onCloseDue);
}

ConsoleFrontEnd::~ConsoleFrontEnd() = default;

bool ConsoleFrontEnd::start(const std::string& portArgument)
{
    const bool listening
        = host_.start(ListenPortFromArgument(portArgument),
                      [](const std::string& port) { return StartupLine(port, programVersion()); });
    if (!listening) {
        std::fprintf(stderr, "ostrella: cannot listen on port %s: %s\n", host_.port().c_str(),
                     host_.listenError().c_str());
        return false;
    }
    stdin_ = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(stdin_, &QSocketNotifier::activated, this, &ConsoleFrontEnd::onStdinReadable);
    return true;
}

void ConsoleFrontEnd::requestShutdown()
{
    host_.requestClose();
}

void ConsoleFrontEnd::onCloseDue()
{
    host_.sim().FlushAll();
    host_.unload();
    QCoreApplication::exit(0);
}

void ConsoleFrontEnd::onStdinReadable()
{
    char buf[4096];
    const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
    if (n <= 0) {
        // End of input (or a broken one): stop reading, keep simulating.
        stdin_->setEnabled(false);
        return;
    }
    for (ssize_t i = 0; i < n; ++i) {
        const char c = buf[i];
        if (c == '\n') {
            const std::string answer = ConsoleCommand(panel_, stdinLine_);
            std::fputs(answer.c_str(), stdout);
            std::fflush(stdout);
            stdinLine_.clear();
        } else if (c != '\r' && stdinLine_.size() < MaxCommandBytes) {
            stdinLine_.push_back(c);
        }
    }
}

} // namespace ostrella
