// SPDX-License-Identifier: MIT
// The simulator without a window: both logs go to standard output as they are flushed, each line
// marked "SYS " or "PET "; commands on standard input switch the fault boxes.
#pragma once

#include "app/ConsoleOutput.h"
#include "app/ConsoleRecords.h"
#include "app/ControlApi.h"
#include "app/Faults.h"
#include "qt/SimulatorHost.h"

#include <QObject>
#include <cstdio>
#include <string>

class QSocketNotifier;

namespace ostrella {

// A log written to the console: every line the moment it is logged, marked ("SYS " or "PET ").
class StreamLogView : public LogView {
public:
    StreamLogView(ConsoleOutput& out, std::string mark)
        : out_(out)
        , mark_(std::move(mark))
    {
    }
    bool takesLinesAtOnce() const override { return true; }
    void insertTop(const std::string& line) override;
    void selectTop() override { }
    int count() const override { return 0; }
    void removeAt(int) override { }

private:
    ConsoleOutput& out_;
    std::string mark_;
};

class ConsoleFrontEnd : public QObject {
    Q_OBJECT

public:
    // `lines` above 1: a bank of lines on the one port.
    explicit ConsoleFrontEnd(ConsolePanel& panel, int lines = 1, const HostLines& devices = {},
                             QObject* parent = nullptr);
    ~ConsoleFrontEnd() override;

    // Starts the simulator on the port; false when the port cannot be opened (the reason is on
    // standard error and the queued log lines are written out).
    bool start(const std::string& portArgument);

    // The deferred shut-down: the engine stops at once; on the next system tick the last log
    // lines are written, the simulator unloads and the event loop ends with status 0.
    void requestShutdown();

    SimulatorHost& host() { return host_; }
    ConsoleOutput& output() { return output_; }
    // What the control API switches: the console's fault panel and the simulator's plan.
    ControlApi::Hooks apiHooks();

private:
    void onStdinReadable();
    // True while standard input is a terminal that belongs to another (foreground) job.
    static bool inBackground();
    // Stops reading standard input until the program is in the foreground again.
    void waitForForeground();
    // Writes a command's answer, one or more lines each ending in a newline.
    void answer(const std::string& lines);
    void onCloseDue();

    ConsolePanel& panel_;
    ConsoleOutput output_;
    StreamLogView systemLog_;
    StreamLogView petLog_;
    NoLabels labels_;
    ConsoleRecords records_;
    // After the views it writes to, so that it goes first.
    SimulatorHost host_;
    QSocketNotifier* stdin_ = nullptr;
    std::string stdinLine_;
    // The line being typed is longer than a command can be; it is refused whole.
    bool stdinOverlong_ = false;
};

} // namespace ostrella
