// SPDX-License-Identifier: MIT
#include "qt/SimulatorHost.h"

#include "qt/frmTCPComs.h"

#include <QTimer>

namespace ostrella {

namespace {

QTimer* namedTimer(QObject* parent, const char* name)
{
    auto* timer = new QTimer(parent);
    timer->setObjectName(QLatin1String(name));
    return timer;
}

} // namespace

SimulatorHost::SimulatorHost(const ViewPorts& view, QObject* parent)
    : QObject(parent)
    , tcpComs_(new frmTCPComs(this))
    , tmrDummyPkts_(namedTimer(this, "tmrDummyPkts"))
    , ComTimer_(namedTimer(this, "ComTimer"))
    , tmrSystem_(namedTimer(this, "tmrSystem"))
    , dummyPktsPort_(*tmrDummyPkts_)
    , comPort_(*ComTimer_)
{
    setObjectName(QStringLiteral("SimulatorHost"));
    sim_ = std::make_unique<Simulator>(Ports { clock_, dummyPktsPort_, comPort_, *tcpComs_,
                                               tcpComs_->line(), view.systemLog, view.petLog,
                                               view.panel, view.labels });
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
    sim_->line.link.Form_Unload();
    ComTimer_->stop();
    tcpComs_->Form_Unload();
}

} // namespace ostrella
