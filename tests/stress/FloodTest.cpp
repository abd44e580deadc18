// SPDX-License-Identifier: MIT
// A client sending as fast as loopback TCP carries: in the modem state, and after logon where the
// terminal waits for a block. The receive accumulator keeps at most 64 KiB and drops the rest,
// memory stays bounded, the overflow is logged once, and the next call goes through.
#include "StressSupport.h"

#include <QRegularExpression>

using namespace ostrella::stress;

namespace {

const QByteArray OverflowLine = "Event: Receive buffer full (65536 bytes), ";

// The dropped-byte counts of every overflow line in `out`.
std::vector<std::uint64_t> droppedCounts(const QByteArray& out)
{
    std::vector<std::uint64_t> counts;
    const QRegularExpression line(
        QStringLiteral("Receive buffer full \\(65536 bytes\\), (\\d+) bytes dropped"));
    auto it = line.globalMatch(QString::fromLatin1(out));
    while (it.hasNext())
        counts.push_back(it.next().captured(1).toULongLong());
    return counts;
}

struct Flood {
    std::uint64_t sent = 0;
    long sampledPeakKb = 0;
};

// Sends `total` bytes of junk at full speed, sampling the program's resident memory meanwhile.
Flood floodWithJunk(LineClient& client, qint64 pid, std::uint64_t total)
{
    Flood flood;
    flood.sent = client.flood(Junk, total, 60'000, [&](std::uint64_t) {
        flood.sampledPeakKb = std::max(flood.sampledPeakKb, residentKb(pid));
    });
    return flood;
}

std::string megabytes(std::uint64_t bytes)
{
    return std::to_string(bytes / (1024 * 1024)) + " MiB";
}

} // namespace

// One call: a flood in the modem state, the dial that follows it, the logon, and a flood where
// the terminal waits for a block. (One ten-second dial serves both floods.)
TEST_F(StressTest, FloodsInTheModemStateAndAfterLogonAreEachCutAtTheLimitAndTheLineAnswersAfterEach)
{
    LineClient client(port);
    ASSERT_TRUE(client.connected());
    const std::uint64_t total = floodBytes();

    // In the modem state.
    {
        const auto start = SteadyClock::now();
        const Flood flood = floodWithJunk(client, pid, total);
        const double floodMs = msBetween(start, SteadyClock::now());
        ASSERT_EQ(flood.sent, total) << "the program stopped taking data";
        EXPECT_EQ(client.take(), QByteArray()) << "junk gets no answer";

        // Still answering: the accumulator is emptied on the next engine tick.
        modemAnswersAt(client);
        const double answeredMs = msBetween(start, SteadyClock::now());
        const long peakKb = peakResidentKb(pid);
        note("modem flood: " + megabytes(flood.sent) + " in "
             + std::to_string(static_cast<int>(floodMs)) + " ms; resident idle "
             + std::to_string(idleResidentKb) + " KiB, sampled peak "
             + std::to_string(flood.sampledPeakKb) + " KiB, peak " + std::to_string(peakKb)
             + " KiB");
        EXPECT_LT(flood.sampledPeakKb, maxResidentKb);
        EXPECT_LT(peakKb, maxResidentKb);

        // The next call's dial, while the log catches up.
        ASSERT_TRUE(client.send("ATDT5551234\r"));
        // One overflow line for the whole flood. The modem empties the accumulator on every
        // engine tick (500 ms, a few per cent early at most), so it kept 64 KiB per tick at most.
        ASSERT_TRUE(program->waitForOutput(OverflowLine, 15'000));
        const std::vector<std::uint64_t> dropped = droppedCounts(program->readAll());
        ASSERT_EQ(dropped.size(), 1U) << "one log line per overflow";
        const auto ticks = static_cast<std::uint64_t>(answeredMs / 450) + 2;
        EXPECT_LE(dropped[0], total + 3 * 4) << "at most the flood and the ATs that met it";
        EXPECT_GE(dropped[0] + ticks * AccumulatorLimit, total);
        EXPECT_FALSE(program->out_.contains(" lines dropped, queue full"))
            << "console mode writes every line as it happens: nothing waits in the log queue";
        EXPECT_LT(residentKb(pid), maxResidentKb);
        ASSERT_EQ(client.receive("CONNECT\r\n", 13'000), QByteArray("CONNECT\r\n"));
    }

    // After logon, where the terminal waits for a block.
    logsOn(client);
    const auto start = SteadyClock::now();
    const Flood flood = floodWithJunk(client, pid, total);
    const double floodMs = msBetween(start, SteadyClock::now());
    ASSERT_EQ(flood.sent, total) << "the program stopped taking data";
    EXPECT_EQ(client.take(), QByteArray()) << "junk is no block and gets no answer";

    // The junk is cut into packets (a full accumulator that stops growing reads as silence), none
    // of them a block, so the terminal falls back to waiting for a CR; the first CR may still meet
    // a full accumulator and be dropped.
    logsOn(client, 4);
    const double answeredMs = msBetween(start, SteadyClock::now());
    blockAcked(client);
    const long peakKb = peakResidentKb(pid);
    note("block-state flood: " + megabytes(flood.sent) + " in "
         + std::to_string(static_cast<int>(floodMs)) + " ms; resident idle "
         + std::to_string(idleResidentKb) + " KiB, sampled peak "
         + std::to_string(flood.sampledPeakKb) + " KiB, peak (both floods) "
         + std::to_string(peakKb) + " KiB");
    EXPECT_LT(flood.sampledPeakKb, maxResidentKb);
    EXPECT_LT(peakKb, maxResidentKb);
    hangsUp(client);

    // One more overflow line. A packet is cut at the earliest eight receive-wait ticks (400 ms)
    // after the accumulator last grew, so it kept 64 KiB per 350 ms at most.
    QDeadlineTimer deadline(15'000);
    while (droppedCounts(program->readAll()).size() < 2 && !deadline.hasExpired())
        program->waitForOutput("\xff never", 100);
    const std::vector<std::uint64_t> dropped = droppedCounts(program->readAll());
    ASSERT_EQ(dropped.size(), 2U) << "one log line per overflow";
    const auto packets = static_cast<std::uint64_t>(answeredMs / 350) + 2;
    EXPECT_LE(dropped[1], total + 4) << "at most the flood and the CRs that met it";
    EXPECT_GE(dropped[1] + packets * AccumulatorLimit, total);
    EXPECT_TRUE(program->out_.contains("PET ")
                && (program->out_.contains("  DP: Rxd bad STX packet 0123456789 xyz")
                    || program->out_.contains("  DP: Bad response look for CR: ")))
        << "the junk packets are logged";
    EXPECT_LT(residentKb(pid), maxResidentKb);
}
