// SPDX-License-Identifier: MIT
// The Qt host of one simulator: the socket adapter, the three timers, the deferred shut-down, the
// re-listen and re-accept retries and the start-up failure path. The window and console mode are
// two views over it: each lends the host its logs, its fault boxes and its labels, and reacts to
// closeDue.
#pragma once

#include "ports/Ports.h"
#include "qt/QtPorts.h"
#include "qt/SerialLine.h"
#include "sim/Simulator.h"

#include <QObject>
#include <memory>
#include <string>
#include <vector>

class QTimer;

namespace ostrella {

class frmTCPComs;
class PtyLine;
class SerialLine;

// The lines on devices of their own, and how every line's wire goes.
struct HostLines {
    // --pty paths and --serial devices.
    std::vector<std::string> ptys;
    std::vector<std::string> serials;
    SerialSettings serial;
    // The device lines' framing, and every line's pacing and noise.
    Framing framing { 7, Parity::Even };
    WireSettings wire;
};

// What a view lends the host.
struct ViewPorts {
    LogView& systemLog;
    LogView& petLog;
    const TestPanel& panel;
    Labels& labels;
};

class SimulatorHost : public QObject {
    Q_OBJECT

public:
    // The system timer's period, in ms: a requested close is carried out on its next tick.
    static constexpr int SystemTimerMs = 100;

    // Builds the simulator over `view` (which must outlive the host); the system timer runs from
    // here on, the engine timer once started.
    // With `lines` above 1 the simulator runs a bank of that many lines on one port, their
    // timers run by one more timer (tmrLines).
    // `devices`: the lines on pseudo-terminals and serial ports, opened at start.
    explicit SimulatorHost(const ViewPorts& view, QObject* parent = nullptr, int lines = 1,
                           const HostLines& devices = {});
    ~SimulatorHost() override;

    // Starts the simulator on `port` (0: the system chooses). False when the port cannot be
    // opened: the host is half started (no engine timer, nothing listening), the system log says
    // "Event: ERROR Listen failed on port <p> reason" and every queued line has been shown.
    [[nodiscard]] bool start(const std::string& port, const StartupLineText& startupLine);
    bool started() const { return started_; }
    // The port listened on (the one taken, for port 0); the one asked for when start-up failed.
    const std::string& port() const { return sim_->listener().gListenPort; }
    // Why start-up failed; empty after a good start.
    const std::string& listenError() const
    {
        return deviceError_.empty() ? sim_->listener().listenError() : deviceError_;
    }
    // Why a device line could not be opened at start; empty when every one was.
    const std::string& deviceError() const { return deviceError_; }

    // The deferred shut-down: the engine timer stops at once and the next system tick emits
    // closeDue.
    void requestClose();
    bool closeRequested() const { return closeRequested_; }

    // Ends the simulator: every timer stops, the receive wait ends, the client is dropped and the
    // listening ends. Safe to call more than once.
    void unload();

    Simulator& sim() { return *sim_; }
    const Clock& clock() const { return clock_; }
    frmTCPComs& tcpComs() { return *tcpComs_; }
    QTimer& tmrDummyPkts() { return *tmrDummyPkts_; }
    QTimer& ComTimer() { return *ComTimer_; }
    QTimer& tmrSystem() { return *tmrSystem_; }
    QTimer& tmrLines() { return *tmrLines_; }

signals:
    // The system tick after a close request: the view ends now.
    void closeDue();

private:
    void tmrSystem_Timer();
    // Opens the device lines; false with deviceError_ set when one cannot be.
    bool openDevices();

    frmTCPComs* tcpComs_;
    QTimer* tmrDummyPkts_;
    QTimer* ComTimer_;
    QTimer* tmrSystem_;
    QTimer* tmrLines_;
    QTimer* tmrWire_;
    QTimer* tmrDevices_;
    SteadyClock clock_;
    QtTimer dummyPktsPort_;
    QtTimer comPort_;
    QtTimer linesPort_;
    QtTimer wirePort_;
    QtTimer devicesPort_;
    HostLines devices_;
    std::vector<PtyLine*> ptys_;
    std::vector<SerialLine*> serials_;
    std::string deviceError_;
    std::unique_ptr<Simulator> sim_;
    bool started_ = false;
    bool closeRequested_ = false;
    bool unloaded_ = false;
};

} // namespace ostrella
