// SPDX-License-Identifier: MIT
// One line: one client's connection with its line link and the engine that answers it, and the
// two timers that pace them. A line knows nothing of the listener; the simulator puts callers
// through to it.
#pragma once

#include "engine/Engine.h"
#include "link/LineLink.h"
#include "log/SystemLog.h"
#include "ports/Ports.h"

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
    Line(const LinePorts& ports, SystemLog& log);
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    Socket& socket() { return socket_; }
    Timer& tmrDummyPkts() { return tmrDummyPkts_; }
    LineState state() const { return engine.session.gLineState; }

    LineLink link;
    Engine engine;

private:
    Socket& socket_;
    Timer& tmrDummyPkts_;
};

} // namespace ostrella
