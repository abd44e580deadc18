// SPDX-License-Identifier: MIT
// The run as one self-contained HTML page: a summary first (the suite's cases and their verdicts,
// or the calls), then each case with its calls, or each call, with its findings and timeline.
#pragma once

#include "ports/Records.h"
#include "suite/CaseResult.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ostrella {

struct ReportCall {
    CallRecord record;
    // nullptr: the call's timeline was not kept.
    const CallTimeline* timeline = nullptr;
};

struct ReportInput {
    std::string title;
    // Wall-clock ms since the Unix epoch the report was made.
    std::int64_t generatedAt = 0;
    // A suite was run: the cases lead the report and the calls come under their cases.
    bool suite = false;
    std::vector<CaseResult> cases;
    std::vector<ReportCall> calls;
    // The case being played now: shown "running" while it has no verdict (the others "pending").
    std::optional<std::string> currentCase;
};

// An HTML5 document in UTF-8 with its CSS and SVG inline, no script and nothing fetched. Verdicts
// are spans of class "verdict" and the verdict's text ("pass", "non-strict", "info", "fail",
// "no-show", "pending", "running"); a case's section has the id "case-" and its id, a call's
// "call-" and its number (bytes outside [A-Za-z0-9._-] written as "_XX"); the summary links to
// them. A call under two cases is drawn under the first and linked from the second; calls of
// no case come last. Every text is written as markupOfBytes() shows it.
std::string htmlReport(const ReportInput& input);

// The id of a case's section: "case-4.1".
std::string caseAnchor(const std::string& caseId);

} // namespace ostrella
