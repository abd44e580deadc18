// SPDX-License-Identifier: MIT
// One line: one client's connection with its line link and the engine that answers it, and the
// two timers that pace them. A line knows nothing of the listener; the simulator puts callers
// through to it.
#pragma once

#include "engine/Engine.h"
#include "judge/Judge.h"
#include "link/LineLink.h"
#include "link/LineWire.h"
#include "log/SystemLog.h"
#include "ports/Ports.h"
#include "sim/Recorder.h"

#include <optional>

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
    // The timer that paces the line's wire, when it is paced; nullptr: never paced.
    Timer* wireTimer = nullptr;
};

class Line {
public:
    // `number`: the line's number in a bank (1, 2, ...), which its log lines ("L3" after the time
    // stamp) and records carry; 0 for the one line of a simulator without a bank. `name`: the
    // device of a line on a pseudo-terminal or serial port ("ttyUSB0"), which its log lines and
    // records carry instead.
    Line(const LinePorts& ports, SystemLog& log, Recorder& recorder, int number = 0,
         const std::string& name = {});
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    Socket& socket() { return socket_; }
    const Socket& socket() const { return socket_; }
    Timer& tmrDummyPkts() { return tmrDummyPkts_; }
    Timer& ComTimer() { return ComTimer_; }
    LineState state() const { return engine.session().gLineState; }
    int number() const { return number_; }
    const std::string& name() const { return name_; }

    // One tick of the line's engine timer: the engine's step, then the judge's deadlines, then
    // the carrier on the modem-control lines, if the line has them.
    void engineTick()
    {
        engine.EngineTick();
        judge.poll();
        showCarrier();
    }

    // The modem-control lines of a line on a serial port; nullptr: none (TCP, pseudo-terminal).
    void setModemLines(ModemLines* lines);
    // What a drop of the device's DTR asks for, as the call's modem's AT&D says.
    enum class DtrAction { None, CommandMode, HangUp };
    // The device's DTR as read now: on a drop, command mode is entered here; a hang-up is the
    // caller's to carry out.
    DtrAction deviceReady(bool ready);
    // Sets the carrier line (DCD at the device) as the call and AT&C say.
    void showCarrier();

    // Declared before the wire, which shows it the line's characters.
    Judge judge;
    // Between the connection and the link.
    LineWire wire;
    LineLink link;
    Engine engine;
    // The records of the calls on this line.
    CallRecorder calls;

    // The call ends (`how`: "hangup", "takeover", "shutdown"): what the terminal holds of a page
    // is recorded, then the call.
    void endCall(const std::string& how)
    {
        engine.callCut();
        calls.callEnded(how);
    }

private:
    Socket& socket_;
    Timer& tmrDummyPkts_;
    Timer& ComTimer_;
    int number_;
    std::string name_;
    ModemLines* modemLines_ = nullptr;
    // The carrier as last set, and the device's DTR as last read.
    std::optional<bool> carrierShown_;
    bool deviceReady_ = false;
};

} // namespace ostrella
