// SPDX-License-Identifier: MIT
#include "qt/SimulatorHost.h"

#include "qt/frmTCPComs.h"

#include <QTimer>
#include <optional>

namespace ostrella {

namespace {

QTimer* namedTimer(QObject* parent, const char* name)
{
    auto* timer = new QTimer(parent);
    timer->setObjectName(QLatin1String(name));
    return timer;
}

} // namespace

SimulatorHost::SimulatorHost(const ViewPorts& view, QObject* parent, int lines)
    : QObject(parent)
    , tcpComs_(new frmTCPComs(this))
    , tmrDummyPkts_(namedTimer(this, "tmrDummyPkts"))
    , ComTimer_(namedTimer(this, "ComTimer"))
    , tmrSystem_(namedTimer(this, "tmrSystem"))
    , tmrLines_(namedTimer(this, "tmrLines"))
    , dummyPktsPort_(*tmrDummyPkts_)
    , comPort_(*ComTimer_)
    , linesPort_(*tmrLines_)
{
    setObjectName(QStringLiteral("SimulatorHost"));
    std::optional<BankPorts> bank;
    if (lines > 1) {
        tcpComs_->setLines(static_cast<std::size_t>(lines));
        // The lines' replies are timed to the millisecond, as on timers of their own.
        tmrLines_->setTimerType(Qt::PreciseTimer);
        bank = BankPorts { lines,
                           [this](int index) -> Socket& {
                               return tcpComs_->line(static_cast<std::size_t>(index));
                           },
                           &linesPort_ };
        connect(tmrLines_, &QTimer::timeout, this, [this] { sim_->linesDue(); });
    }
    sim_ = std::make_unique<Simulator>(Ports { clock_, dummyPktsPort_, comPort_, *tcpComs_,
                                               tcpComs_->line(), view.systemLog, view.petLog,
                                               view.panel, view.labels, bank ? &*bank : nullptr });
    tcpComs_->setSimulator(sim_.get());
    connect(tmrDummyPkts_, &QTimer::timeout, this, [this] { sim_->tmrDummyPkts_Timer(); });
    connect(ComTimer_, &QTimer::timeout, this, [this] { sim_->ComTimer_Timer(); });
    connect(tmrSystem_, &QTimer::timeout, this, &SimulatorHost::tmrSystem_Timer);
    tmrSystem_->setInterval(SystemTimerMs);
    tmrSystem_->start();
}

SimulatorHost::~SimulatorHost()
{
    // Nothing may call into the simulator from here on.
    tcpComs_->setSimulator(nullptr);
    unload();
}

bool SimulatorHost::start(const std::string& port, const StartupLineText& startupLine)
{
    started_ = sim_->Start(port, startupLine);
    if (!started_) {
        // Half started: no engine and no listener. The log says why at once.
        tmrDummyPkts_->stop();
        sim_->FlushAll();
    }
    return started_;
}

void SimulatorHost::requestClose()
{
    tmrDummyPkts_->stop();
    tmrLines_->stop();
    closeRequested_ = true;
}

void SimulatorHost::tmrSystem_Timer()
{
    if (closeRequested_) {
        emit closeDue();
        return;
    }
    sim_->tmrSystem_Timer();
    tcpComs_->retryAccept();
}

void SimulatorHost::unload()
{
    if (unloaded_)
        return;
    unloaded_ = true;
    sim_->ShutDown();
    tmrDummyPkts_->stop();
    tmrSystem_->stop();
    tmrLines_->stop();
    for (std::size_t i = 0; i < sim_->lineCount(); ++i)
        sim_->lineAt(i).link.Form_Unload();
    ComTimer_->stop();
    tcpComs_->Form_Unload();
}

} // namespace ostrella
