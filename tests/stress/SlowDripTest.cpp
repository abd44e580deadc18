// SPDX-License-Identifier: MIT
// A client that sends one byte every 40 ms. The receive wait cuts a packet after six quiet 50 ms
// ticks, so a drip never looks like silence: each dripped line is one packet, cut only once the
// drip stops, and answered once. The modem, which reads what arrived since its last engine tick,
// sees a command dripped between two ticks whole.
#include "StressSupport.h"

using namespace ostrella::stress;

namespace {

constexpr int DripMs = 40;
// A drip stretched this much by a loaded machine is no longer a drip of 40 ms.
constexpr double LongestFairGapMs = 200;
// The receive wait cuts a packet eight 50 ms ticks after the accumulator last grew (six quiet
// ticks, then two to cut it); the last byte may have waited for the first of them, and a timer
// may fire a little early.
constexpr double QuietBeforeCutMs = 350;

// Drips `bytes`, then expects exactly `answer`, arriving only after the drip has stopped and the
// line has been quiet long enough to cut it.
void dripIsAnsweredAfterItStops(LineClient& client, std::string_view bytes,
                                const QByteArray& answer)
{
    const double gap = client.drip(bytes, DripMs);
    ASSERT_GE(gap, 0) << "sending failed";
    ASSERT_LT(gap, LongestFairGapMs) << "the machine stretched the drip; its premise is gone";
    EXPECT_EQ(client.pending(), QByteArray()) << "nothing is answered while the drip goes on";
    EXPECT_EQ(client.receive(answer, 3'000), answer);
    const double after = msBetween(client.lastSent, client.firstArrival);
    EXPECT_GE(after, QuietBeforeCutMs) << "the packet is cut by silence, after the drip";
    std::printf("[   figure ] answered %.0f ms after the drip's last byte\n", after);
}

} // namespace

TEST_F(StressTest, SlowDripIsCutIntoPacketsOnlyWhenItStops)
{
    LineClient client(port);
    ASSERT_TRUE(client.connected());

    // The modem answers on its engine tick; an AT shows when the ticks fall. A dripped AT that
    // starts just after one tick is whole by the next and answered on it, once.
    ASSERT_TRUE(client.send("AT\r"));
    ASSERT_EQ(client.receive("OK\r\n", 2'000), QByteArray("OK\r\n"));
    const auto tick = client.firstArrival;
    EXPECT_EQ(client.quietFor(static_cast<int>(60 - msBetween(tick, SteadyClock::now()))),
              QByteArray());
    const double gap = client.drip("AT\r", DripMs);
    ASSERT_GE(gap, 0);
    ASSERT_LT(gap, LongestFairGapMs);
    EXPECT_EQ(client.receive("OK\r\n", 2'000), QByteArray("OK\r\n"));
    EXPECT_GT(msBetween(client.lastSent, client.firstArrival), 0) << "answered after the drip";
    EXPECT_LT(msBetween(tick, client.firstArrival), 1'000) << "on the next engine tick";

    dials(client);
    ASSERT_TRUE(client.send("\r"));
    ASSERT_EQ(client.receive("ID=\r\n", 3'000), QByteArray("ID=\r\n"));

    {
        SCOPED_TRACE("logon line dripped");
        dripIsAnsweredAfterItStops(client, "\x1bPG1000000\r", LogonAccepted);
    }
    {
        // 92 bytes over 3.6 s: longer than the 3 s the terminal waits for a block to start.
        SCOPED_TRACE("long block dripped");
        const std::string block = blockWithChecksum(
            "\x02"
            "5551234\rA slow sender: this page arrives one byte every forty milliseconds.\r\x03");
        ASSERT_GT(block.size() * DripMs, 3'000U);
        dripIsAnsweredAfterItStops(client, block, Ack);
    }
    {
        SCOPED_TRACE("EOT dripped");
        const double eotGap = client.drip("\x04\r", DripMs);
        ASSERT_GE(eotGap, 0);
        EXPECT_EQ(client.quietFor(1'000), QByteArray()) << "EOT is met with silence";
        modemAnswersAt(client, 1);
    }
    EXPECT_TRUE(program->waitForOutput("  DP: Rxd EOT pkt"));
    EXPECT_EQ(program->countOf("  DP: Rxd STX pkt:"), 1) << "the dripped block was one packet";
}
