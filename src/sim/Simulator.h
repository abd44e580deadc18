// SPDX-License-Identifier: MIT
// The simulator: the event log, the listener, the one line it serves and the banner. The host
// (or the test rig) delivers timer ticks and socket events here. One caller at a time: a new
// caller takes the line over from the one on it.
#pragma once

#include "link/LineLink.h"
#include "log/SystemLog.h"
#include "ports/Ports.h"
#include "sim/Banner.h"
#include "sim/Line.h"
#include "sim/Listener.h"
#include "sim/Recorder.h"

#include <functional>
#include <string>
#include <string_view>

namespace ostrella {

struct Ports {
    const Clock& clock;
    Timer& tmrDummyPkts;
    Timer& ComTimer;
    ServerSocket& server;
    // The one line's connection.
    Socket& socket;
    LogView& systemLog;
    LogView& petLog;
    const TestPanel& panel;
    Labels& labels;
};

// The system log's start-up line for the port actually listened on.
using StartupLineText = std::function<std::string(const std::string& port)>;

class Simulator {
public:
    explicit Simulator(const Ports& ports);

    // Start-up: banner texts, the engine timer (500 ms), the listening port, then the start-up
    // line (naming the port taken) and the listening line. False when the port cannot be opened:
    // the start-up line is followed by "Event: ERROR Listen failed on port <p> reason"
    // (listener.listenError() holds the reason).
    [[nodiscard]] bool Start(const std::string& listenPort, const StartupLineText& startupLine);

    // --- socket events -----------------------------------------------------------------------

    // A client calls: the line's connection, if any, is closed and the caller put through to it.
    void wskMessage_ConnectionRequest(long requestID);
    // The line's peer closed; the listener opens again.
    void wskMessage_Close();
    // A socket error on the line; the listener opens again.
    void wskMessage_Error();
    // Bytes from the line's peer.
    void wskMessage_DataArrival(std::string_view bytes);

    // --- timer ticks -------------------------------------------------------------------------

    // The engine timer's tick: banner, drop report, log flush, one engine step.
    void tmrDummyPkts_Timer();
    // The receive-wait timer's tick.
    void ComTimer_Timer();
    // The system timer's tick (shut-down aside): a failed re-listen is tried again.
    void tmrSystem_Timer();

    // Writes every queued log line now (at the end, when no later tick will).
    void FlushAll();

    // The simulator stops: the call on the line, if any, is recorded as ended by the shut-down.
    void ShutDown();

    // Where completed page and call records go (any number of sinks; none: nothing is kept).
    void addRecordSink(RecordSink* sink) { recorder.addSink(sink); }
    // A sink that goes before the simulator gets no more records.
    void removeRecordSink(RecordSink* sink) { recorder.removeSink(sink); }

    // The terminal profile for the next call (the call on the line keeps the one it began with).
    TerminalProfile terminal() const { return line.engine.terminal(); }
    void setTerminal(TerminalProfile profile) { line.engine.setTerminal(profile); }
    // The tap18 terminal's timers and limits.
    Tap18Settings& tap18Settings() { return line.engine.tap18().settings; }

    // Logs a line of the host's own to the system log.
    void logSystem(std::string text);

    SystemLog log;
    Listener listener;
    Line line;
    Banner banner;
    // The faults planned ahead, consulted after the fault boxes; empty unless set.
    FaultPlan plan;
    Recorder recorder;

private:
    LogView* gLogSystem_;
};

} // namespace ostrella
