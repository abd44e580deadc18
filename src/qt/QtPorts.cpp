// SPDX-License-Identifier: MIT
#include "qt/QtPorts.h"

#include "qt/LogDisplay.h"

#include <QCheckBox>
#include <QDateTime>
#include <QLabel>
#include <QListWidget>
#include <QTime>
#include <QTimer>
#include <chrono>

namespace ostrella {

bool QtTimer::enabled() const
{
    return timer_.isActive();
}

void QtTimer::setEnabled(bool on)
{
    // QTimer::start() restarts a running timer; an enabled timer must keep its phase.
    if (!on)
        timer_.stop();
    else if (!timer_.isActive())
        timer_.start();
}

int QtTimer::interval() const
{
    return timer_.interval();
}

void QtTimer::setInterval(int ms)
{
    timer_.setInterval(ms);
}

std::int64_t SteadyClock::nowMs() const
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::int64_t SteadyClock::epochMs() const
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

TimeOfDay SteadyClock::localTime() const
{
    // Within one second of the system's clock the local time of day is the same.
    const std::int64_t second = epochMs() / 1000;
    if (second != second_) {
        const QTime t = QDateTime::fromSecsSinceEpoch(second).time();
        time_ = TimeOfDay { t.hour(), t.minute(), t.second() };
        second_ = second;
    }
    return time_;
}

void ListLogView::insertTop(const std::string& line)
{
    list_.insertItem(0, displayText(line));
}

void ListLogView::selectTop()
{
    list_.setCurrentRow(0);
}

int ListLogView::count() const
{
    return list_.count();
}

void ListLogView::removeAt(int index)
{
    delete list_.takeItem(index);
}

bool CheckBoxPanel::ticked(Box box) const
{
    const QCheckBox* check = boxes_[static_cast<std::size_t>(box)];
    return check != nullptr && check->isChecked();
}

void CheckBoxPanel::setTicked(Box box, bool on)
{
    if (QCheckBox* check = boxes_[static_cast<std::size_t>(box)])
        check->setChecked(on);
}

void LabelPair::setProgress(const std::string& text)
{
    progress_.setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

void LabelPair::setBanner(const std::string& text)
{
    banner_.setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

} // namespace ostrella
