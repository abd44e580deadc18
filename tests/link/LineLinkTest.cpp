// SPDX-License-Identifier: MIT
#include "link/LineLink.h"

#include "support/Rig.h"

#include <gtest/gtest.h>

using namespace ostrella;
using namespace ostrella::test;

namespace {

// The line link alone: the engine timer is stopped so nothing consumes what arrives.
struct LinkFixture : ::testing::Test {
    Rig rig;
    LineLink& link = rig.link();

    LinkFixture() { rig.tmrDummyPkts.setEnabled(false); }

    std::vector<std::string> systemLines()
    {
        for (int i = 0; i < 30; ++i)
            rig.sim.log().FlushLog();
        return rig.systemTexts();
    }
    std::string lastSystemLine() { return lastOf(systemLines()); }
    // gRxString holds exactly `text` (as received, the line being plain text).
    void holds(const std::string& text)
    {
        link.ClearInputBuffer();
        link.wskMessage_DataArrival(text);
    }
};

} // namespace

TEST(CompString, FindsTheNeedleAnywhereIgnoringCase)
{
    struct Case {
        const char* name;
        std::string needle;
        std::string text;
        bool found;
    };
    const Case cases[] = {
        { "lower-case needle in upper-case text", "atdt", "XXATDT555", true },
        { "whole text", "ATH", "ath", true },
        { "at the very end", "h", "ATH", true },
        { "needle longer than text", "ATDT", "ATD", false },
        { "two empty texts", "", "", true },
        { "empty needle", "", "abc", true },
        { "empty text", "a", "", false },
        { "absent", "ATE0", "ATE1", false },
        { "control characters", std::string("\x1bPG1"), std::string("\r\x1bpg1000000\r"), true },
        { "bytes above 127 compare exactly", "\xe9", "\xc9", false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(LineLink::CompString(c.needle, c.text), c.found);
    }
}

TEST(CompString, WorksOnTextsBeyondSixteenBitLengths)
{
    std::string text(100'000, 'x');
    text += "ATDT";
    EXPECT_TRUE(LineLink::CompString("atdt", text));
    EXPECT_FALSE(LineLink::CompString(text + "y", text));
}

TEST_F(LinkFixture, RxDataTakesFromTheFrontAndNeverFails)
{
    struct Case {
        const char* name;
        std::string before;
        long count;
        std::string result;
        std::string after;
    };
    const Case cases[] = {
        { "part", "abcd", 2, "ab", "cd" },
        { "all", "abcd", 4, "abcd", "" },
        { "more than there is", "abcd", 10, "abcd", "" },
        { "negative count", "abcd", -1, "", "abcd" },
        { "zero of one character empties it", "x", 0, "", "" },
        { "zero of two leaves them", "xy", 0, "", "xy" },
        { "empty", "", 3, "", "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        holds(c.before);
        EXPECT_EQ(link.RxData(c.count), c.result);
        EXPECT_EQ(link.gRxString(), c.after);
    }
}

TEST_F(LinkFixture, SmallOperationsBehaveAsDocumented)
{
    holds("abc");
    EXPECT_EQ(link.InBufferCount(), 3U);
    EXPECT_TRUE(link.ClearInputBuffer());
    EXPECT_EQ(link.InBufferCount(), 0U);
    EXPECT_FALSE(link.REOPENport("COM1", "9600,n,8,1"));
    EXPECT_EQ(link.GetSYSHeader(), 0);
    for (int index : { -1, 0, 10, 11, 32767 }) {
        SCOPED_TRACE(index);
        EXPECT_EQ(link.GetSYSString(index), "");
    }
}

TEST_F(LinkFixture, SendWhileNotConnectedSendsAndLogsNothing)
{
    const auto before = systemLines().size();
    link.SendData("OK\r\n");
    EXPECT_TRUE(rig.socket.sent.empty());
    EXPECT_EQ(systemLines().size(), before);
}

TEST_F(LinkFixture, SendAndReceiveAreLoggedWithThePeerAddress)
{
    rig.connect();
    link.SendData("OK\r\n");
    EXPECT_EQ(rig.sentBytes(), "OK\r\n");
    EXPECT_EQ(lastSystemLine(), "Event: <127.0.0.1> Data Pkt Txd ----> <OK\r\n>");

    rig.clientSends("AT\r");
    rig.clientSends("Z");
    EXPECT_EQ(link.gRxString(), "AT\rZ");
    const auto lines = systemLines();
    EXPECT_EQ(lines[lines.size() - 2], "Event: <127.0.0.1> Data Pkt Rxd <AT\r>");
    EXPECT_EQ(lastOf(lines), "Event: <127.0.0.1> Data Pkt Rxd <Z>");
}

TEST_F(LinkFixture, FailedSendIsLoggedAndTheCallerGoesOn)
{
    rig.connect();
    rig.socket.failSends = true;
    link.SendData("ID=\r\n");
    EXPECT_EQ(lastSystemLine(), "Event: <127.0.0.1> Data Pkt Txd FAILED <ID=\r\n>");
}

TEST_F(LinkFixture, SevenBitLineConvertsBothWaysAndLogsPlainText)
{
    rig.connect();
    link.setSevenBitActive(true);
    link.SendData("OK\r\n");
    EXPECT_EQ(rig.sentBytes(), std::string("\xcf\x4b\x8d\x0a"));
    EXPECT_EQ(lastSystemLine(), "Event: <127.0.0.1> Data Pkt Txd ----> <OK\r\n>");

    rig.clientSends(std::string("\xcf\x4b\x8d\x0a"));
    EXPECT_EQ(link.gRxString(), "OK\r\n");
    EXPECT_EQ(lastSystemLine(), "Event: <127.0.0.1> Data Pkt Rxd <OK\r\n>");

    link.setSevenBitActive(false);
    link.ClearInputBuffer();
    rig.clientSends(std::string("\xcf"));
    EXPECT_EQ(link.gRxString(), std::string("\xcf"));
}

TEST_F(LinkFixture, AccumulatorIsBoundedAndOneLinePerEpisodeSaysHowMuchWasDropped)
{
    rig.connect();
    rig.clientSends(std::string(60'000, 'a'));
    rig.clientSends(std::string(10'000, 'b'));
    EXPECT_EQ(link.gRxString().size(), LineLink::RxStringLimit);
    link.ReportDropped(); // still dropping in this tick: the episode goes on
    rig.clientSends(std::string(1'000, 'c'));
    link.ReportDropped();
    link.ReportDropped(); // a tick with no drop ends the episode
    link.ReportDropped();
    int reports = 0;
    for (const auto& line : systemLines()) {
        if (line.find("Receive buffer full") != std::string::npos) {
            ++reports;
            EXPECT_EQ(line, "Event: Receive buffer full (65536 bytes), 5464 bytes dropped");
        }
    }
    EXPECT_EQ(reports, 1);

    link.ClearInputBuffer();
    rig.clientSends("AT\r");
    EXPECT_EQ(link.gRxString(), "AT\r");
}
