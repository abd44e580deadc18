// SPDX-License-Identifier: MIT
#include "log/SystemLog.h"

#include "support/Rig.h"

#include <gtest/gtest.h>

using namespace ostrella;
using namespace ostrella::test;

namespace {

struct LogFixture : ::testing::Test {
    VirtualClock clock;
    SystemLog log { clock };
    VectorLogView view;
    VectorLogView other;

    void queue(int n, const std::string& prefix = "line ")
    {
        for (int i = 1; i <= n; ++i)
            log.LogEvent(&view, std::string(), prefix + std::to_string(i));
    }
};

} // namespace

TEST_F(LogFixture, LineIsTimeColonSourceBlankText)
{
    clock.startOfDay = 9 * 3600 + 5 * 60 + 1;
    log.LogEvent(&view, std::string(), "  DP: Sending ACK");
    log.FlushLog();
    ASSERT_EQ(view.lines.size(), 1U);
    // The time, " : ", the empty source, one blank, then the text with its own two blanks.
    EXPECT_EQ(view.lines[0], "09:05:01 :    DP: Sending ACK");
}

TEST_F(LogFixture, NumericSourceIsPaddedToTenDigitsOtherSourcesUnchanged)
{
    struct Case {
        const char* source;
        const char* shown;
    };
    const Case cases[] = {
        { "42", "0000000042 x" },  { "1234567890123", "1234567890123 x" },
        { "-5", "-0000000005 x" }, { "COM1", "COM1 x" },
        { "12a", "12a x" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        EXPECT_EQ(log.formatLine("x", c.source), "09:05:00 : " + std::string(c.shown));
    }
}

TEST_F(LogFixture, LinesLoggedInOneTickShowTogetherNewestOnTopSelected)
{
    queue(3);
    EXPECT_TRUE(view.lines.empty()) << "nothing is shown before the flush";
    log.FlushLog();
    ASSERT_EQ(view.lines.size(), 3U);
    EXPECT_EQ(textOf(view.lines[0]), "line 3");
    EXPECT_EQ(textOf(view.lines[2]), "line 1");
    EXPECT_EQ(view.selected, 0);
}

TEST_F(LogFixture, FifteenQueuedLinesShowAsElevenThenFour)
{
    queue(15);
    log.FlushLog();
    EXPECT_EQ(view.lines.size(), 11U);
    EXPECT_EQ(textOf(view.lines[0]), "line 11");
    log.FlushLog();
    EXPECT_EQ(view.lines.size(), 15U);
    EXPECT_EQ(textOf(view.lines[0]), "line 15");
    EXPECT_EQ(log.queued(), 0U);
}

TEST_F(LogFixture, ListKeepsHundredLinesDroppingTheOldest)
{
    queue(100);
    for (int i = 0; i < 10; ++i)
        log.FlushLog();
    EXPECT_EQ(view.lines.size(), 100U);
    log.LogEvent(&view, std::string(), "line 101");
    log.FlushLog();
    ASSERT_EQ(view.lines.size(), 100U);
    EXPECT_EQ(textOf(view.lines[0]), "line 101");
    EXPECT_EQ(textOf(view.lines[99]), "line 2");
}

TEST_F(LogFixture, FullQueueDropsOldestAndSaysHowManyOnTheListThatLostThem)
{
    queue(200);
    log.LogEvent(&other, std::string(), "other 1");
    queue(4, "late ");
    // 205 lines for 200 slots: lines 1..5 of `view` are gone.
    EXPECT_EQ(log.queued(), 200U);
    log.FlushLog();
    ASSERT_EQ(view.lines.size(), 12U);
    EXPECT_EQ(textOf(view.lines[11]), "Log: 5 lines dropped, queue full");
    EXPECT_EQ(textOf(view.lines[10]), "line 6");
    EXPECT_TRUE(other.lines.empty());
    for (int i = 0; i < 20; ++i)
        log.FlushLog();
    EXPECT_EQ(other.lines.size(), 1U);
    EXPECT_EQ(textOf(view.lines[0]), "late 4");
    EXPECT_EQ(view.history.size(), 200U);
}

TEST_F(LogFixture, ALapOfTheRingLosesNothingSilently)
{
    queue(400);
    log.FlushLog();
    EXPECT_EQ(textOf(view.history.front()), "Log: 200 lines dropped, queue full");
    EXPECT_EQ(textOf(view.history[1]), "line 201");
    for (int i = 0; i < 30; ++i)
        log.FlushLog();
    EXPECT_EQ(textOf(view.lines[0]), "line 400");
}

TEST_F(LogFixture, NullListLosesOnlyThatLine)
{
    log.LogEvent(nullptr, std::string(), "nowhere");
    log.LogEvent(&view, std::string(), "somewhere");
    log.FlushLog();
    ASSERT_EQ(view.lines.size(), 1U);
    EXPECT_EQ(textOf(view.lines[0]), "somewhere");
}

TEST_F(LogFixture, AStreamTakesEveryLineAtOnceStampedWhenLoggedWhileAListKeepsItsPace)
{
    VectorLogView stream;
    stream.atOnce = true;
    for (int i = 0; i < 300; ++i) {
        clock.now = i * 10;
        log.LogEvent(&stream, std::string(), "event " + std::to_string(i));
    }
    queue(15);
    EXPECT_EQ(stream.history.size(), 300U) << "nothing waits for a tick, nothing is dropped";
    EXPECT_EQ(stream.history[0], "09:05:00 :  event 0");
    EXPECT_EQ(stream.history[299], "09:05:02 :  event 299") << "stamped with the event's time";
    EXPECT_EQ(log.queued(), 15U) << "only the paced list's lines queue";
    clock.now = 60'000;
    log.FlushLog();
    EXPECT_EQ(view.lines.size(), 11U);
    EXPECT_EQ(stream.history.size(), 300U);
}
