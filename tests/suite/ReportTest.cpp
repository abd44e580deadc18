// SPDX-License-Identifier: MIT
// The HTML report of a suite run and of calls alone: verdicts in their classes, a summary that
// links to every section, one timeline per kept call, nothing fetched, every text escaped.
#include "suite/HtmlReport.h"
#include "suite/SampleCalls.h"
#include "suite/TestText.h"

#include <gtest/gtest.h>
#include <limits>
#include <regex>

namespace ostrella::test {
namespace {

// Nothing the page shows is fetched: no resource attribute or CSS URL, and the only "http" is
// the SVG namespace.
void expectSelfContained(const std::string& html)
{
    for (const char* fetching : { " src=", "<link", "@import", "url(", "<script", "<iframe" })
        EXPECT_EQ(html.find(fetching), std::string::npos) << fetching;
    EXPECT_EQ(count(html, "http"), count(html, "xmlns=\"http://www.w3.org/2000/svg\""));
    const std::regex link("href=\"([^\"]*)\"");
    for (auto it = std::sregex_iterator(html.begin(), html.end(), link);
         it != std::sregex_iterator(); ++it) {
        const std::string target = (*it)[1];
        ASSERT_TRUE(target.starts_with("#")) << target;
        EXPECT_EQ(count(html, "id=\"" + target.substr(1) + "\""), 1U) << target;
    }
}

TEST(HtmlReport, SuiteRunLeadsWithItsCasesAndDrawsEachCallOnce)
{
    const SampleRun run(true);
    const std::string html = htmlReport(run.input);
    SCOPED_TRACE(html.substr(0, 6000));
    EXPECT_TRUE(html.starts_with("<!DOCTYPE html>\n<html lang=\"en\">"));
    EXPECT_NE(html.find("<meta charset=\"utf-8\">"), std::string::npos);
    EXPECT_TRUE(html.ends_with("</html>\n"));
    EXPECT_EQ(html, htmlReport(run.input));
    expectCleanUtf8(html);
    expectSelfContained(html);

    // The summary comes first: totals, then a row per case with its verdict and reason.
    const std::size_t summary = html.find("<section id=\"summary\">");
    EXPECT_LT(summary, html.find("<section class=\"case\""));
    for (const char* total :
         { ">1 pass<", ">1 non-strict<", ">1 info<", ">1 fail<", ">1 no-show<", ">1 running<" })
        EXPECT_EQ(count(html, total), 1U) << total;
    for (const char* state : { "pass", "non-strict", "info", "fail", "no-show", "running" }) {
        const std::string badge
            = "<span class=\"verdict " + std::string(state) + "\">" + state + "</span>";
        EXPECT_EQ(count(html, badge), 2U) << state; // in the summary and in the case's heading
    }
    for (const CaseResult& result : run.input.cases) {
        EXPECT_EQ(count(html, "href=\"#case-" + result.id + "\""), 1U) << result.id;
        EXPECT_EQ(count(html, "id=\"case-" + result.id + "\""), 1U) << result.id;
    }
    EXPECT_NE(html.find("logged on as pg1 &lt;lower case&gt;"), std::string::npos);
    EXPECT_NE(html.find("no EOT after 501 &amp; ESC EOT"), std::string::npos);

    // Call 8 is in two cases: drawn under the first, linked from the second.
    EXPECT_EQ(count(html, "<svg "), 3U);
    EXPECT_EQ(count(html, "class=\"timeline\""), 3U);
    for (const char* call : { "call-7", "call-8", "call-9" })
        EXPECT_EQ(count(html, std::string("id=\"") + call + "\""), 1U) << call;
    EXPECT_LT(html.find("id=\"case-4.2\""), html.find("id=\"call-8\""));
    EXPECT_LT(html.find("id=\"call-8\""), html.find("id=\"case-5.1\""));
    EXPECT_NE(html.find("is shown above"), std::string::npos);
    EXPECT_NE(html.find("<code>block.checksum</code>"), std::string::npos);
    EXPECT_NE(html.find("The transcript reached its bound: 262144 bytes"), std::string::npos);
}

TEST(HtmlReport, CallsAloneAreListedWithTheirFactsAndTimelinesWhereKept)
{
    SampleRun run(false);
    run.input.calls[1].timeline = nullptr;
    const std::string html = htmlReport(run.input);
    SCOPED_TRACE(html.substr(0, 6000));
    expectCleanUtf8(html);
    expectSelfContained(html);
    EXPECT_EQ(html.find("class=\"case\""), std::string::npos);
    EXPECT_EQ(count(html, "<svg "), 2U);
    EXPECT_EQ(count(html, "The timeline of this call was not kept."), 1U);

    const std::size_t table = html.find("<table class=\"calls\">");
    const std::size_t end = html.find("</table>", table);
    ASSERT_NE(table, std::string::npos);
    const std::string summary = html.substr(table, end - table);
    for (const char* fact :
         { "<a href=\"#call-7\">7</a></td><td>line 2</td><td>127.0.0.1</td><td>2026-12-08 09:05:00",
           "5551234 BUSY<br>5551234 CONNECT", "ACK 2 \u00b7 NAK 1 \u00b7 RS 1", "<td>eot</td>",
           "<code>ttyUSB0</code>", "no reply 1", "<td>carrier-lost</td>",
           "<span class=\"level error\">1 error</span>",
           "<span class=\"level note\">1 note</span>" })
        EXPECT_NE(summary.find(fact), std::string::npos) << fact;
    // The findings of a kept timeline, escaped, with their times.
    EXPECT_NE(html.find("<td>74.0 s</td><td><span class=\"level warning\">warning</span></td>"
                        "<td><code>block.eight-bit</code></td><td>a byte above 0x7F in the block: "
                        "&lt;\u00e9&gt; &amp; &quot;more&quot;"),
              std::string::npos);
}

TEST(HtmlReport, HostileTextsStayText)
{
    SampleRun run(true);
    const std::string hostile = "<script>\"x\" & 'y'\x01\xFF";
    run.input.title = hostile;
    run.input.cases[0].id = "4 \"1\"";
    run.input.cases[0].reason = hostile;
    run.input.calls[0].record.caller = hostile;
    run.input.calls[0].record.dials[0].number = hostile;
    run.input.calls[0].record.ended = hostile;
    run.input.calls[0].record.start = std::numeric_limits<std::int64_t>::min();
    run.input.calls[0].record.end = std::numeric_limits<std::int64_t>::max();
    const std::string html = htmlReport(run.input);
    expectCleanUtf8(html);
    expectSelfContained(html);
    EXPECT_EQ(html.find("<script"), std::string::npos);
    EXPECT_NE(html.find("&lt;script&gt;&quot;x&quot; &amp; &#39;y&#39;&lt;SOH&gt;\u00ff"),
              std::string::npos);
    EXPECT_NE(html.find("id=\"case-4_20_221_22\""), std::string::npos);
}

} // namespace
} // namespace ostrella::test
