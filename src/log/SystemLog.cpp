// SPDX-License-Identifier: MIT
#include "log/SystemLog.h"

#include <algorithm>
#include <cstdio>

namespace ostrella {

std::string formatTimeOfDay(const TimeOfDay& t)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return buf;
}

namespace {

// A source that reads as a whole number is shown padded with zeros to ten digits.
std::string formatSource(const std::string& source)
{
    const bool negative = !source.empty() && source[0] == '-';
    const std::string digits = negative ? source.substr(1) : source;
    if (digits.empty() || digits.size() > 18
        || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return source;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s%010lld", negative ? "-" : "", std::stoll(digits));
    return buf;
}

} // namespace

SystemLog::SystemLog(const Clock& clock)
    : clock_(clock)
{
}

void SystemLog::LogEvent(LogView* list, std::string source, std::string text)
{
    if (list != nullptr && list->takesLinesAtOnce()) {
        list->insertTop(formatLine(text, source));
        return;
    }
    if (unread_ == QueueSize) {
        LogView* lost = gLogQueue_[gLogReadIndex_].list;
        auto it = std::find_if(dropped_.begin(), dropped_.end(),
                               [lost](const auto& d) { return d.first == lost; });
        if (it == dropped_.end())
            dropped_.emplace_back(lost, 1);
        else
            ++it->second;
        gLogReadIndex_ = (gLogReadIndex_ + 1) % QueueSize;
        --unread_;
    }
    gLogQueue_[gLogWriteIndex_] = Entry { list, std::move(source), std::move(text) };
    gLogWriteIndex_ = (gLogWriteIndex_ + 1) % QueueSize;
    ++unread_;
}

void SystemLog::FlushLog()
{
    for (const auto& [list, count] : dropped_) {
        ShowLogLine("Log: " + std::to_string(count) + (count == 1 ? " line" : " lines")
                        + " dropped, queue full",
                    std::string(), list);
    }
    dropped_.clear();

    int shown = 0;
    while (unread_ > 0 && shown < MaxLinesPerFlush) {
        Entry entry = std::move(gLogQueue_[gLogReadIndex_]);
        gLogQueue_[gLogReadIndex_] = Entry {};
        gLogReadIndex_ = (gLogReadIndex_ + 1) % QueueSize;
        --unread_;
        ShowLogLine(entry.text, entry.source, entry.list);
        ++shown;
    }
}

std::string SystemLog::formatLine(const std::string& text, const std::string& source) const
{
    return formatTimeOfDay(clock_.localTime()) + " : " + formatSource(source) + " " + text;
}

void SystemLog::ShowLogLine(const std::string& text, const std::string& source, LogView* list)
{
    if (list == nullptr)
        return;
    list->insertTop(formatLine(text, source));
    list->selectTop();
    if (list->count() > MaxListLines)
        list->removeAt(MaxListLines);
}

} // namespace ostrella
