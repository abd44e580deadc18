// SPDX-License-Identifier: MIT
#include "suite/TimelineLayout.h"

#include <algorithm>
#include <array>
#include <numeric>

namespace ostrella::timeline {

namespace {

constexpr std::array<std::int64_t, 14> TickSeconds { 1,   2,   5,   10,  15,   30,   60,
                                                     120, 300, 600, 900, 1800, 3600, 7200 };
constexpr double MinTickPx = 40;
constexpr std::int64_t MaxTicks = 400;
constexpr int MaxWaitColumns = 4;
// A rule's width on the page at 11 px, a character.
constexpr double RuleCharPx = 6.6;

} // namespace

Layout::Layout(const CallTimeline& call, const CallCourse& course)
{
    const std::size_t drawn = std::min(call.pieces.size(), MaxDrawnPieces);
    std::int64_t last = 0;
    for (std::size_t i = 0; i < drawn; ++i)
        last = std::max(last, call.pieces[i].atMs);
    endMs_ = std::max({ call.lengthMs, last, std::int64_t { 0 } });
    const double pxPerSecond = endMs_ > 0
        ? std::clamp(LengthBudgetPx * 1000.0 / static_cast<double>(endMs_), MinPxPerSecond,
                     MaxPxPerSecond)
        : MaxPxPerSecond;
    pxPerMs_ = pxPerSecond / 1000.0;

    // Rows in the pieces' order; a piece out of time order is drawn at its predecessor's time.
    double y = Top;
    std::int64_t at = 0;
    anchors_.push_back(Anchor { 0, Top });
    for (std::size_t i = 0; i < drawn; ++i) {
        const std::int64_t ms = std::max(at, call.pieces[i].atMs);
        y = advance(y, ms - at);
        at = ms;
        rowY_.push_back(y);
        anchors_.push_back(Anchor { at, y });
    }
    cut_
        = call.dropped > 0 || drawn < call.pieces.size() || call.findings.size() > MaxDrawnFindings;
    if (cut_) {
        y += Pitch;
        noteY_ = y;
    }
    endY_ = advance(y, endMs_ - at) + Pitch / 2;
    anchors_.push_back(Anchor { endMs_, endY_ });

    tickStepMs_ = 0;
    for (const std::int64_t seconds : TickSeconds) {
        if (static_cast<double>(seconds) * pxPerSecond >= MinTickPx
            && endMs_ / (seconds * 1000) <= MaxTicks) {
            tickStepMs_ = seconds * 1000;
            break;
        }
    }
    if (tickStepMs_ == 0)
        tickStepMs_ = (endMs_ / MaxTicks / 3'600'000 + 1) * 3'600'000;

    placeWaits(course.waits);
    placeFindings(call.findings);
    height_ = endY_ + LegendBelow + 18;
    for (const double findingAt : findingY_)
        height_ = std::max(height_, findingAt + 20);
}

double Layout::advance(double y, std::int64_t ms)
{
    const double px = static_cast<double>(ms) * pxPerMs_;
    if (px <= MaxGapPx)
        return y + Pitch + px;
    breaks_.push_back(GapBreak { y + Pitch / 2, y + Pitch / 2 + MaxGapPx, ms });
    return y + Pitch + MaxGapPx;
}

double Layout::yAt(std::int64_t ms, bool last) const
{
    const auto before = [](const Anchor& a, std::int64_t t) { return a.ms < t; };
    const auto after = [](std::int64_t t, const Anchor& a) { return t < a.ms; };
    if (!last) {
        const auto it = std::lower_bound(anchors_.begin(), anchors_.end(), ms, before);
        if (it == anchors_.end())
            return anchors_.back().y;
        if (it->ms == ms || it == anchors_.begin())
            return it->y;
        const Anchor& prev = *(it - 1);
        return prev.y
            + (it->y - prev.y) * static_cast<double>(ms - prev.ms)
            / static_cast<double>(it->ms - prev.ms);
    }
    const auto it = std::upper_bound(anchors_.begin(), anchors_.end(), ms, after);
    if (it == anchors_.begin())
        return anchors_.front().y;
    const Anchor& prev = *(it - 1);
    if (prev.ms == ms || it == anchors_.end())
        return prev.y;
    return prev.y
        + (it->y - prev.y) * static_cast<double>(ms - prev.ms)
        / static_cast<double>(it->ms - prev.ms);
}

// Each wait in the first column free at its start, in the order the waits start.
void Layout::placeWaits(const std::vector<CallWait>& waits)
{
    waitColumns_.assign(waits.size(), 0);
    std::vector<std::size_t> order;
    for (std::size_t k = 0; k < waits.size(); ++k) {
        if (waits[k].to < drawn())
            order.push_back(k);
    }
    std::stable_sort(order.begin(), order.end(), [&waits](std::size_t a, std::size_t b) {
        return waits[a].from < waits[b].from;
    });
    std::array<double, MaxWaitColumns> freeFrom {};
    freeFrom.fill(0);
    int columns = 0;
    for (const std::size_t k : order) {
        const double from = rowY(waits[k].from);
        int column = MaxWaitColumns - 1;
        for (int c = 0; c < MaxWaitColumns; ++c) {
            if (freeFrom[static_cast<std::size_t>(c)] <= from) {
                column = c;
                break;
            }
        }
        waitColumns_[k] = column;
        freeFrom[static_cast<std::size_t>(column)] = rowY(waits[k].to);
        columns = std::max(columns, column + 1);
    }
    findingsX_ = columns > 0 ? WaitsX + WaitColumn * columns + 24 : WaitsX + 16;
}

// Stacked in time order, each at least FindingGap below the one before.
void Layout::placeFindings(const std::vector<TimelineFinding>& findings)
{
    const std::size_t count = std::min(findings.size(), MaxDrawnFindings);
    findingY_.assign(count, 0);
    std::vector<std::size_t> order(count);
    std::iota(order.begin(), order.end(), std::size_t { 0 });
    std::stable_sort(order.begin(), order.end(), [&findings](std::size_t a, std::size_t b) {
        return findings[a].atMs < findings[b].atMs;
    });
    double y = Top - FindingGap;
    std::size_t longest = 0;
    for (const std::size_t k : order) {
        y = std::max(yAt(findings[k].atMs, true), y + FindingGap);
        findingY_[k] = y;
        longest = std::max(longest, std::min(findings[k].rule.size(), MaxRuleChars));
    }
    width_
        = count > 0 ? findingsX_ + 24 + static_cast<double>(longest + 2) * RuleCharPx : findingsX_;
    width_ = std::max(width_, SimulatorX + BandHalf + 180);
}

} // namespace ostrella::timeline
