// SPDX-License-Identifier: MIT
// A complete simulator core wired to fakes and run in virtual time: a small discrete-event
// simulator. Timers fire in order of due time, ties in creation order; advance(ms) jumps from
// event to event.
#pragma once

#include "engine/Simulator.h"
#include "ports/Ports.h"

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace ostrella::test {

class Scheduler;

class VirtualClock : public Clock {
public:
    std::int64_t nowMs() const override { return now; }
    TimeOfDay localTime() const override;

    std::int64_t now = 0;
    // Local time of day at virtual time 0, in seconds after midnight (09:05:00).
    std::int64_t startOfDay = 9 * 3600 + 5 * 60;
};

class VirtualTimer : public Timer {
public:
    VirtualTimer(const VirtualClock& clock, int order);

    bool enabled() const override { return enabled_; }
    void setEnabled(bool on) override;
    int interval() const override { return interval_; }
    void setInterval(int ms) override;

    std::int64_t due() const { return due_; }
    int order() const { return order_; }
    // Called by the scheduler: next due time first, then the handler.
    void fire();

    std::function<void()> onTick;
    int ticks = 0;

private:
    const VirtualClock& clock_;
    int order_;
    bool enabled_ = false;
    int interval_ = 0;
    std::int64_t due_ = 0;
};

struct Sent {
    std::int64_t at;
    std::string bytes;
};

class FakeSocket : public Socket {
public:
    SocketState state() const override { return state_; }
    bool listen(int port) override;
    bool accept(long requestId) override;
    void close() override;
    bool send(std::string_view bytes) override;
    int localPort() const override { return port_; }
    std::string localIp() const override { return "192.0.2.7"; }
    std::string remoteHostIp() const override { return "127.0.0.1"; }
    std::string errorString() const override { return error_; }

    // Drops the connection as a peer closing it would (the listening goes on).
    void dropConnection();

    const VirtualClock* clock = nullptr;
    std::vector<Sent> sent;
    bool refuseListen = false;
    bool failSends = false;
    int listenCalls = 0;

private:
    SocketState state_ = SocketState::Closed;
    int port_ = 0;
    std::string error_;
};

// A list box: newest line at position 0; also remembers every line ever shown, oldest first.
class VectorLogView : public LogView {
public:
    void insertTop(const std::string& line) override;
    void selectTop() override { selected = 0; }
    int count() const override { return static_cast<int>(lines.size()); }
    void removeAt(int index) override;

    std::vector<std::string> lines;
    std::vector<std::string> history;
    int selected = -1;
};

class FakePanel : public TestPanel {
public:
    bool ticked(Box box) const override { return boxes.count(box) != 0; }
    void tick(Box box, bool on = true);
    std::set<Box> boxes;
};

class FakeLabels : public Labels {
public:
    void setProgress(const std::string& text) override { progress.push_back(text); }
    void setBanner(const std::string& text) override { banner.push_back(text); }
    std::vector<std::string> progress;
    std::vector<std::string> banner;
};

class Rig {
public:
    // Starts the simulator on port 9001: the engine timer ticks from 500 ms on.
    Rig();

    // Runs every timer due up to now + ms, in order, and leaves the clock at now + ms.
    void advance(std::int64_t ms);
    // Runs until the next tick of the engine timer has run.
    void nextEngineTick();
    std::int64_t now() const { return clock.now; }

    void connect();
    void peerCloses();
    void clientSends(std::string_view bytes);

    // Everything sent so far, concatenated; and everything sent since the last call.
    std::string sentBytes() const;
    std::string takeSent();

    // Log texts shown so far, oldest first, without their time stamp.
    std::vector<std::string> systemTexts() const;
    std::vector<std::string> petTexts() const;
    // Log texts shown since the last call, oldest first.
    std::vector<std::string> takePet();

    LineState state() const { return sim.session.gLineState; }

    VirtualClock clock;
    VirtualTimer tmrDummyPkts;
    VirtualTimer ComTimer;
    FakeSocket socket;
    VectorLogView systemLog;
    VectorLogView petLog;
    FakePanel panel;
    FakeLabels labels;
    Simulator sim;

private:
    long nextRequestId_ = 1;
    std::size_t sentRead_ = 0;
    std::size_t petRead_ = 0;
};

// A line's text without "hh:mm:ss : " and the blank after the (empty) source.
std::string textOf(const std::string& line);

// The last of some lines, or "" when there are none.
inline std::string lastOf(const std::vector<std::string>& lines)
{
    return lines.empty() ? std::string() : lines.back();
}

// The bytes of a block with its checksum and closing CR: STX fields... ETX c1 c2 c3 CR.
std::string blockWithChecksum(std::string_view body);

} // namespace ostrella::test
