// SPDX-License-Identifier: MIT
#include "suite/HtmlReport.h"

#include "sim/RecordJson.h"
#include "suite/MarkupText.h"
#include "suite/ReportStyle.h"
#include "suite/TimelineSvg.h"

#include <algorithm>
#include <array>
#include <limits>
#include <map>
#include <set>

namespace ostrella {

namespace {

// Everything the report writes of a text goes through this.
std::string h(std::string_view bytes)
{
    return markupOfBytes(bytes);
}

std::string anchorText(std::string_view text)
{
    constexpr char Hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto code = static_cast<unsigned char>(c);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.'
            || c == '-') {
            out += c;
        } else {
            out += '_';
            out += Hex[code >> 4];
            out += Hex[code & 0x0F];
        }
    }
    return out;
}

// End less start, 0 when the end is not later, and without overflow for any two times.
std::int64_t lengthMs(const CallRecord& call)
{
    if (call.end <= call.start)
        return 0;
    const std::uint64_t length
        = static_cast<std::uint64_t>(call.end) - static_cast<std::uint64_t>(call.start);
    return static_cast<std::int64_t>(
        std::min<std::uint64_t>(length, std::numeric_limits<std::int64_t>::max()));
}

std::string callAnchor(long id)
{
    return "call-" + std::to_string(id);
}

// "2026-12-08 09:05:00" (UTC).
std::string utcTime(std::int64_t epochMs)
{
    std::string time = isoTime(epochMs).substr(0, 19);
    time[10] = ' ';
    return time;
}

// The shown state of a case: its verdict, or pending / running.
std::string caseState(const CaseResult& result, const ReportInput& input)
{
    if (result.verdict)
        return std::string(verdictText(*result.verdict));
    return input.currentCase && *input.currentCase == result.id ? "running" : "pending";
}

std::string badge(const std::string& state)
{
    return "<span class=\"verdict " + state + "\">" + state + "</span>";
}

std::string countsText(const FindingCounts& counts)
{
    std::string out;
    const auto add = [&out](long count, const char* level, const char* plural) {
        if (count <= 0)
            return;
        out += "<span class=\"level " + std::string(level) + "\">" + std::to_string(count) + " "
            + (count == 1 ? level : plural) + "</span> ";
    };
    add(counts.error, "error", "errors");
    add(counts.warning, "warning", "warnings");
    add(counts.note, "note", "notes");
    return out.empty() ? "<span class=\"quiet\">none</span>" : out;
}

std::string pagesText(const CallRecord& call)
{
    std::string out;
    const std::array<std::pair<const char*, int>, 4> replies {
        { { "ACK", call.ack }, { "NAK", call.nak }, { "RS", call.rs }, { "no reply", call.none } }
    };
    for (const auto& [reply, count] : replies) {
        if (count > 0)
            out += (out.empty() ? "" : " \u00b7 ") + std::string(reply) + " "
                + std::to_string(count);
    }
    return out.empty() ? "<span class=\"quiet\">no pages</span>" : out;
}

std::string dialsText(const CallRecord& call)
{
    std::string out;
    for (const DialRecord& dial : call.dials)
        out += (out.empty() ? "" : "<br>") + h(dial.number) + " " + h(dial.outcome);
    return out.empty() ? "<span class=\"quiet\">no dial</span>" : out;
}

std::string lineText(const CallRecord& call)
{
    std::string out = call.line > 0 ? "line " + std::to_string(call.line) : "";
    if (!call.lineName.empty())
        out += (out.empty() ? "" : " ") + ("<code>" + h(call.lineName) + "</code>");
    return out.empty() ? "TCP" : out;
}

class Writer {
public:
    explicit Writer(const ReportInput& input)
        : input_(input)
    {
        for (const ReportCall& call : input.calls)
            calls_.emplace(call.record.id, &call);
    }

