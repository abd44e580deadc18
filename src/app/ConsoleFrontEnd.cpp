// SPDX-License-Identifier: MIT
#include "app/ConsoleFrontEnd.h"

#include "app/LogDisplay.h"
#include "app/Version.h"
#include "link/frmTCPComs.h"

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
    , tcpComs_(new frmTCPComs(this))
    , dummyPktsPort_(tmrDummyPkts_)
    , comPort_(*tcpComs_->ComTimer())
    , systemLog_(stdout, "SYS ")
    , petLog_(stdout, "PET ")
{
    sim_ = std::make_unique<Simulator>(Ports { clock_, dummyPktsPort_, comPort_, *tcpComs_,
                                               systemLog_, petLog_, panel_, labels_ });
    tcpComs_->setLink(&sim_->link);
    connect(tcpComs_->ComTimer(), &QTimer::timeout, this, [this] { sim_->ComTimer_Timer(); });
    connect(&tmrDummyPkts_, &QTimer::timeout, this, [this] { sim_->tmrDummyPkts_Timer(); });
    tmrSystem_.setInterval(100);
    connect(&tmrSystem_, &QTimer::timeout, this, &ConsoleFrontEnd::tmrSystem_Timer);
}

ConsoleFrontEnd::~ConsoleFrontEnd()
{
    tcpComs_->setLink(nullptr);
    tcpComs_->Form_Unload();
}

bool ConsoleFrontEnd::start(const std::string& portArgument)
{
    const std::string port = ListenPortFromArgument(portArgument);
    const bool listening = sim_->Start(port, programVersion());
    if (!listening) {
        tmrDummyPkts_.stop();
        flushAll();
        std::fprintf(stderr, "ostrella: cannot listen on port %s: %s\n", port.c_str(),
                     sim_->link.listenError().c_str());
        return false;
    }
    tmrSystem_.start();
    stdin_ = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(stdin_, &QSocketNotifier::activated, this, &ConsoleFrontEnd::onStdinReadable);
    return true;
}

void ConsoleFrontEnd::requestShutdown()
{
    tmrDummyPkts_.stop();
    closeRequested_ = true;
}

void ConsoleFrontEnd::tmrSystem_Timer()
{
    if (closeRequested_) {
        tmrSystem_.stop();
        flushAll();
        tcpComs_->Form_Unload();
        QCoreApplication::exit(0);
        return;
    }
    if (sim_->link.listenPending())
        sim_->link.RetryListen();
}

void ConsoleFrontEnd::flushAll()
{
    sim_->link.ReportDropped();
    sim_->link.ReportDropped();
    while (sim_->log.queued() > 0)
        sim_->log.FlushLog();
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
