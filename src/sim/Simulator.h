// SPDX-License-Identifier: MIT
// The simulator: the event log, the records, the listener, its lines and the banner. The host
// (or the test rig) delivers timer ticks and socket events here. The lines are a bank: of one
// line, where a new caller takes the line over from the one on it, or of several on one port,
// where each caller gets the lowest free line (see LinePolicy).
#pragma once

#include "log/SystemLog.h"
#include "ports/Ports.h"
#include "sim/Banner.h"
#include "sim/DeviceLines.h"
#include "sim/Line.h"
#include "sim/LinePolicy.h"
#include "sim/Listener.h"
#include "sim/Recorder.h"

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
    // The simulator's tick (banner, log flush); its tick must call tmrDummyPkts_Timer(). With one
    // line it is also that line's engine timer (500 ms, 100 ms during logon and blocks); with a
    // bank it runs at 500 ms.
    Timer& tmrDummyPkts;
    // With one line: the line's receive-wait timer; its tick must call ComTimer_Timer().
    Timer& ComTimer;
    ServerSocket& server;
    // With one line: the line's connection.
    Socket& socket;
    LogView& systemLog;
    LogView& petLog;
    const TestPanel& panel;
    Labels& labels;
    // A bank of lines; nullptr: one line, a new caller taking it over from the one on it.
    const BankPorts* bank = nullptr;
    // With one line: the timer that paces its wire; its tick must call wireTimer_Timer().
    // nullptr: the line is never paced.
    Timer* wireTimer = nullptr;
    // Lines on pseudo-terminals and serial ports, beside the TCP lines; nullptr: none.
    const DevicePorts* devices = nullptr;
};

// Who directs the calls of a scripted run (a test suite): told as each call begins on a line,
// before the line takes it; of every dial, before its outcome is decided; and on every tick of
// the simulator. It sets the line's profiles, script, plan and wire for the call.
class CallDirector {
public:
    virtual ~CallDirector() = default;
    virtual void callBegins(Line& line) = 0;
    virtual void dialling(Line& line, std::string_view number) = 0;
    virtual void tick() { }
};

// The system log's start-up line for the port actually listened on.
using StartupLineText = std::function<std::string(const std::string& port)>;

class Simulator {
public:
    explicit Simulator(const Ports& ports);
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Start-up: banner texts, the simulator's tick (500 ms), the listening port, then the start-up
    // line (naming the port taken) and the listening line. False when the port cannot be opened:
    // the start-up line is followed by "Event: ERROR Listen failed on port <p> reason"
    // (listener().listenError() holds the reason).
    [[nodiscard]] bool Start(const std::string& listenPort, const StartupLineText& startupLine);

    // --- socket events -----------------------------------------------------------------------

    // A client calls and is put through to the line the policy gives it: with one line, the
    // caller on it is dropped first; with a bank, the lowest free line, and when every line is
    // busy the caller is refused at once and "Event: all N lines busy, refused <ip>" logged.
    void wskMessage_ConnectionRequest(long requestID);
    // The peer of line `index` (0 first) closed; the listener opens again (with a bank it never
    // stopped) and the line is free.
    void wskMessage_Close(std::size_t index = 0);
    // A socket error on line `index`, handled as a close.
    void wskMessage_Error(std::size_t index = 0);
    // Bytes from the peer of line `index`.
    void wskMessage_DataArrival(std::string_view bytes) { wskMessage_DataArrival(0, bytes); }
    void wskMessage_DataArrival(std::size_t index, std::string_view bytes);

    // --- device lines ------------------------------------------------------------------------

    // The device side of device line `index` (0 first) opened it: a call begins, logged as a
    // connection from the device's address. Nothing when a call is on already.
    void deviceOpened(std::size_t index);
    // Bytes from the device side; a call begins first when none is on.
    void deviceData(std::size_t index, std::string_view bytes);
    // The device side closed it, or hung up: the call is over.
    void deviceClosed(std::size_t index);
    // The device's DTR as the host read it now (a serial line): a drop does what the call's
    // modem's AT&D says (nothing, command mode, or hang up).
    void deviceReady(std::size_t index, bool ready);
    // The modem-control lines of device line `index` (a serial port); nullptr: none.
    void setModemLines(std::size_t index, ModemLines* lines);
    // The device lines' wake timer has ticked.
    void devicesDue()
    {
        if (devices_)
            devices_->wake();
    }
    std::size_t deviceCount() const { return devices_ ? devices_->count() : 0; }
    Line& deviceAt(std::size_t index) { return devices_->at(index); }
    const Line& deviceAt(std::size_t index) const { return devices_->at(index); }
    bool deviceBusy(std::size_t index) const { return devices_ && devices_->busy(index); }
    const DeviceLines* devices() const { return devices_.get(); }

    // --- timer ticks -------------------------------------------------------------------------

