// SPDX-License-Identifier: MIT
// The simulator without a window: both logs go to standard output as they are flushed, each line
// marked "SYS " or "PET "; commands on standard input switch the fault boxes.
#pragma once

#include "app/Faults.h"
#include "app/QtPorts.h"
#include "engine/Simulator.h"

#include <QObject>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <string>

class QSocketNotifier;

namespace ostrella {

class frmTCPComs;

// A log written to a stream, one line per shown line, oldest first.
class StreamLogView : public LogView {
public:
    StreamLogView(std::FILE* out, std::string mark)
        : out_(out)
        , mark_(std::move(mark))
    {
    }
    void insertTop(const std::string& line) override;
    void selectTop() override { }
    int count() const override { return lines_; }
    void removeAt(int) override { --lines_; }

private:
    std::FILE* out_;
    std::string mark_;
    int lines_ = 0;
};

class NoLabels : public Labels {
public:
    void setProgress(const std::string&) override { }
    void setBanner(const std::string&) override { }
};

class ConsoleFrontEnd : public QObject {
    Q_OBJECT

public:
    explicit ConsoleFrontEnd(ConsolePanel& panel, QObject* parent = nullptr);
    ~ConsoleFrontEnd() override;

    // Starts the simulator on the port; false when the port cannot be opened (the reason is on
    // standard error and the queued log lines are written out).
    bool start(const std::string& portArgument);

    // The deferred shut-down: the engine stops at once; on the next system tick the last log
    // lines are written, the line link unloads and the event loop ends with status 0.
    void requestShutdown();

    Simulator& sim() { return *sim_; }

private:
    void onStdinReadable();
    void tmrSystem_Timer();
    void flushAll();

    ConsolePanel& panel_;
    frmTCPComs* tcpComs_;
    QTimer tmrDummyPkts_;
    QTimer tmrSystem_;
    SteadyClock clock_;
    QtTimer dummyPktsPort_;
    QtTimer comPort_;
    StreamLogView systemLog_;
    StreamLogView petLog_;
    NoLabels labels_;
    std::unique_ptr<Simulator> sim_;
    QSocketNotifier* stdin_ = nullptr;
    std::string stdinLine_;
    bool closeRequested_ = false;
};

} // namespace ostrella
