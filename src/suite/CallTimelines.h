// SPDX-License-Identifier: MIT
// The newest calls with their timelines, for the report, the window's Calls tab and the control
// API: at most MaxCalls of them and MaxBytes of transcript in all; the oldest go first (their
// records stay, without a timeline, up to MaxRecords).
#pragma once

#include "ports/Records.h"

#include <cstddef>
#include <deque>
#include <functional>
#include <optional>

namespace ostrella {

class CallTimelines : public RecordSink {
public:
    static constexpr std::size_t MaxCalls = 500;
    static constexpr std::size_t MaxBytes = 64 * 1024 * 1024;
    static constexpr std::size_t MaxRecords = 10'000;

    struct Call {
        CallRecord record;
        // Nothing once let go.
        std::optional<CallTimeline> timeline;
    };

    void pageRecorded(const PageRecord& /*page*/) override { }
    void callRecorded(const CallRecord& call) override;
    bool wantsTimelines() const override { return true; }
    void timelineRecorded(const CallTimeline& timeline) override;

    // Called with each call once it is kept.
    void setListener(std::function<void(const Call&)> listener) { listener_ = std::move(listener); }

    const std::deque<Call>& calls() const { return calls_; }
    // The call of that id; nullptr when not kept.
    const Call* find(long id) const;
    std::size_t timelineBytes() const { return bytes_; }
    void clear();

private:
    static std::size_t sizeOf(const CallTimeline& timeline);

    std::deque<Call> calls_;
    std::optional<CallTimeline> pending_;
    std::size_t bytes_ = 0;
    std::size_t withTimeline_ = 0;
    // Where the oldest call that may still hold its timeline is in calls_.
    std::size_t oldestTimeline_ = 0;
    std::function<void(const Call&)> listener_;
};

} // namespace ostrella
