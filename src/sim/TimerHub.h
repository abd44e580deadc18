// SPDX-License-Identifier: MIT
// Many timers over one: the engine and receive-wait timers of every line of a bank, run by one
// timer of the host (the wake timer) that is always set for the earliest time one of them falls
// due. A stopped timer costs nothing, so lines without a call cost no work however many there are.
// Each timer keeps the Timer port's rules, so a line's engine runs at exactly the pace it would on
// timers of its own.
#pragma once

#include "ports/Ports.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <queue>
#include <vector>

namespace ostrella {

class TimerHub {
public:
    // `wake` is the host's timer the hub sets; its tick must call wake().
    TimerHub(const Clock& clock, Timer& wake);
    TimerHub(const TimerHub&) = delete;
    TimerHub& operator=(const TimerHub&) = delete;

    // A new timer of the hub, stopped; `tick` runs each time it falls due. It lives as long as
    // the hub.
    Timer& add(std::function<void()> tick);

    // The wake timer's tick: runs every timer due by now, earliest first (ties in the order they
    // fell due, then in the order added), each running timer's next tick one interval later, and
    // sets the wake timer for the next one (stops it when none runs).
    void wake();

    // Timers running now.
    std::size_t running() const { return running_; }

    // How late the timers' ticks have run, in whole ms after their due time: the q-quantile
    // (0 to 1) over every tick so far (values from 1,000 ms on count as 1,000), and how many.
    std::int64_t latenessQuantile(double q) const;
    std::uint64_t ticksRun() const { return ticksRun_; }

private:
    class HubTimer : public Timer {
    public:
        HubTimer(TimerHub& hub, std::size_t order, std::function<void()> tick)
            : hub_(hub)
            , order_(order)
            , tick_(std::move(tick))
        {
        }
        bool enabled() const override { return enabled_; }
        void setEnabled(bool on) override;
        int interval() const override { return interval_; }
        void setInterval(int ms) override;

    private:
        friend class TimerHub;
        TimerHub& hub_;
        std::size_t order_;
        std::function<void()> tick_;
        bool enabled_ = false;
        int interval_ = 0;
        std::int64_t due_ = 0;
        // Bumped whenever the due time changes or the timer stops: older queue entries are stale.
        std::uint64_t generation_ = 0;
    };

    struct Entry {
        std::int64_t due;
        std::size_t order;
        std::uint64_t generation;
        HubTimer* timer;
        bool operator>(const Entry& other) const
        {
            return due != other.due ? due > other.due : order > other.order;
        }
    };

    // Queues `timer` for its due time and sets the wake timer if that is now the earliest.
    void schedule(HubTimer& timer);
    void setWake();

    const Clock& clock_;
    Timer& wake_;
    std::deque<HubTimer> timers_;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<>> queue_;
    std::size_t running_ = 0;
    // Ticks by their lateness in ms; the last counts 1,000 ms and more.
    std::array<std::uint64_t, 1001> lateness_ {};
    std::uint64_t ticksRun_ = 0;
    // When the wake timer falls due; meaningful while it runs.
    std::int64_t wakeDue_ = 0;
    bool waking_ = false;
};

} // namespace ostrella
