// SPDX-License-Identifier: MIT
// How a simulator's lines are given to callers and paced. A simulator always has a bank of lines;
// the policy owns them and says which line a caller gets, what happens when the caller goes and
// what the simulator's tick does for them.
//
// OneLine: a bank of one, the classic line. A new caller takes the line over from the one on it;
// the line runs on the host's own engine and receive-wait timers, whose engine tick is also the
// simulator's tick (the banner and the log flush ride on it at its 500 / 100 ms pace, as they
// always have), and the listener opens again when the caller goes.
// LineBank: N lines on a TimerHub; a caller gets the lowest free line, or is refused when every
// line is busy; the simulator's own tick runs at 500 ms beside them.
#pragma once

#include "ports/Ports.h"
#include "sim/Line.h"
#include "sim/TimerHub.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace ostrella {

class LinePolicy {
public:
    virtual ~LinePolicy() = default;
    LinePolicy(const LinePolicy&) = delete;
    LinePolicy& operator=(const LinePolicy&) = delete;

    std::size_t count() const { return lines_.size(); }
    Line& at(std::size_t index) { return *lines_[index]; }
    const Line& at(std::size_t index) const { return *lines_[index]; }

    // Start-up: the simulator's tick runs from now on.
    virtual void start() = 0;
    // A caller: the line it is to be put through to, its timers running; nullptr: refused.
    virtual Line* admit() = 0;
    // The caller of `line` has gone. True when the listener is to open again.
    [[nodiscard]] virtual bool release(Line& line) = 0;
    // Lines with a caller on them, lowest first, and how many.
    virtual std::vector<const Line*> busy() const = 0;
    virtual std::size_t busyCount() const = 0;
    // The simulator's tick, before the log flush: each running line says what it dropped.
    virtual void reportDropped() = 0;
    // The simulator's tick, after the log flush.
    virtual void ticked() = 0;
    // The hub that runs the lines' timers, if they have one.
    virtual const TimerHub* hub() const { return nullptr; }
    // The hub's wake timer has ticked.
    virtual void wake() { }

protected:
    LinePolicy() = default;
    std::vector<std::unique_ptr<Line>> lines_;
};

// What a policy needs to build its lines.
struct LineSetup {
    const Clock& clock;
    LogView& systemLog;
    LogView& petLog;
    const TestPanel& panel;
    SystemLog& log;
    Recorder& recorder;
};

// Labels nobody sees: a line of a bank's (the progress label counts busy lines instead), a device
// line's, console mode's.
class NoLabels : public Labels {
public:
    bool shown() const override { return false; }
    void setProgress(const std::string&) override { }
    void setBanner(const std::string&) override { }
};

class OneLine : public LinePolicy {
public:
    // The line on the host's engine timer, receive-wait timer, connection and labels, and its wire
    // on the host's wire timer (nullptr: the line is never paced).
    OneLine(const LineSetup& setup, Timer& tmrDummyPkts, Timer& ComTimer, Socket& socket,
            Labels& labels, Timer* wireTimer);

    void start() override;
    // The caller on the line, if any, is dropped and its call recorded as taken over.
    Line* admit() override;
    // The listener opens again.
    bool release(Line&) override { return true; }
    std::vector<const Line*> busy() const override;
    std::size_t busyCount() const override { return busy().size(); }
    void reportDropped() override;
    // The line's engine step.
    void ticked() override;
};

class LineBank : public LinePolicy {
public:
    // `lines` lines, line i on socket(i), their timers on a hub woken by `wake`; `tick` is the
    // simulator's own tick and `labels` its progress label ("hh:mm:ss LINES 3/50 busy").
    LineBank(const LineSetup& setup, int lines, const std::function<Socket&(int)>& socket,
             Timer& wake, Timer& tick, Labels& labels);

    void start() override;
    // The lowest free line.
    Line* admit() override;
    // The line's timers stop, and what it dropped last is said; the listener never stopped.
    bool release(Line& line) override;
    std::vector<const Line*> busy() const override;
    std::size_t busyCount() const override { return busyLines_.size(); }
    void reportDropped() override;
    // The progress label.
    void ticked() override;
    const TimerHub* hub() const override { return &hub_; }
    void wake() override { hub_.wake(); }

private:
    const Clock& clock_;
    Timer& tick_;
    Labels& labels_;
    NoLabels noLabels_;
    TimerHub hub_;
    // The lines without a caller, lowest first, and the ones with one; kept as callers come and
    // go so that no tick or call looks at every line.
    std::set<std::size_t> freeLines_;
    std::set<std::size_t> busyLines_;
};

} // namespace ostrella
