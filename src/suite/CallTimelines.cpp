// SPDX-License-Identifier: MIT
#include "suite/CallTimelines.h"

#include <algorithm>

namespace ostrella {

std::size_t CallTimelines::sizeOf(const CallTimeline& timeline)
{
    std::size_t n = sizeof(CallTimeline);
    for (const TimelinePiece& piece : timeline.pieces)
        n += sizeof(TimelinePiece) + piece.bytes.size();
    for (const TimelineFinding& finding : timeline.findings)
        n += sizeof(TimelineFinding) + finding.rule.size() + finding.text.size();
    return n;
}

void CallTimelines::timelineRecorded(const CallTimeline& timeline)
{
    pending_ = timeline;
}

void CallTimelines::callRecorded(const CallRecord& call)
{
    Call kept { call, std::nullopt };
    if (pending_ && pending_->call == call.id) {
        bytes_ += sizeOf(*pending_);
        ++withTimeline_;
        kept.timeline = std::move(pending_);
    }
    pending_.reset();
    calls_.push_back(std::move(kept));
    // The oldest timelines go first (the calls before oldestTimeline_ have none left), then the
    // oldest records.
    while ((withTimeline_ > MaxCalls || bytes_ > MaxBytes) && oldestTimeline_ + 1 < calls_.size()) {
        Call& old = calls_[oldestTimeline_++];
        if (old.timeline) {
            bytes_ -= sizeOf(*old.timeline);
            --withTimeline_;
            old.timeline.reset();
        }
    }
    while (calls_.size() > MaxRecords) {
        if (calls_.front().timeline) {
            bytes_ -= sizeOf(*calls_.front().timeline);
            --withTimeline_;
        }
        calls_.pop_front();
        if (oldestTimeline_ > 0)
            --oldestTimeline_;
    }
    if (listener_)
        listener_(calls_.back());
}

const CallTimelines::Call* CallTimelines::find(long id) const
{
    const auto it = std::lower_bound(calls_.begin(), calls_.end(), id,
                                     [](const Call& c, long n) { return c.record.id < n; });
    return it != calls_.end() && it->record.id == id ? &*it : nullptr;
}

void CallTimelines::clear()
{
    calls_.clear();
    pending_.reset();
    bytes_ = 0;
    withTimeline_ = 0;
    oldestTimeline_ = 0;
}

} // namespace ostrella
