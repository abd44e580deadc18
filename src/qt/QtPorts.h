// SPDX-License-Identifier: MIT
// The core's ports over Qt objects: timers over QTimer, the clock over the steady clock, the two
// logs over list widgets, the fault boxes over check boxes and the two labels over QLabels.
#pragma once

#include "ports/Ports.h"

#include <array>
#include <cstdint>
#include <string>

class QCheckBox;
class QLabel;
class QListWidget;
class QTimer;

namespace ostrella {

class QtTimer : public Timer {
public:
    explicit QtTimer(QTimer& timer)
        : timer_(timer)
    {
    }
    bool enabled() const override;
    void setEnabled(bool on) override;
    int interval() const override;
    void setInterval(int ms) override;

private:
    QTimer& timer_;
};

class SteadyClock : public Clock {
public:
    std::int64_t nowMs() const override;
    // Read from the system once a second at most: each reading asks the C library, which looks
    // at the time zone file again each time, and a log line of every line wants it.
    TimeOfDay localTime() const override;
    std::int64_t epochMs() const override;

private:
    mutable std::int64_t second_ = -1;
    mutable TimeOfDay time_ {};
};

// A log list box: newest line on top, shown through displayText().
class ListLogView : public LogView {
public:
    explicit ListLogView(QListWidget& list)
        : list_(list)
    {
    }
    void insertTop(const std::string& line) override;
    void selectTop() override;
    int count() const override;
    void removeAt(int index) override;

private:
    QListWidget& list_;
};

// The fault boxes, read at the moment the engine asks.
class CheckBoxPanel : public TestPanel {
public:
    static constexpr std::size_t BoxCount = static_cast<std::size_t>(Box::chkDisconnect) + 1;

    explicit CheckBoxPanel(const std::array<QCheckBox*, BoxCount>& boxes)
        : boxes_(boxes)
    {
    }
    bool ticked(Box box) const override;
    // Ticks or clears a box as the operator would.
    void setTicked(Box box, bool on);

private:
    std::array<QCheckBox*, BoxCount> boxes_;
};

class LabelPair : public Labels {
public:
    LabelPair(QLabel& progress, QLabel& banner)
        : progress_(progress)
        , banner_(banner)
    {
    }
    void setProgress(const std::string& text) override;
    void setBanner(const std::string& text) override;

private:
    QLabel& progress_;
    QLabel& banner_;
};

} // namespace ostrella