    std::string write()
    {
        const std::string title = input_.title.empty() ? "Ostrella report" : h(input_.title);
        out_ += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>"
            + title + "</title>\n<style>\n" + std::string(reportStyle())
            + "</style>\n</head>\n<body>\n" + "<header id=\"top\"><h1>" + title
            + "</h1>\n<p class=\"meta\">Made " + utcTime(input_.generatedAt) + " UTC \u00b7 "
            + (input_.suite ? std::to_string(input_.cases.size()) + " cases \u00b7 " : "")
            + std::to_string(input_.calls.size()) + " calls</p></header>\n<main>\n";
        if (input_.suite) {
            caseSummary();
            for (const CaseResult& result : input_.cases)
                caseSection(result);
            otherCalls();
        } else {
            callSummary();
            for (const ReportCall& call : input_.calls)
                callSection(call, "h2");
        }
        out_ += "</main>\n<footer>Ostrella \u00b7 this page holds everything it shows; it loads "
                "nothing</footer>\n</body>\n</html>\n";
        return std::move(out_);
    }

private:
    // The call's number, a link where the report has the call.
    std::string callLink(long id) const
    {
        if (!calls_.contains(id))
            return std::to_string(id);
        return "<a href=\"#" + callAnchor(id) + "\">" + std::to_string(id) + "</a>";
    }

    void caseSummary()
    {
        std::map<std::string, int> totals;
        for (const CaseResult& result : input_.cases)
            ++totals[caseState(result, input_)];
        out_ += "<section id=\"summary\">\n<h2>Summary</h2>\n<p class=\"totals\">";
        for (const char* state :
             { "pass", "non-strict", "info", "fail", "no-show", "running", "pending" }) {
            if (const auto it = totals.find(state); it != totals.end())
                out_ += "<span class=\"verdict " + it->first + "\">" + std::to_string(it->second)
                    + " " + it->first + "</span> ";
        }
        out_ += "</p>\n<table class=\"cases\">\n<thead><tr><th>case</th><th>title</th>"
                "<th>verdict</th><th>reason</th><th>calls</th><th>findings</th></tr></thead>\n"
                "<tbody>\n";
        for (const CaseResult& result : input_.cases) {
            const std::string state = caseState(result, input_);
            out_ += "<tr><td><a href=\"#" + caseAnchor(result.id) + "\">" + h(result.id)
                + "</a></td><td>" + h(result.title) + "</td><td>" + badge(state) + "</td><td>"
                + h(result.reason) + "</td><td>";
            for (std::size_t i = 0; i < result.calls.size(); ++i)
                out_ += (i > 0 ? ", " : "") + callLink(result.calls[i]);
            out_ += "</td><td>" + countsText(result.findings) + "</td></tr>\n";
        }
        out_ += "</tbody>\n</table>\n</section>\n";
    }

    void callSummary()
    {
        out_ += "<section id=\"summary\">\n<h2>Calls</h2>\n<table class=\"calls\">\n<thead><tr>"
                "<th>call</th><th>line</th><th>caller</th><th>start (UTC)</th><th>dials</th>"
                "<th>pages</th><th>ended</th><th>findings</th></tr></thead>\n<tbody>\n";
        for (const ReportCall& call : input_.calls) {
            const CallRecord& r = call.record;
            out_ += "<tr><td>" + callLink(r.id) + "</td><td>" + lineText(r) + "</td><td>"
                + h(r.caller) + "</td><td>" + utcTime(r.start) + "</td><td>" + dialsText(r)
                + "</td><td>" + pagesText(r) + "</td><td>" + h(r.ended) + "</td><td>"
                + countsText(r.findings) + "</td></tr>\n";
        }
        if (input_.calls.empty())
            out_ += "<tr><td colspan=\"8\" class=\"quiet\">No call came.</td></tr>\n";
        out_ += "</tbody>\n</table>\n</section>\n";
    }

