// SPDX-License-Identifier: MIT
// Page, call and finding records written to a JSON Lines file (--record FILE), each line queued
// as its record completes (a finding's as it is made, before the page or call record it
// concerns). The records never hold up the line: a writer thread of its own writes and flushes
// them, and may wait as long as the file makes it (a FIFO whose reader does not read, a slow
// disk). The file only ever holds whole lines:
// - a write that fails (a full disk, a FIFO without a reader) is said once in the system log,
//   what it had written of its line is taken back, and it is tried again every RetryMs; when it
//   works again, that is said too, with the number of records lost meanwhile;
// - records wait in memory up to QueueLimit bytes; one that finds the queue full is lost
//   (counted, and said once until writing catches up again).
// A FIFO with no reader yet is opened by the writer thread, once a reader comes; the records
// wait for it. A file deleted under the writer is made again at its path for the next record
// (said).
#pragma once

#include "ports/Records.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <thread>

class QTimer;

namespace ostrella {

class RecordFile : public RecordSink {
public:
    // Says what went wrong (or that it works again), on the thread that set it.
    using Report = std::function<void(const std::string& text)>;

    static constexpr std::size_t QueueLimit = 16 * 1024 * 1024;
    static constexpr int RetryMs = 1000;
    // How long the end waits for the queue to be written.
    static constexpr int DrainMs = 3000;

    RecordFile();
    // Waits up to DrainMs for every queued record to be written, then leaves the writer behind.
    ~RecordFile() override;
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    // Opens (creates or empties) `path` without waiting on it; "" when it is open (or a FIFO that
    // waits for its reader), else why not.
    std::string open(const std::string& path);
    // Where the file's troubles are said; needs the event loop of the calling thread.
    void setReport(Report report);

    void pageRecorded(const PageRecord& page) override;
    void callRecorded(const CallRecord& call) override;
    void findingRecorded(const FindingRecord& finding) override;

    // Another record of the run (a case of the suite), as one JSON object.
    void writeRecord(const std::string& json) { writeLine(json); }

    // Waits up to `ms` for every queued record to be written; whether they were.
    bool drain(int ms);

private:
    struct Shared;
    void writeLine(const std::string& json);
    void deliverNotices();

    std::shared_ptr<Shared> shared_;
    std::thread writer_;
    Report report_;
    std::unique_ptr<QTimer> noticeTimer_;
};

} // namespace ostrella