    // The simulator's tick: the banner, the lines' drop reports, the log flush, then with one line
    // its engine step, with a bank the progress label ("hh:mm:ss LINES 3/50 busy").
    void tmrDummyPkts_Timer();
    // With a bank: the wake timer's tick, which runs the lines' timers that are due.
    void linesDue() { lines_->wake(); }
    // With one line: the receive-wait timer's tick, and the wire timer's.
    void ComTimer_Timer() { lines_->at(0).link.ComTimer_Timer(); }
    void wireTimer_Timer() { lines_->at(0).wire.tick(); }
    // The system timer's tick (shut-down aside): a failed re-listen is tried again.
    void tmrSystem_Timer() { listener_.RetryListen(); }

    // Writes every queued log line now (at the end, when no later tick will).
    void FlushAll();

    // The simulator stops: the call on each line, if any, is recorded as ended by the shut-down.
    void ShutDown();

    // Where completed page and call records go (any number of sinks; none: nothing is kept).
    void addRecordSink(RecordSink* sink) { recorder_.addSink(sink); }
    // A sink that goes before the simulator gets no more records.
    void removeRecordSink(RecordSink* sink) { recorder_.removeSink(sink); }

    // The terminal and modem profiles for the next call on any line (a call keeps the ones it
    // began with).
    TerminalProfile terminal() const { return lines_->at(0).engine.terminal(); }
    void setTerminal(TerminalProfile profile);
    ModemProfile modemProfile() const { return lines_->at(0).engine.nextModemProfile(); }
    void setModemProfile(ModemProfile profile);
    // The tap18 terminal's timers and limits (the first line's; setTap18Settings sets every
    // line's).
    Tap18Settings& tap18Settings() { return lines_->at(0).engine.tap18().settings; }
    void setTap18Settings(const Tap18Settings& settings);

    // The lines, line `index` (0 first), and the ones with a caller on them, lowest first.
    std::size_t lineCount() const { return lines_->count(); }
    Line& lineAt(std::size_t index) { return lines_->at(index); }
    const Line& lineAt(std::size_t index) const { return lines_->at(index); }
    std::vector<const Line*> busy() const { return lines_->busy(); }
    std::size_t busyLines() const { return lines_->busyCount(); }
    bool hasBank() const { return lines_->hub() != nullptr; }
    // With a bank: the hub that runs the lines' timers (how late their ticks run).
    const TimerHub* hub() const { return lines_->hub(); }

    // Logs a line of the host's own to the system log.
    void logSystem(std::string text);

    // How every TCP line's wire frames, paces and changes characters (by default not at all).
    void setWireSettings(const WireSettings& settings);
    // How device line `index`'s wire does, with its framing.
    void setDeviceWire(std::size_t index, const WireSettings& settings);
    const WireSettings& wireSettings() const { return lines_->at(0).wire.settings(); }

    // The rules whose findings are left out (a team has accepted them for its client), and the
    // findings recorded since start by level.
    void setIgnoredRules(std::set<std::string, std::less<>> rules)
    {
        recorder_.setIgnored(std::move(rules));
    }
    const std::set<std::string, std::less<>>& ignoredRules() const { return recorder_.ignored(); }
    const FindingCounts& findingTotals() const { return recorder_.findingTotals(); }

    SystemLog& log() { return log_; }
    const Recorder& recorder() const { return recorder_; }
    const Banner& banner() const { return banner_; }
    Listener& listener() { return listener_; }
    const Listener& listener() const { return listener_; }
    // Who directs every call from now on; nullptr: nobody (the profiles, plan and wire as set).
    void setDirector(CallDirector* director);
    CallDirector* director() const { return director_; }

    // The faults planned ahead, consulted after the fault boxes; empty unless set.
    FaultPlan& plan() { return plan_; }
    const FaultPlan& plan() const { return plan_; }

private:
    // A caller put through to `target`: logged, its call recorded.
    void putThrough(long requestID, Line& target);
    // A call begins on `target` (its connection made): directed, logged, recorded.
    void callBegins(long requestID, Line& target);
    // Every line, TCP lines first, then device lines.
    template<typename Each> void forEachLine(Each each)
    {
        for (std::size_t i = 0; i < lines_->count(); ++i)
            each(lines_->at(i));
        for (std::size_t i = 0; i < deviceCount(); ++i)
            each(devices_->at(i));
    }
    // The caller of line `index` has gone, by a close or an error.
    void callOver(std::size_t index, bool error);

    SystemLog log_;
    Recorder recorder_;
    FaultPlan plan_;
    Listener listener_;
    Banner banner_;
    LogView* gLogSystem_;
    std::unique_ptr<LinePolicy> lines_;
    std::unique_ptr<DeviceLines> devices_;
    CallDirector* director_ = nullptr;
};

} // namespace ostrella
