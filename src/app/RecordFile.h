// SPDX-License-Identifier: MIT
// Page and call records written to a JSON Lines file (--record FILE), each line written and
// flushed as its record completes. A write that fails is said once in the system log; the
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

private:
    void writeLine(const std::string& json);

    std::FILE* file_ = nullptr;
    std::string path_;
    Report report_;
    bool failed_ = false;
};

} // namespace ostrella