    void caseSection(const CaseResult& result)
    {
        const std::string state = caseState(result, input_);
        out_ += "<section class=\"case\" id=\"" + caseAnchor(result.id)
            + "\">\n<h2><span "
              "class=\"case-id\">"
            + h(result.id) + "</span> " + h(result.title) + " " + badge(state) + "</h2>\n<dl>";
        const auto fact = [this](const char* name, const std::string& text) {
            if (!text.empty())
                out_ += "<dt>" + std::string(name) + "</dt><dd>" + h(text) + "</dd>";
        };
        fact("The simulator", result.does);
        fact("Expected", result.expects);
        fact("Tolerance", result.tolerance);
        fact("Reason", result.reason);
        out_ += "<dt>Findings</dt><dd>" + countsText(result.findings);
        for (std::size_t i = 0; i < result.findingRules.size(); ++i)
            out_ += (i == 0 ? " " : ", ") + ("<code>" + h(result.findingRules[i]) + "</code>");
        out_ += "</dd></dl>\n";
        if (result.calls.empty())
            out_ += "<p class=\"quiet\">No call for this case.</p>\n";
        for (const long id : result.calls) {
            const auto it = calls_.find(id);
            if (it == calls_.end())
                out_ += "<p class=\"quiet\">Call " + std::to_string(id) + ": no record.</p>\n";
            else if (!shown_.insert(id).second)
                out_ += "<p class=\"quiet\">Call " + callLink(id) + " is shown above.</p>\n";
            else
                callSection(*it->second, "h3");
        }
        out_ += "<p class=\"back\"><a href=\"#summary\">back to the summary</a></p>\n</section>\n";
    }

    void otherCalls()
    {
        bool any = false;
        for (const ReportCall& call : input_.calls) {
            if (shown_.contains(call.record.id))
                continue;
            if (!any)
                out_ += "<section class=\"case\" id=\"other-calls\">\n<h2>Calls of no case</h2>\n";
            any = true;
            shown_.insert(call.record.id);
            callSection(call, "h3");
        }
        if (any)
            out_ += "</section>\n";
    }

    void callSection(const ReportCall& call, const char* heading)
    {
        const CallRecord& r = call.record;
        out_ += "<section class=\"call\" id=\"" + callAnchor(r.id) + "\">\n<" + heading + ">Call "
            + std::to_string(r.id) + " <span class=\"ended\">" + h(r.ended) + "</span></" + heading
            + ">\n<dl class=\"grid\">";
        const auto fact = [this](const char* name, const std::string& markup) {
            out_ += "<div><dt>" + std::string(name) + "</dt><dd>" + markup + "</dd></div>";
        };
        fact("line", lineText(r));
        fact("caller", h(r.caller));
        fact("start (UTC)", utcTime(r.start));
        fact("length", secondsText(lengthMs(r)) + " s");
        fact("dials", dialsText(r));
        fact("pages", pagesText(r));
        fact("profiles", h(r.modem) + " modem, " + h(r.terminal) + " terminal");
        fact("logon", r.logon ? "yes" : "no");
        if (r.sevenBit)
            fact("line framing", "seven bits");
        if (r.noiseCounted)
            fact("changed by the line",
                 std::to_string(r.noiseIn) + " in, " + std::to_string(r.noiseOut) + " out");
        fact("findings", countsText(r.findings));
        out_ += "</dl>\n";
        if (call.timeline == nullptr) {
            out_ += "<p class=\"quiet\">The timeline of this call was not kept.</p>\n";
        } else {
            findingsTable(*call.timeline);
            out_ += "<div class=\"timeline-box\">\n" + timelineSvg(*call.timeline) + "</div>\n";
        }
        if (r.transcriptDropped > 0)
            out_ += "<p class=\"cut-note\">The transcript reached its bound: "
                + std::to_string(r.transcriptDropped) + " bytes were not kept.</p>\n";
        out_ += "</section>\n";
    }

    void findingsTable(const CallTimeline& timeline)
    {
        if (timeline.findings.empty())
            return;
        out_ += "<table class=\"findings\">\n<thead><tr><th>at</th><th>level</th><th>rule</th>"
                "<th>what the client did</th></tr></thead>\n<tbody>\n";
        for (const TimelineFinding& finding : timeline.findings) {
            out_ += "<tr><td>" + secondsText(finding.atMs) + " s</td><td><span class=\"level "
                + anchorText(finding.level) + "\">" + h(finding.level) + "</span></td><td><code>"
                + h(finding.rule) + "</code></td><td>" + h(finding.text) + "</td></tr>\n";
        }
        out_ += "</tbody>\n</table>\n";
    }

    const ReportInput& input_;
    std::map<long, const ReportCall*> calls_;
    std::set<long> shown_;
    std::string out_;
};

} // namespace

std::string caseAnchor(const std::string& caseId)
{
    return "case-" + anchorText(caseId);
}

std::string htmlReport(const ReportInput& input)
{
    return Writer(input).write();
}

} // namespace ostrella
