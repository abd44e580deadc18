// SPDX-License-Identifier: MIT
// The HTML report (--report FILE.html): the calls kept with their timelines and, while the suite
// runs, its cases and verdicts, as one self-contained page. The whole file is rewritten
// atomically (a temporary file renamed over it) after each call and each verdict, at most every
// RewriteMs, so that it can be opened during a run; one rewrite is still due at the end
// (flush()). A write that fails is said once; the next change tries again.
#pragma once

#include "app/RewritePace.h"
#include "suite/CallTimelines.h"
#include "suite/Suite.h"

#include <functional>
#include <string>

namespace ostrella {

class ReportFile : public RecordSink {
public:
    static constexpr int RewriteMs = 500;
    using Report = std::function<void(const std::string& text)>;

    // `calls`: where the calls and their timelines are kept (a sink of the simulator's).
    explicit ReportFile(const CallTimelines& calls, int rewriteMs = RewriteMs);

    // Writes the report as it stands to `path`; "" when written, else why not.
    std::string open(const std::string& path);
    void setReport(Report report) { report_ = std::move(report); }
    // The suite whose cases the report shows; nullptr: the calls alone.
    void setSuite(const Suite* suite) { suite_ = suite; }

    void pageRecorded(const PageRecord& /*page*/) override { }
    // Called after the call store has kept the call.
    void callRecorded(const CallRecord& /*call*/) override { changed(); }

    // Something the report shows changed: a rewrite is due.
    void changed();
    // Rewrites the file now when a rewrite is due.
    void flush();
    // The page as it stands.
    std::string html() const;

private:
    std::string write();

    const CallTimelines& calls_;
    RewritePace pace_;
    std::string path_;
    const Suite* suite_ = nullptr;
    bool failed_ = false;
    Report report_;
};

} // namespace ostrella
