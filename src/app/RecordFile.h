// SPDX-License-Identifier: MIT
// Page, call and finding records written to a JSON Lines file (--record FILE), each line written
// and flushed as its record completes (a finding's as it is made, before the page or call record
// it concerns). A write that fails is said once in the system log; the
// simulator goes on.
#pragma once

#include "ports/Records.h"

#include <cstdio>
#include <functional>
#include <string>

namespace ostrella {

class RecordFile : public RecordSink {
public:
    // Says what went wrong, once.
    using Report = std::function<void(const std::string& text)>;

    RecordFile() = default;
    ~RecordFile() override;
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    // Opens (creates or empties) `path`; "" when it is open, else why not.
    std::string open(const std::string& path);
    void setReport(Report report) { report_ = std::move(report); }

    void pageRecorded(const PageRecord& page) override;
    void callRecorded(const CallRecord& call) override;
    void findingRecorded(const FindingRecord& finding) override;

    // Another record of the run (a case of the suite), as one JSON object.
    void writeRecord(const std::string& json) { writeLine(json); }

private:
    void writeLine(const std::string& json);

    std::FILE* file_ = nullptr;
    std::string path_;
    Report report_;
    bool failed_ = false;
};

} // namespace ostrella
