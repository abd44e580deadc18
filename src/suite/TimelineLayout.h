// SPDX-License-Identifier: MIT
// Where a call's timeline puts things: one row per piece down the page, the gaps between pieces
// in proportion to their length (each shortened to MaxGapPx at most), the waits in as many
// columns as they overlap, the findings stacked so that none covers another.
#pragma once

#include "ports/Records.h"
#include "suite/CallCourse.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ostrella::timeline {

// Rows and columns, in px.
inline constexpr double Pitch = 26;
inline constexpr double HeadY = 52;
inline constexpr double Top = 68;
inline constexpr double AxisX = 58;
inline constexpr double ClientX = 170;
inline constexpr double SimulatorX = 620;
inline constexpr double BandHalf = 40;
inline constexpr double WaitsX = 684;
inline constexpr double WaitColumn = 92;
inline constexpr double FindingGap = 17;
// The legend's line, below the call's end.
inline constexpr double LegendBelow = 44;
inline constexpr double MinTickGap = 30;
// The length the whole call gets at most beside its rows, and the scale's bounds (px a second).
inline constexpr double LengthBudgetPx = 600;
inline constexpr double MinPxPerSecond = 1;
inline constexpr double MaxPxPerSecond = 40;
inline constexpr double MaxGapPx = 320;
inline constexpr std::size_t MaxDrawnPieces = 1500;
inline constexpr std::size_t MaxDrawnFindings = 500;
inline constexpr std::size_t MaxRuleChars = 32;

struct GapBreak {
    double fromY = 0;
    double toY = 0;
    std::int64_t ms = 0;
};

class Layout {
public:
    Layout(const CallTimeline& call, const CallCourse& course);

    // The pieces drawn (the first MaxDrawnPieces) and the y of each one's arrow.
    std::size_t drawn() const { return rowY_.size(); }
    double rowY(std::size_t piece) const { return rowY_[piece]; }
    // The y of a time: at the first row of that time, or (last) at the last one.
    double yAt(std::int64_t ms, bool last) const;
    // The call's length (at least its last piece's time) and where it ends.
    std::int64_t endMs() const { return endMs_; }
    double endY() const { return endY_; }
    // The transcript was cut or not all of it is drawn: the note's row.
    bool cut() const { return cut_; }
    double noteY() const { return noteY_; }
    const std::vector<GapBreak>& breaks() const { return breaks_; }
    // Ticks: 1, 2, 5, 10, 15, 30 s ... apart, as the scale allows.
    std::int64_t tickStepMs() const { return tickStepMs_; }
    // The column of the course's kth wait.
    int waitColumn(std::size_t wait) const { return waitColumns_[wait]; }
    double findingsX() const { return findingsX_; }
    std::size_t findingsDrawn() const { return findingY_.size(); }
    double findingY(std::size_t finding) const { return findingY_[finding]; }
    double width() const { return width_; }
    double height() const { return height_; }

private:
    struct Anchor {
        std::int64_t ms = 0;
        double y = 0;
    };

    // Adds a row `ms` after the previous one; returns its y.
    double advance(double y, std::int64_t ms);
    void placeWaits(const std::vector<CallWait>& waits);
    void placeFindings(const std::vector<TimelineFinding>& findings);

    std::vector<double> rowY_;
    std::vector<Anchor> anchors_;
    std::vector<GapBreak> breaks_;
    std::vector<int> waitColumns_;
    std::vector<double> findingY_;
    double pxPerMs_ = 0;
    std::int64_t endMs_ = 0;
    double endY_ = 0;
    bool cut_ = false;
    double noteY_ = 0;
    std::int64_t tickStepMs_ = 1000;
    double findingsX_ = 0;
    double width_ = 0;
    double height_ = 0;
};

} // namespace ostrella::timeline
