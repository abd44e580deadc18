// SPDX-License-Identifier: MIT
// The core's ports as fakes that run in virtual time, free of any test framework: shared by the
// test rig and the fuzzer. A virtual clock, virtual timers and a scheduler that fires them in
// order of due time (ties in the order the timers were added), a listener and a line socket that
// record what is written, log views that keep every line, settable fault boxes and labels.
#pragma once

#include "ports/Ports.h"
#include "ports/Records.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace ostrella::test {

class VirtualClock : public Clock {
public:
    std::int64_t nowMs() const override { return now; }
    TimeOfDay localTime() const override;
    std::int64_t epochMs() const override { return epochAtStart + now; }

    std::int64_t now = 0;
    // Wall-clock ms since the Unix epoch at virtual time 0 (2026-12-08 09:05:00 UTC).
    std::int64_t epochAtStart = 1'796'720'700'000;
    // Local time of day at virtual time 0, in seconds after midnight (09:05:00 unless set).
    std::int64_t startOfDay = 9 * 3600 + 5 * 60;
};

class VirtualTimer : public Timer {
public:
    VirtualTimer(const VirtualClock& clock, const char* name);

    bool enabled() const override { return enabled_; }
    void setEnabled(bool on) override;
    int interval() const override { return interval_; }
    void setInterval(int ms) override;

    std::int64_t due() const { return due_; }
    const char* name() const { return name_; }
    // Called by the scheduler: next due time first, then the handler.
    void fire();

    std::function<void()> onTick;
    int ticks = 0;

private:
    const VirtualClock& clock_;
    const char* name_;
    bool enabled_ = false;
    int interval_ = 0;
    std::int64_t due_ = 0;
};

// Fires virtual timers in order of due time; ties go to the timer added first.
class Scheduler {
public:
    explicit Scheduler(VirtualClock& clock)
        : clock_(clock)
    {
    }
    void add(VirtualTimer& timer) { timers_.push_back(&timer); }

    // Runs every timer due up to now + ms, earliest first, calling `after` once each has fired,
    // and leaves the clock at now + ms. False when more than `maxEvents` fired (a livelock); the
    // clock then stays where the last event left it.
    bool advance(std::int64_t ms, const std::function<void(VirtualTimer&)>& after = {},
                 int maxEvents = 10'000'000);

private:
    VirtualClock& clock_;
    std::vector<VirtualTimer*> timers_;
};

struct Sent {
    std::int64_t at;
    std::string bytes;
};

// One line's connection. The fake listener connects it; the test drops it as a peer would.
class FakeSocket : public Socket {
public:
    SocketState state() const override { return state_; }
    void close() override { state_ = SocketState::Closed; }
    bool send(std::string_view bytes) override;
    std::string remoteHostIp() const override { return peerIp; }

    void connect() { state_ = SocketState::Connected; }
    // The peer has gone; the core hears of it next.
    void dropConnection() { state_ = SocketState::Closed; }

    const VirtualClock* clock = nullptr;
    std::string peerIp = "127.0.0.1";
    // Every write that succeeded, with its virtual time.
    std::vector<Sent> sent;
    bool failSends = false;
    // Writes attempted with no connection open.
    int sendsWhileClosed = 0;
    // Called with every write, before it is recorded.
    std::function<void(std::string_view)> onSend;

private:
    SocketState state_ = SocketState::Closed;
};

// The listener. Port 0 takes port 40000. Refusing the port also loses the listening, as a server
// whose port was taken would.
class FakeServerSocket : public ServerSocket {
public:
    bool listen(int port) override;
    // Connects `line` (a FakeSocket); with pendingId set, only that request is accepted.
    bool accept(long requestId, Socket& line) override;
    // Counts the refusal; the caller's address is refusedIp.
    std::string refuse(long requestId) override;
    int localPort() const override { return port_; }
    std::string localIp() const override { return "192.0.2.7"; }
    std::string errorString() const override { return error_; }

    bool listening() const { return listening_; }
    void loseListener() { listening_ = false; }

    std::optional<long> pendingId;
    bool refuseListen = false;
    std::string refusedIp = "127.0.0.1";
    std::vector<long> refused;
    int listenCalls = 0;

private:
    bool listening_ = false;
    int port_ = 0;
    std::string error_;
};

// A list box: newest line at position 0; also remembers every line ever shown, oldest first.
class VectorLogView : public LogView {
public:
    bool takesLinesAtOnce() const override { return atOnce; }
    void insertTop(const std::string& line) override;
    void selectTop() override;
    int count() const override { return static_cast<int>(lines.size()); }
    void removeAt(int index) override;

    std::vector<std::string> lines;
    std::vector<std::string> history;
    bool keepHistory = true;
    // Behave as a stream that takes every line the moment it is logged.
    bool atOnce = false;
    int selected = -1;
    // The first thing asked of the list that a real list box would refuse, or "".
    std::string misuse;
};

class FakePanel : public TestPanel {
public:
    bool ticked(Box box) const override { return boxes.count(box) != 0; }
    void tick(Box box, bool on = true);
    std::set<Box> boxes;
};

class FakeLabels : public Labels {
public:
    void setProgress(const std::string& text) override;
    void setBanner(const std::string& text) override;
    std::vector<std::string> progress;
    std::vector<std::string> banner;
    // Keep at most this many of each (the fuzzer runs for hours of virtual time).
    std::size_t keep = static_cast<std::size_t>(-1);
};

// Keeps every record it is given.
class VectorRecordSink : public RecordSink {
public:
    void pageRecorded(const PageRecord& page) override { pages.push_back(page); }
    void callRecorded(const CallRecord& call) override { calls.push_back(call); }
    void findingRecorded(const FindingRecord& finding) override { findings.push_back(finding); }
    std::vector<PageRecord> pages;
    std::vector<CallRecord> calls;
    std::vector<FindingRecord> findings;
};

// The bytes of a block with its checksum and closing CR: STX fields... ETX c1 c2 c3 CR.
std::string blockWithChecksum(std::string_view body);

} // namespace ostrella::test
