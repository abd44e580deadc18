// SPDX-License-Identifier: MIT
// The lines on devices of their own: a pseudo-terminal that a program opens as its modem, or a
// serial port that a device is cabled to. Each is a line like those of a bank, with its own modem,
// terminal, timers and plan position, and named by its device in its log lines and records. A call
// begins when the device side opens the line (or speaks while no call is on) and ends when it
// closes it or the line hangs up.
#pragma once

#include "sim/Line.h"
#include "sim/LinePolicy.h"
#include "sim/TimerHub.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace ostrella {

struct DevicePort {
    // What its log lines and records call it ("ttyUSB0").
    std::string name;
    // Its connection: the host's adapter of the device.
    Socket* socket = nullptr;
};

struct DevicePorts {
    std::vector<DevicePort> lines;
    // The host's timer that runs the device lines' timers; its tick must call
    // Simulator::devicesDue().
    Timer* wake = nullptr;
};

class DeviceLines {
public:
    DeviceLines(const LineSetup& setup, const DevicePorts& ports);
    DeviceLines(const DeviceLines&) = delete;
    DeviceLines& operator=(const DeviceLines&) = delete;

    std::size_t count() const { return lines_.size(); }
    Line& at(std::size_t index) { return *lines_[index]; }
    const Line& at(std::size_t index) const { return *lines_[index]; }
    // Whether a call is on line `index`.
    bool busy(std::size_t index) const { return busy_.at(index); }

    // A call begins on line `index`: its timers run; false when one is on already.
    bool open(std::size_t index);
    // The call on line `index` is over: its timers stop.
    void release(std::size_t index);
    // A number for the line's next call, in its log's connect line.
    long nextRequestId() { return ++requests_; }

    void wake() { hub_.wake(); }
    const TimerHub& hub() const { return hub_; }

private:
    NoLabels noLabels_;
    TimerHub hub_;
    std::vector<std::unique_ptr<Line>> lines_;
    std::vector<bool> busy_;
    long requests_ = 0;
};

} // namespace ostrella
