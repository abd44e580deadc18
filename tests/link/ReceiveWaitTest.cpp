// SPDX-License-Identifier: MIT
// The receive wait: a packet is everything received once the line has been quiet for six ticks of
// 50 ms; the capture follows two ticks later.
#include "link/LineLink.h"
#include "support/Rig.h"

#include <gtest/gtest.h>

using namespace ostrella;
using namespace ostrella::test;

namespace {

struct WaitFixture : ::testing::Test {
    Rig rig;
    LineLink& link = rig.link();

    WaitFixture()
    {
        rig.tmrDummyPkts.setEnabled(false);
        rig.connect();
    }

    // Advances to `t` ms after the origin (where the wait under test is armed; 0 unless moved).
    void at(std::int64_t t) { rig.advance(origin + t - rig.now()); }

    // Leaves `text` captured as the last packet, the receive wait idle and its timer stopped,
    // and moves the origin to now.
    void holdPacket(const std::string& text)
    {
        rig.clientSends(text);
        link.SetAndCompareString(3000, "\r");
        rig.advance(1000);
        ASSERT_EQ(link.gRxPacket(), text);
        ASSERT_FALSE(rig.ComTimer.enabled());
        origin = rig.now();
    }

    std::int64_t origin = 0;
};

} // namespace

TEST_F(WaitFixture, NoDataTimesOutAfterSixtyThreeTicksWithAnEmptyPacket)
{
    ASSERT_NO_FATAL_FAILURE(holdPacket("stale"));
    link.SetAndCompareString(3000, "\r");
    at(62 * 50);
    EXPECT_EQ(link.GetCompStringTest(), CompResult::Waiting);
    at(63 * 50 - 1);
    EXPECT_EQ(link.GetCompStringTest(), CompResult::Waiting);
    at(63 * 50);
    EXPECT_EQ(link.GetCompStringTest(), CompResult::NoMatch);
    EXPECT_EQ(link.gRxPacket(), "");
    EXPECT_EQ(link.captureState(), CaptureState::Idle);
    EXPECT_TRUE(rig.ComTimer.enabled()) << "the timer keeps ticking idle after a time-out";
}

TEST_F(WaitFixture, OneBurstIsCapturedEightTicksAfterTheTickThatSeesIt)
{
    link.SetAndCompareString(3000, "\r");
    at(60);
    rig.clientSends("abc\r"); // seen by the tick at 100
    at(499);
    EXPECT_EQ(link.GetCompStringTest(), CompResult::Waiting);
    EXPECT_EQ(link.gRxPacket(), "");
    at(500);
    EXPECT_EQ(link.gRxPacket(), "abc\r");
    EXPECT_EQ(link.gRxString(), "");
    EXPECT_FALSE(rig.ComTimer.enabled()) << "the capture stops the timer";
    EXPECT_EQ(link.GetCompStringTest(), CompResult::Matched);
    EXPECT_TRUE(rig.ComTimer.enabled()) << "polling the result starts it again";
}

TEST_F(WaitFixture, APacketWithoutTheExpectedTextIsNoMatch)
{
    link.SetAndCompareString(3000, std::string(1, Etx));
    at(60);
    rig.clientSends("hello\r");
    at(500);
    EXPECT_EQ(link.GetCompStringTest(), CompResult::NoMatch);
    EXPECT_EQ(link.gRxPacket(), "hello\r");
}

TEST_F(WaitFixture, TextAlreadyReceivedJoinsThePacket)
{
    rig.clientSends("early ");
    link.SetAndCompareString(3000, "\r");
    // The tick at 50 arms, the tick at 100 sees data: capture at 500.
    at(60);
    rig.clientSends("late\r");
    at(500);
    EXPECT_EQ(link.gRxPacket(), "early late\r");
}

TEST_F(WaitFixture, GrowthRestartsTheQuietCount)
{
    link.SetAndCompareString(3000, "\r");
    at(60);
    rig.clientSends("ab"); // seen at 100
    at(390);
    rig.clientSends("c\r"); // seen at 400: quiet count starts again
    at(799);
    EXPECT_EQ(link.GetCompStringTest(), CompResult::Waiting);
    at(800);
    EXPECT_EQ(link.gRxPacket(), "abc\r");
    EXPECT_EQ(link.GetCompStringTest(), CompResult::Matched);
}

TEST(ReceiveWait, PiecesUpToTheCaptureTickMakeOnePacketLaterOnesWait)
{
    struct Case {
        const char* name;
        std::int64_t secondAt;
        std::string packet;
        std::string left;
    };
    // First piece seen by the tick at 100, capture at 500.
    const Case cases[] = {
        { "five ticks later", 340, "one\rtwo\r", "" },
        { "just before the capture", 499, "one\rtwo\r", "" },
        { "just after the capture", 501, "one\r", "two\r" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.tmrDummyPkts.setEnabled(false);
        rig.connect();
        rig.link().SetAndCompareString(3000, "\r");
        rig.advance(60);
        rig.clientSends("one\r");
        rig.advance(c.secondAt - rig.now());
        rig.clientSends("two\r");
        rig.advance(1000 - rig.now());
        EXPECT_EQ(rig.link().gRxPacket(), c.packet);
        EXPECT_EQ(rig.link().gRxString(), c.left);
    }
}

TEST_F(WaitFixture, WaitTicksRoundHalvesToEven)
{
    struct Case {
        long waitMs;
        int timeoutTick; // wait ticks + 3
    };
    const Case cases[] = { { 75, 5 }, { 125, 5 }, { 175, 7 }, { 0, 3 }, { 3000, 63 } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.waitMs);
        const std::int64_t start = rig.now();
        link.SetAndCompareString(c.waitMs, "\r");
        rig.advance(c.timeoutTick * 50 - 1);
        EXPECT_EQ(link.GetCompStringTest(), CompResult::Waiting);
        rig.advance(1);
        EXPECT_EQ(link.GetCompStringTest(), CompResult::NoMatch);
        EXPECT_EQ(rig.now() - start, c.timeoutTick * 50);
    }
}

TEST_F(WaitFixture, ArmingAgainRestartsTheWait)
{
    link.SetAndCompareString(3000, "\r");
    at(60);
    rig.clientSends("x");
    at(300);
    link.SetAndCompareString(3000, "y"); // re-armed mid-wait; timer stays on its 50 ms beat
    at(350); // arms
    at(400); // sees data
    at(799);
    EXPECT_EQ(link.GetCompStringTest(), CompResult::Waiting);
    at(800);
    EXPECT_EQ(link.GetCompStringTest(), CompResult::NoMatch);
    EXPECT_EQ(link.gRxPacket(), "x");
}

TEST_F(WaitFixture, CancelEndsTheWaitAsATimeOutWould)
{
    link.SetAndCompareString(3000, "\r");
    at(60);
    rig.clientSends("AT\r");
    at(200);
    link.CancelWait();
    EXPECT_EQ(link.GetCompStringTest(), CompResult::NoMatch);
    at(2000);
    EXPECT_EQ(link.gRxString(), "AT\r") << "a cancelled wait captures nothing";
    EXPECT_EQ(link.gRxPacket(), "");
}
