// SPDX-License-Identifier: MIT
#include "qt/SimulatorHost.h"

#include "qt/PtyLine.h"
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

SimulatorHost::SimulatorHost(const ViewPorts& view, QObject* parent, int lines,
                             const HostLines& devices)
    : QObject(parent)
    , tcpComs_(new frmTCPComs(this))
    , tmrDummyPkts_(namedTimer(this, "tmrDummyPkts"))
    , ComTimer_(namedTimer(this, "ComTimer"))
    , tmrSystem_(namedTimer(this, "tmrSystem"))
    , tmrLines_(namedTimer(this, "tmrLines"))
    , tmrWire_(namedTimer(this, "tmrWire"))
    , tmrDevices_(namedTimer(this, "tmrDevices"))
    , dummyPktsPort_(*tmrDummyPkts_)
    , comPort_(*ComTimer_)
    , linesPort_(*tmrLines_)
    , wirePort_(*tmrWire_)
    , devicesPort_(*tmrDevices_)
    , devices_(devices)
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
    // Characters on a paced line leave to the millisecond.
    tmrWire_->setTimerType(Qt::PreciseTimer);
    tmrDevices_->setTimerType(Qt::PreciseTimer);
    DevicePorts devicePorts { {}, &devicesPort_ };
    auto nameOf = [](const std::string& path) { return path.substr(path.find_last_of('/') + 1); };
    for (const std::string& path : devices.ptys) {
        ptys_.push_back(new PtyLine(path, devicePorts.lines.size(), this));
        devicePorts.lines.push_back(DevicePort { nameOf(path), ptys_.back() });
    }
    for (const std::string& device : devices.serials) {
        serials_.push_back(new SerialLine(device, devicePorts.lines.size(), this));
        devicePorts.lines.push_back(DevicePort { nameOf(device), serials_.back() });
    }
    sim_ = std::make_unique<Simulator>(Ports {
        clock_, dummyPktsPort_, comPort_, *tcpComs_, tcpComs_->line(), view.systemLog, view.petLog,
        view.panel, view.labels, bank ? &*bank : nullptr, &wirePort_, &devicePorts });
    tcpComs_->setSimulator(sim_.get());
    sim_->setWireSettings(devices.wire);
    WireSettings deviceWire = devices.wire;
    deviceWire.framing = devices.framing;
    for (std::size_t i = 0; i < sim_->deviceCount(); ++i)
        sim_->setDeviceWire(i, deviceWire);
    for (PtyLine* pty : ptys_)
        pty->setSimulator(sim_.get());
    for (std::size_t i = 0; i < serials_.size(); ++i) {
        serials_[i]->setSimulator(sim_.get());
        const std::size_t index = ptys_.size() + i;
        sim_->deviceAt(index).wire.setDeviceRate(static_cast<unsigned>(devices.serial.baud));
        sim_->setModemLines(index, serials_[i]);
    }
    connect(tmrWire_, &QTimer::timeout, this, [this] { sim_->wireTimer_Timer(); });
    connect(tmrDevices_, &QTimer::timeout, this, [this] { sim_->devicesDue(); });
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

bool SimulatorHost::openDevices()
{
    for (std::size_t i = 0; i < ptys_.size(); ++i) {
        PtyLine& pty = *ptys_[i];
        if (!pty.open()) {
            deviceError_ = "--pty " + pty.path() + ": " + pty.error();
            return false;
        }
        sim_->logSystem("Event: line " + sim_->deviceAt(i).name() + " on pseudo-terminal "
                        + pty.device() + " at " + pty.path());
    }
    for (std::size_t i = 0; i < serials_.size(); ++i) {
        SerialLine& serial = *serials_[i];
        if (!serial.open(devices_.serial)) {
            deviceError_ = "--serial " + serial.device() + ": " + serial.error();
            return false;
        }
        sim_->logSystem("Event: line " + sim_->deviceAt(ptys_.size() + i).name()
                        + " on serial port " + serial.device() + " at "
                        + std::to_string(devices_.serial.baud) + " "
                        + framingText(devices_.framing));
    }
    return true;
}

bool SimulatorHost::start(const std::string& port, const StartupLineText& startupLine)
{
    started_ = openDevices() && sim_->Start(port, startupLine);
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
    tmrWire_->stop();
    tmrDevices_->stop();
    tcpComs_->Form_Unload();
    for (PtyLine* pty : ptys_)
        pty->shut();
    for (SerialLine* serial : serials_)
        serial->shut();
}

} // namespace ostrella
