// SPDX-License-Identifier: MIT
// The call's course read from its pieces (the modem and terminal stretches, the waits), and the
// timeline drawn from it: one row per piece, the waits with their lengths, the findings, every
// byte shown by name or as Latin-1 and escaped, and odd input drawn without harm.
#include "suite/TimelineSvg.h"

#include "suite/CallCourse.h"
#include "suite/MarkupText.h"
#include "suite/SampleCalls.h"
#include "suite/TestText.h"

#include <gtest/gtest.h>
#include <limits>

namespace ostrella::test {
namespace {

std::string describe(const CallCourse& course)
{
    std::string out;
    for (const CallWait& wait : course.waits) {
        out += (out.empty() ? "" : " ") + std::string(wait.name) + ":" + std::to_string(wait.from)
            + "-" + std::to_string(wait.to) + ":" + std::to_string(wait.ms);
    }
    for (const TerminalStretch& stretch : course.terminal) {
        out += " [" + std::to_string(stretch.connect) + "-"
            + (stretch.noCarrier ? std::to_string(*stretch.noCarrier) : "end") + "]";
    }
    return out;
}

TEST(CallCourse, BusyCallHasEveryWaitAndOneTerminalStretch)
{
    EXPECT_EQ(describe(callCourse(busyCall().pieces)),
              "dial:2-4:6000 dial:5-7:10400 t1:8-9:2000 t5:10-11:1600 t4:12-13:700 "
              "t3:13-14:10400 t4:15-16:1195 t3:16-17:8000 t4:17-18:900 t3:18-19:9500 "
              "t4:19-21:1400 t3:22-23:7180 t4:24-25:1690 t3:25-26:8200 t4:26-27:2900 [7-29]");
}

TEST(CallCourse, ReadsNumericResultsResentIdsAndLostCarriers)
{
    const std::string esc = "\x1B";
    struct Case {
        const char* name;
        std::vector<TimelinePiece> pieces;
        const char* expected;
    };
    const std::vector<Case> cases {
        { "ATV0 results; ID= resent after t5",
          { { 0, true, "ATDT1\r", false },
            { 2000, false, "1\r", false },
            { 2500, false, "ID=\r", false },
            { 10'500, false, "ID=\r", false },
            { 11'000, true, esc + "PG1\r", false } },
          "dial:0-1:2000 t5:2-3:8000 t5:3-4:500 [1-end]" },
        { "AT&D2 dials nothing",
          { { 0, true, "AT&D2\r", false }, { 10, false, "OK\r\n", false } },
          "" },
        { "a block resent without a reply: t3 from the resend",
          { { 0, true, "ATD5\r", false },
            { 100, false, "CONNECT\r\n", false },
            { 1000, true, tapBlock("1\rA\r"), false },
            { 11'000, true, tapBlock("1\rA\r"), false },
            { 11'300, false, "211 Sent\r\x06\r", false } },
          "dial:0-1:100 t3:3-4:300 [1-end]" },
        { "carrier lost while a block waits, then a new dial under ATV0",
          { { 0, true, "ATD5\r", false },
            { 100, false, "CONNECT\r\n", false },
            { 1000, true, tapBlock("1\rA\r"), false },
            { 1500, false, "\r\nNO CARRIER\r\n", false },
            { 2000, true, "ATD5\r", false },
            { 3000, false, "3\r", false } },
          "dial:0-1:100 dial:4-5:1000 [1-3]" },
        { "ID= unasked without CR; a block in two pieces",
          { { 0, true, "ATD5\r", false },
            { 50, false, "CONNECT\r\n", false },
            { 60, false, "ID=", false },
            { 900, true, esc + "PG1\r", false },
            { 1000, false, "110 1.8\r\x06\r" + esc + "[p\r", false },
            { 1400, true,
              "\x02"
              "1\rA",
              false },
            { 1450, true,
              "\r\x03"
              "123\r",
              false },
            { 1700, false, "\x06\r", false },
            { 1900, true, "\x04\r", false } },
          "dial:0-1:50 t5:2-3:840 t4:4-5:400 t3:6-7:250 t4:7-8:200 [1-end]" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(describe(callCourse(c.pieces)), c.expected);
    }
}

TEST(TimelineSvg, BusyCallDrawsEveryPieceWaitAndFindingReadably)
{
    const CallTimeline call = busyCall();
    const std::string svg = timelineSvg(call);
    SCOPED_TRACE(svg);
    EXPECT_TRUE(svg.starts_with("<svg xmlns=\"http://www.w3.org/2000/svg\""));
    EXPECT_TRUE(svg.ends_with("</svg>\n"));
    const std::string root = svg.substr(0, svg.find('>'));
    for (const char* attribute :
         { " width=\"", " height=\"", " viewBox=\"0 0 ", "class=\"timeline\"" })
        EXPECT_EQ(count(root, attribute), 1U) << attribute;
    EXPECT_EQ(svg, timelineSvg(call));
    expectCleanUtf8(svg);

    // One row per piece, each well below the one before, however close their times.
    EXPECT_EQ(count(svg, "<g class=\"piece\">"), 29U);
    EXPECT_EQ(count(svg, "<g class=\"change\">"), 1U);
    const std::vector<int> rows
        = lineYsAfter(svg, { "<g class=\"piece\">", "<g class=\"change\">" });
    ASSERT_EQ(rows.size(), 30U);
    for (std::size_t i = 1; i < rows.size(); ++i)
        EXPECT_GE(rows[i] - rows[i - 1], 26) << "row " << i;

    EXPECT_EQ(count(svg, "<g class=\"wait\">"), 15U);
    for (const char* label :
         { ">dial 6.0 s<", ">dial 10.4 s<", ">t1 2.0 s<", ">t5 1.6 s<", ">t4 0.70 s<",
           ">t3 10.4 s<", ">t4 1.2 s<", ">t3 7.2 s<", ">t4 2.9 s<" })
        EXPECT_EQ(count(svg, label), 1U) << label;

    EXPECT_EQ(count(svg, "<g class=\"finding error\">"), 1U);
    EXPECT_EQ(count(svg, "<g class=\"finding warning\">"), 1U);
    EXPECT_EQ(count(svg, "<g class=\"finding note\">"), 1U);
    EXPECT_NE(svg.find(">block.checksum</text>"), std::string::npos);
    EXPECT_NE(svg.find("&lt;\u00e9&gt; &amp; &quot;more&quot;"), std::string::npos);

    // Controls by name, markup escaped, bytes 0x80-0xFF as names or Latin-1, no raw markup.
    EXPECT_NE(svg.find(">110 1.8&lt;CR&gt;&lt;ACK&gt;&lt;CR&gt;&lt;ESC&gt;[p&lt;CR&gt;</text>"),
              std::string::npos);
    EXPECT_NE(svg.find(">&lt;STX&gt;5551234&lt;CR&gt;&lt;b&gt;&amp;&quot;quoted</text>"),
              std::string::npos);
    EXPECT_NE(svg.find(">&quot; \u00e9&lt;0x80&gt;\u00ff&lt;CR&gt;end"), std::string::npos);
    EXPECT_EQ(svg.find("<b>"), std::string::npos);
    EXPECT_NE(svg.find(">changed A -&gt; C</text>"), std::string::npos);

    // The long block cut to 48 characters with its length; whole in its tooltip.
    const std::string& block = call.pieces[busy::LongBlock].bytes;
    const std::string label = escapedMarkup(shownBytesCut(block, 48));
    EXPECT_TRUE(label.ends_with("\u2026 (" + std::to_string(block.size()) + ")")) << label;
    EXPECT_NE(svg.find(">" + label + "</text>"), std::string::npos);
    EXPECT_NE(svg.find(markupOfBytes(block) + "</title>"), std::string::npos);

    // The lanes, the axis and the end.
    EXPECT_EQ(count(svg, ">terminal</text>"), 1U);
    EXPECT_EQ(count(svg, ">modem</text>"), 2U);
    for (const char* tick : { ">0 s</text>", ">60 s</text>", ">120 s</text>" })
        EXPECT_EQ(count(svg, tick), 1U) << tick;
    EXPECT_NE(svg.find(">call ends at 120.0 s</text>"), std::string::npos);
    EXPECT_EQ(svg.find("class=\"cut\""), std::string::npos);
    EXPECT_EQ(svg.find("class=\"gap\""), std::string::npos);
}

TEST(TimelineSvg, OddCallsAreDrawnWholeWithANoteWhereCut)
{
    const std::int64_t never = std::numeric_limits<std::int64_t>::max();
    std::string everyByte;
    for (int c = 0; c < 256; ++c)
        everyByte += static_cast<char>(c);
    CallTimeline many;
    for (int i = 0; i < 1600; ++i)
        many.pieces.push_back({ i * 10, i % 2 == 0, "x", false });
    struct Case {
        const char* name;
        CallTimeline call;
        const char* expected;
    };
    const std::vector<Case> cases {
        { "nothing said", {}, ">call ends at 0 s</text>" },
        { "cut at the transcript's bound", cutCall(),
          ">transcript cut here: 262144 bytes more were not kept</text>" },
        { "a long silence drawn shorter", cutCall(), "<g class=\"gap\">" },
        { "more pieces than are drawn", many, ": 100 pieces more not drawn</text>" },
        { "every byte",
          { 1, 0, "", 0, 500, "", "", { { 10, true, everyByte, false } }, {}, 0 },
          "&lt;NUL&gt;&lt;SOH&gt;&lt;STX&gt;" },
        { "a dial across all of time",
          { 1,
            0,
            "",
            0,
            never,
            "",
            "",
            { { std::numeric_limits<std::int64_t>::min(), true, "ATD1\r", false },
              { never, false, "CONNECT\r", false } },
            {},
            0 },
          "<g class=\"wait\">" },
        { "times out of order, negative, and never",
          { 1,
            0,
            "",
            0,
            -5,
            "",
            "",
            { { 5000, true, "b", false },
              { -30, false, "a", false },
              { never, true, "c", false },
              { 7, false, "", true } },
            { { never, "r", "error", "t" }, { -1, "s", "odd level", "u" } },
            0 },
          "<g class=\"finding odd level\">" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string svg = timelineSvg(c.call);
        EXPECT_TRUE(svg.starts_with("<svg ")) << svg.substr(0, 200);
        EXPECT_TRUE(svg.ends_with("</svg>\n"));
        EXPECT_NE(svg.find(c.expected), std::string::npos) << c.expected;
        EXPECT_EQ(svg.find("nan"), std::string::npos);
        expectCleanUtf8(svg);
    }
}

} // namespace
} // namespace ostrella::test
