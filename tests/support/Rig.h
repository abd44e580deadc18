// SPDX-License-Identifier: MIT
// A complete simulator core wired to the virtual-time fakes: a small discrete-event simulator for
// the tests. Timers fire in order of due time, ties in creation order; advance(ms) jumps from
// event to event.
#pragma once

#include "sim/Simulator.h"
#include "support/Fakes.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ostrella::test {

// The start-up line as the program writes it for version 1.0(1).
std::string startupLineV101(const std::string& port);

class Rig {
public:
    // Starts the simulator on `port`: the engine timer ticks from 500 ms on. With `start` false
    // the simulator is built and left for the test to start.
    explicit Rig(const std::string& port = "9001", bool start = true);

    // Runs every timer due up to now + ms, in order, and leaves the clock at now + ms. More than
    // ten million timer events in one advance is a livelock and fails the test.
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

    Line& line() { return sim.lineAt(0); }
    LineLink& link() { return sim.lineAt(0).link; }
    Session& session() { return sim.lineAt(0).engine.session(); }
    LineState state() const { return sim.lineAt(0).state(); }

    VirtualClock clock;
    VirtualTimer tmrDummyPkts;
    VirtualTimer ComTimer;
    VirtualTimer wireTimer;
    FakeServerSocket server;
    FakeSocket socket;
    VectorLogView systemLog;
    VectorLogView petLog;
    FakePanel panel;
    FakeLabels labels;
    Simulator sim;

private:
    Scheduler scheduler_;
    long nextRequestId_ = 1;
    std::size_t sentRead_ = 0;
    std::size_t petRead_ = 0;
};

// A simulator with a bank of lines on the fakes: a socket per line, the simulator's tick and the
// hub's wake timer, all in virtual time.
class BankRig {
public:
    explicit BankRig(int lines);

    void advance(std::int64_t ms);
    std::int64_t now() const { return clock.now; }

    // A client calls (from `ip`): it gets the lowest free line, or is refused.
    void connect(const std::string& ip = "127.0.0.1");
    // The client on line `index` (0 first) hangs up.
    void peerCloses(std::size_t index);
    void clientSends(std::size_t index, std::string_view bytes);
    // What line `index` sent since the last call.
    std::string takeSent(std::size_t index);
    // Sends `bytes` on line `index` and returns what it got back within `ms`.
    std::string exchange(std::size_t index, std::string_view bytes, std::int64_t ms);

    Line& line(std::size_t index) { return sim.lineAt(index); }
    // Log lines shown so far, oldest first, without "hh:mm:ss : ": a line's start with its
    // number ("L2 Event: ..."), the simulator's own with a blank.
    std::vector<std::string> systemTexts() const;
    std::vector<std::string> petTexts() const;

    VirtualClock clock;
    VirtualTimer tmrDummyPkts;
    VirtualTimer ComTimer;
    VirtualTimer wake;
    FakeServerSocket server;
    std::vector<std::unique_ptr<FakeSocket>> sockets;
    FakeSocket unused;
    BankPorts bank;
    VectorLogView systemLog;
    VectorLogView petLog;
    FakePanel panel;
    FakeLabels labels;
    Simulator sim;

private:
    Scheduler scheduler_;
    long nextRequestId_ = 1;
    std::vector<std::size_t> sentRead_;
};

// A simulator of one TCP line and lines on devices of their own ("ttyOST", at "/dev/ttyOST"), each
// device a fake socket that the test opens, speaks on and closes as the program or device on it.
class DeviceRig {
public:
    explicit DeviceRig(const std::vector<std::string>& names);

    void advance(std::int64_t ms);
    std::int64_t now() const { return clock.now; }

    // The device side of line `index` opens it, sends, closes it.
    void opens(std::size_t index);
    void sends(std::size_t index, std::string_view bytes);
    void closes(std::size_t index);
    std::string takeSent(std::size_t index);
    std::string exchange(std::size_t index, std::string_view bytes, std::int64_t ms);

    Line& line(std::size_t index) { return sim.deviceAt(index); }
    // Log lines shown so far, oldest first, without "hh:mm:ss : ".
    std::vector<std::string> systemTexts() const;

    VirtualClock clock;
    VirtualTimer tmrDummyPkts;
    VirtualTimer ComTimer;
    VirtualTimer wake;
    FakeServerSocket server;
    FakeSocket tcp;
    std::vector<std::unique_ptr<FakeSocket>> sockets;
    DevicePorts devices;
    VectorLogView systemLog;
    VectorLogView petLog;
    FakePanel panel;
    FakeLabels labels;
    Simulator sim;

private:
    Scheduler scheduler_;
    std::vector<std::size_t> sentRead_;
};

// A line's text without "hh:mm:ss : " and the blank after the (empty) source.
std::string textOf(const std::string& line);

// The last of some lines, or "" when there are none.
// Whether some log text is `text` exactly (a bank's lines are read without their time stamp
// only: "L2 Event: ..." for a line's, " Event: ..." for the simulator's own).
inline bool logged(const std::vector<std::string>& texts, const std::string& text)
{
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

inline std::string lastOf(const std::vector<std::string>& lines)
{
    return lines.empty() ? std::string() : lines.back();
}

} // namespace ostrella::test
