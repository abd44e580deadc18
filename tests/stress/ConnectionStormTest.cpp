// SPDX-License-Identifier: MIT
// Ten thousand connections opened and closed in quick succession (5,000 a second), half of them
// reset: every one is taken and let go, no descriptor or memory is left behind, and the modem
// still answers during the storm and after it.
#include "StressSupport.h"

#include <QFile>
#include <thread>

using namespace ostrella::stress;

namespace {

// The system's count of connections dropped because a listen queue was full (every program's,
// shown for information only).
long listenOverflows()
{
    QFile file(QStringLiteral("/proc/net/netstat"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        const QList<QByteArray> names = lines[i].split(' ');
        const QList<QByteArray> values = lines[i + 1].split(' ');
        if (names.value(0) != "TcpExt:" || values.value(0) != "TcpExt:")
            continue;
        const qsizetype at = names.indexOf("ListenOverflows");
        return at > 0 ? values.value(at).toLong() : -1;
    }
    return -1;
}

} // namespace

TEST_F(StressTest, TenThousandConnectAndCloseCyclesLeaveNoDescriptorBehind)
{
    constexpr int Cycles = 10'000;
    constexpr int CheckEvery = 2'500; // an AT mid-storm: the modem still answers
    // At most 5,000 connections a second. Faster, the program's listen queue (50) overflows when
    // it is briefly off the processor, and each connection dropped there waits a second for the
    // client's SYN to be sent again: slow, though nothing fails.
    constexpr auto CyclePace = std::chrono::microseconds(200);
    int refused = 0;
    const long overflowsBefore = listenOverflows();
    const auto start = SteadyClock::now();
    auto paceFrom = start;
    for (int i = 1; i <= Cycles; ++i) {
        if (i % 10 == 0) { // no catching up in a burst after a slow stretch
            std::this_thread::sleep_until(paceFrom + 10 * CyclePace);
            paceFrom = SteadyClock::now();
        }
        LineClient client(port);
        if (!client.connected()) {
            ++refused;
            continue;
        }
        if (i % CheckEvery == 0) {
            SCOPED_TRACE("cycle " + std::to_string(i));
            modemAnswersAt(client, 1);
        }
        client.close(i % 2 == 1); // odd cycles end with a reset, even ones with an orderly close
    }
    const double stormMs = msBetween(start, SteadyClock::now());
    note(std::to_string(Cycles) + " connect/close cycles in " + std::to_string(stormMs / 1000)
         + " s; descriptors idle " + std::to_string(idleDescriptors) + ", right after "
         + std::to_string(openDescriptors(pid)) + "; resident idle "
         + std::to_string(idleResidentKb) + " KiB, after " + std::to_string(residentKb(pid))
         + " KiB; listen queue overflows in the system "
         + std::to_string(listenOverflows() - overflowsBefore));
    EXPECT_EQ(refused, 0);
    ASSERT_TRUE(program->running());

    // A closed connection is let go at once and deleted within its 2 s flush grace at the latest.
    EXPECT_EQ(waitForDescriptors(idleDescriptors, 10'000), idleDescriptors);
    EXPECT_LT(residentKb(pid), idleResidentKb + maxStormGrowthKb) << "connections are let go";
    EXPECT_LT(peakResidentKb(pid), maxResidentKb);

    // The next call: one more descriptor while it lasts, none after. The log (which drops what
    // its queue cannot hold) shows it numbered after all the others: every one reached the
    // program.
    {
        LineClient client(port);
        ASSERT_TRUE(client.connected());
        modemAnswersAt(client, 1);
        EXPECT_EQ(openDescriptors(pid), idleDescriptors + 1);
        EXPECT_TRUE(program->waitForOutput(
            "Event: Connect request id = " + QByteArray::number(Cycles + 1) + " from <127.0.0.1>",
            15'000));
        modemAnswersAt(client, 1);
    }
    EXPECT_EQ(waitForDescriptors(idleDescriptors, 10'000), idleDescriptors);
}
