// SPDX-License-Identifier: MIT
// The JUnit XML report (--junit FILE), for the test reporters of CI systems: one test case per
// call, failed when the judge made an error finding in it. The whole file is rewritten atomically
// (a temporary file renamed over it) after each call, at most every RewriteMs; one rewrite is
// still due at the end (flush()). A write that fails is said once; the next call tries again.
//
//   <testsuites name="ostrella" tests="2" failures="1" errors="0" skipped="0" time="21.500">
//     <testsuite name="ostrella" ... timestamp="2026-12-08T09:05:00" hostname="ci-7">
//       <properties> version, calls_dropped </properties>
//       <testcase name="call 2 from 127.0.0.1" classname="ostrella" time="11.250">
//         <failure message="end.no-eot" type="error">each error: time, rule, ref, text,
//           evidence</failure>
//         <system-out>each warning and note, the same way</system-out>
//       </testcase>
//     </testsuite>
//   </testsuites>
//
// While the test suite runs (setSuite), the report holds one test case per case of the suite
// instead: classname "ostrella.suite.4", name "4.1 Block NAK", a failure for a fail or a no-show
// (its message the verdict and reason), skipped while undecided, and in system-out the verdict,
// the reason, the calls and the findings' rules.
//
// On a bank of lines a case's name says its line ("call 2 from 127.0.0.1 on line 3") and its
// classname is "ostrella.line3". Bytes of the line are shown as the console shows them (control
// characters by name, 0x80-0x9F as <0x8D>), so the XML holds no raw control character.
#pragma once

#include "app/RewritePace.h"
#include "ports/Records.h"
#include "suite/Suite.h"

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

class QXmlStreamWriter;

namespace ostrella {

class JunitReport : public RecordSink {
public:
    // The newest calls kept in the report; older ones are dropped and counted.
    static constexpr std::size_t MaxCalls = 10'000;
    // Findings shown per call and kind (errors; warnings and notes); the rest are counted.
    static constexpr std::size_t MaxShownFindings = 16;
    // Bytes of a finding's evidence shown.
    static constexpr std::size_t MaxShownEvidence = 160;
    // Calls still open whose findings are held (a bank has at most 10,000 lines).
    static constexpr std::size_t MaxOpenCalls = 10'000;
    // The shortest time between two rewrites, so a run of many short calls stays cheap.
    static constexpr int RewriteMs = 500;

    // Says what went wrong, once.
    using Report = std::function<void(const std::string& text)>;

    // `rewriteMs`: the shortest time between two rewrites (0: after every call, at once).
    explicit JunitReport(int rewriteMs = RewriteMs);

    // Writes the report of no calls yet to `path`; "" when written, else why not.
    std::string open(const std::string& path);
    void setReport(Report report) { report_ = std::move(report); }

    void pageRecorded(const PageRecord&) override { }
    void callRecorded(const CallRecord& call) override;
    void findingRecorded(const FindingRecord& finding) override;

    // The suite whose cases the report holds; nullptr: the calls.
    void setSuite(const Suite* suite) { suite_ = suite; }
    // A case of the suite was decided: a rewrite is due.
    void suiteChanged() { schedule(); }

    // Rewrites the file now when a rewrite is due.
    void flush();
    // The report as it stands.
    QByteArray xml() const;

private:
    // What the report shows of a call's findings of one kind: the first MaxShownFindings, each
    // as its text, and the distinct rules in the order first made.
    struct Shown {
        std::vector<QString> lines;
        std::vector<std::string> rules;
    };
    struct Findings {
        Shown errors;
        Shown others;
    };
    // A call as the report shows it.
    struct Case {
        long id = 0;
        int line = 0;
        std::string caller;
        std::int64_t start = 0;
        std::int64_t end = 0;
        FindingCounts counts;
        Findings findings;
        // A device line's name ("ttyUSB0"); "" for a TCP line.
        std::string lineName;
    };

    // A <testcase> element for the call, or for a case of the suite.
    static void writeCase(QXmlStreamWriter& w, const Case& c);
    static void writeSuiteCase(QXmlStreamWriter& w, const CaseResult& c);
    // A rewrite is due: now, or once RewriteMs has passed since the last.
    void schedule();
    // Rewrites the file; "" when written, else why not (said once through the report).
    std::string write();

    RewritePace pace_;
    std::string path_;
    QString timestamp_;
    // The findings of calls not yet ended, by call.
    std::map<long, Findings> open_;
    std::deque<Case> cases_;
    std::size_t dropped_ = 0;
    bool failed_ = false;
    Report report_;
    const Suite* suite_ = nullptr;
};

} // namespace ostrella
