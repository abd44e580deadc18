// SPDX-License-Identifier: MIT
// The event log: writers queue lines with LogEvent; the engine timer's tick shows them with
// FlushLog, at most 11 per tick, newest at the top of each list, 100 lines kept per list.
#pragma once

#include "ports/Ports.h"

#include <array>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace ostrella {

class SystemLog {
public:
    static constexpr std::size_t QueueSize = 200;
    static constexpr int MaxLinesPerFlush = 11;
    static constexpr int MaxListLines = 100;

    explicit SystemLog(const Clock& clock);

    // Queues one line for `list`. Never fails. When the queue is full the oldest unread line is
    // dropped and counted; the next flush says how many were dropped on that list. A list that
    // takes lines at once gets the line now, formatted with the present time, and nothing queues.
    void LogEvent(LogView* list, std::string source, std::string text);

    // Shows queued lines, oldest first, so the newest ends at the top: first one line per list
    // that lost lines ("Log: N lines dropped, queue full"), then at most 11 queued lines.
    void FlushLog();

    std::size_t queued() const { return unread_; }

    // The displayed line: "hh:mm:ss" + " : " + source (a number padded to ten digits, anything
    // else unchanged) + " " + text.
    std::string formatLine(const std::string& text, const std::string& source) const;

private:
    struct Entry {
        LogView* list = nullptr;
        std::string source;
        std::string text;
    };

    void ShowLogLine(const std::string& text, const std::string& source, LogView* list);

    const Clock& clock_;
    std::array<Entry, QueueSize> gLogQueue_ {};
    std::size_t gLogWriteIndex_ = 0;
    std::size_t gLogReadIndex_ = 0;
    std::size_t unread_ = 0;
    std::vector<std::pair<LogView*, std::size_t>> dropped_;
};

} // namespace ostrella
