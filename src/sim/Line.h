// SPDX-License-Identifier: MIT
// One line: one client's connection with its line link and the engine that answers it, and the
// two timers that pace them. A line knows nothing of the listener; the simulator puts callers
// through to it.
#pragma once

#include "engine/Engine.h"
#include "judge/Judge.h"
#include "link/LineLink.h"
#include "log/SystemLog.h"
#include "ports/Ports.h"
#include "sim/Recorder.h"

namespace ostrella {

// What one line needs from its host.
struct LinePorts {
    const Clock& clock;
    // The engine timer (500 ms, 100 ms during logon and blocks).
    Timer& tmrDummyPkts;
    // The receive-wait timer (50 ms).
    Timer& ComTimer;
    Socket& socket;
    LogView& systemLog;
    LogView& petLog;
    const TestPanel& panel;
    Labels& labels;
};

class Line {
public:
    // `number`: the line's number in a bank (1, 2, ...), which its log lines ("L3" after the time
    // stamp) and records carry; 0 for the one line of a simulator without a bank.
    Line(const LinePorts& ports, SystemLog& log, Recorder& recorder, int number = 0);
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    Socket& socket() { return socket_; }
    const Socket& socket() const { return socket_; }
    Timer& tmrDummyPkts() { return tmrDummyPkts_; }
    Timer& ComTimer() { return ComTimer_; }
    LineState state() const { return engine.session().gLineState; }
    int number() const { return number_; }

    // One tick of the line's engine timer: the engine's step, then the judge's deadlines.
    void engineTick()
    {
        engine.EngineTick();
        judge.poll();
    }

    // Declared before the link, which watches the line's bytes for it.
    Judge judge;
    LineLink link;
    Engine engine;
    // The records of the calls on this line.
    CallRecorder calls;

private:
    Socket& socket_;
    Timer& tmrDummyPkts_;
    Timer& ComTimer_;
    int number_;
};

} // namespace ostrella
