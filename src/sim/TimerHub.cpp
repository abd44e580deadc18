// SPDX-License-Identifier: MIT
#include "sim/TimerHub.h"

#include <algorithm>

namespace ostrella {

void TimerHub::HubTimer::setEnabled(bool on)
{
    if (on == enabled_)
        return;
    enabled_ = on;
    ++generation_;
    if (on) {
        ++hub_.running_;
        due_ = hub_.clock_.nowMs() + interval_;
        hub_.schedule(*this);
    } else {
        --hub_.running_;
    }
}

void TimerHub::HubTimer::setInterval(int ms)
{
    interval_ = ms;
    if (!enabled_)
        return;
    ++generation_;
    due_ = hub_.clock_.nowMs() + ms;
    hub_.schedule(*this);
}

TimerHub::TimerHub(const Clock& clock, Timer& wake)
    : clock_(clock)
    , wake_(wake)
{
}

Timer& TimerHub::add(std::function<void()> tick)
{
    return timers_.emplace_back(*this, timers_.size(), std::move(tick));
}

void TimerHub::schedule(HubTimer& timer)
{
    queue_.push(Entry { timer.due_, timer.order_, timer.generation_, &timer });
    if (!waking_ && (!wake_.enabled() || timer.due_ < wakeDue_))
        setWake();
}

void TimerHub::setWake()
{
    // Stale entries (stopped or re-timed timers) go when they reach the front.
    while (!queue_.empty() && queue_.top().generation != queue_.top().timer->generation_)
        queue_.pop();
    if (queue_.empty()) {
        wake_.setEnabled(false);
        return;
    }
    const std::int64_t now = clock_.nowMs();
    wakeDue_ = queue_.top().due;
    wake_.setInterval(static_cast<int>(std::max<std::int64_t>(1, wakeDue_ - now)));
    wake_.setEnabled(true);
}

void TimerHub::wake()
{
    const std::int64_t now = clock_.nowMs();
    waking_ = true;
    while (!queue_.empty() && queue_.top().due <= now) {
        const Entry entry = queue_.top();
        queue_.pop();
        HubTimer& timer = *entry.timer;
        if (entry.generation != timer.generation_)
            continue;
        const auto late = static_cast<std::size_t>(std::clamp<std::int64_t>(
            now - entry.due, 0, static_cast<std::int64_t>(lateness_.size()) - 1));
        ++lateness_[late];
        ++ticksRun_;
        // The next tick first, as a periodic timer has it; the tick may change it.
        timer.due_ = now + std::max(timer.interval_, 1);
        ++timer.generation_;
        queue_.push(Entry { timer.due_, timer.order_, timer.generation_, &timer });
        timer.tick_();
    }
    waking_ = false;
    setWake();
}

std::int64_t TimerHub::latenessQuantile(double q) const
{
    if (ticksRun_ == 0)
        return 0;
    const auto rank = static_cast<std::uint64_t>(q * static_cast<double>(ticksRun_ - 1));
    std::uint64_t seen = 0;
    for (std::size_t ms = 0; ms < lateness_.size(); ++ms) {
        seen += lateness_[ms];
        if (seen > rank)
            return static_cast<std::int64_t>(ms);
    }
    return static_cast<std::int64_t>(lateness_.size() - 1);
}

} // namespace ostrella
