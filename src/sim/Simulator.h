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
#include "sim/TimerHub.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace ostrella {

// A bank of lines on the one port: each caller gets the lowest free line.
struct BankPorts {
    // Lines in the bank, 2 or more.
    int lines = 2;
    // The connection of line `index` (0 first); each a different socket of the same host.
    std::function<Socket&(int index)> socket;
    // The host's timer that runs every line's engine and receive-wait timers (a TimerHub's wake
    // timer); its tick must call Simulator::linesDue().
    Timer* wake = nullptr;
};

struct Ports {
    const Clock& clock;
    // Without a bank: the line's engine timer. With one: the simulator's own 500 ms tick (banner,
    // log flush, the progress label).
    Timer& tmrDummyPkts;
    // Without a bank: the line's receive-wait timer; unused with one.
    Timer& ComTimer;
    ServerSocket& server;
    // The one line's connection (without a bank).
    Socket& socket;
    LogView& systemLog;
    LogView& petLog;
    const TestPanel& panel;
    Labels& labels;
    // A bank of lines; nullptr: one line, a new caller taking it over from the one on it.
    const BankPorts* bank = nullptr;
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
    // With a bank: the caller gets the lowest free line, its timers start; when every line is
    // busy the caller is refused at once and "Event: all N lines busy, refused <ip>" logged.
    void wskMessage_ConnectionRequest(long requestID);
    // The peer of line `index` (0 first) closed; without a bank the listener opens again, with
    // one the line's timers stop.
    void wskMessage_Close(std::size_t index = 0);
    // A socket error on line `index`, handled as a close.
    void wskMessage_Error(std::size_t index = 0);
    // Bytes from the peer of line `index`.
    void wskMessage_DataArrival(std::string_view bytes) { wskMessage_DataArrival(0, bytes); }
    void wskMessage_DataArrival(std::size_t index, std::string_view bytes);

    // --- timer ticks -------------------------------------------------------------------------

    // The engine timer's tick: banner, drop report, log flush, one engine step. With a bank: the
    // banner, the drop reports of all lines, the log flush and the progress label ("hh:mm:ss
    // LINES 3/50 busy"); the lines' engines run on their own timers.
    void tmrDummyPkts_Timer();
    // With a bank: the wake timer's tick, which runs the lines' timers that are due.
    void linesDue();
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

    // The terminal and modem profiles for the next call on any line (a call keeps the ones it
    // began with).
    TerminalProfile terminal() const { return line.engine.terminal(); }
    void setTerminal(TerminalProfile profile);
    ModemProfile modemProfile() const { return line.engine.nextModemProfile(); }
    void setModemProfile(ModemProfile profile);
    // The tap18 terminal's timers and limits (the first line's; setTap18Settings sets every
    // line's).
    Tap18Settings& tap18Settings() { return line.engine.tap18().settings; }
    void setTap18Settings(const Tap18Settings& settings);

    // The lines: one without a bank. Line `index` (0 first).
    std::size_t lineCount() const { return lines_.size(); }
    Line& lineAt(std::size_t index) { return *lines_[index]; }
    bool hasBank() const { return hub_ != nullptr; }
    // With a bank: the hub that runs the lines' timers (how late their ticks run).
    const TimerHub* hub() const { return hub_.get(); }
    // Lines with a caller on them.
    std::size_t busyLines() const;

    // Logs a line of the host's own to the system log.
    void logSystem(std::string text);

    SystemLog log;
    Recorder recorder;

private:
    // Labels a line of a bank does not write: the progress label counts busy lines instead.
    class NoLabels : public Labels {
    public:
        bool shown() const override { return false; }
        void setProgress(const std::string&) override { }
        void setBanner(const std::string&) override { }
    };
    NoLabels noLabels_;
    std::unique_ptr<TimerHub> hub_;
    std::vector<std::unique_ptr<Line>> lines_;
    // With a bank: the lines without a caller, lowest first, and the ones with one; kept as
    // callers come and go so that no tick or call looks at every line.
    std::set<std::size_t> freeLines_;
    std::set<std::size_t> busyLines_;

public:
    Listener listener;
    // The first line (the only one without a bank).
    Line& line;
    Banner banner;
    // The faults planned ahead, consulted after the fault boxes; empty unless set.
    FaultPlan plan;

private:
    // A caller put through to `line`: logged, its call recorded.
    void putThrough(long requestID, Line& target);
    // The caller of `target` has gone: without a bank the listener opens again; with one the
    // line's timers stop.
    void callOver(Line& target);
    // The one line on the ports' own timers and socket, or a bank of lines on the hub's timers.
    static std::vector<std::unique_ptr<Line>> makeLines(const Ports& ports, Simulator* self);

    LogView* gLogSystem_;
    Labels& labels_;
    const Clock& clock_;
    // With a bank: the simulator's own tick (the ports' engine timer).
    Timer& simTick_;
};

} // namespace ostrella
