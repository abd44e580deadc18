// SPDX-License-Identifier: MIT
// A bank of lines in virtual time: callers on separate lines with their own modem, terminal and
// pacing, a hang-up that touches no other line, every line busy, a freed line taken again, and
// lines without a call costing nothing.
#include "engine/Scenario.h"
#include "support/Rig.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>

using namespace ostrella;
using namespace ostrella::test;

namespace {

const std::string OtherBlock = blockWithChecksum("\x02"
                                                 "999\rXYZ\r\x03");

// Line `index` dials and logs on: CONNECT, ID=, the go-ahead.
void logOnLine(BankRig& rig, std::size_t index, const std::string& dial = "ATDT5551234\r")
{
    rig.clientSends(index, dial);
    rig.advance(11'100);
    ASSERT_EQ(rig.takeSent(index), "CONNECT\r\n");
    ASSERT_EQ(rig.exchange(index, "\r", 2'000), "ID=\r\n");
    ASSERT_EQ(rig.exchange(index, "\x1bPG1000000\r", 2'000), "\x06\r\x1b[p\r");
}

} // namespace

TEST(Bank, CallersGetTheirOwnLinesAndEachLineItsOwnCall)
{
    BankRig rig(3);
    VectorRecordSink records;
    rig.sim.addRecordSink(&records);
    EXPECT_TRUE(rig.sim.plan().setPager("999=nak").empty());

    rig.advance(1'000);
    rig.connect();
    rig.advance(3'000);
    rig.connect("127.0.0.2");
    EXPECT_EQ(rig.sim.busyLines(), 2U);
    rig.advance(600);
    EXPECT_TRUE(logged(rig.systemTexts(), "L1 Event: Connect request id = 1 from <127.0.0.1>"));
    EXPECT_TRUE(logged(rig.systemTexts(), "L2 Event: Connect request id = 2 from <127.0.0.2>"));

    // Line 2 dials the seven-bit number while line 1 dials a plain one; each CONNECT comes ten
    // seconds after its own dial is read, and only line 2 is seven-bit afterwards.
    rig.clientSends(0, "ATDT5551234\r");
    rig.advance(2'000);
    rig.clientSends(1, "ATDT125107\r");
    rig.advance(9'000);
    EXPECT_EQ(rig.takeSent(0), "CONNECT\r\n");
    EXPECT_EQ(rig.takeSent(1), "");
    rig.advance(2'000);
    EXPECT_EQ(rig.takeSent(1), "CONNECT\r\n");
    EXPECT_TRUE(logged(rig.petTexts(), "L2   DP:CONVERT 7 BIT active"));
    EXPECT_EQ(rig.exchange(0, "\r", 2'000), "ID=\r\n");
    rig.advance(1'000);
    EXPECT_TRUE(rig.line(1).link.gSevenBitActive());
    EXPECT_FALSE(rig.line(0).link.gSevenBitActive());

    // The plan's pager rule answers line 1's block for 999 NAK; line 3 never had a caller.
    EXPECT_EQ(rig.exchange(0, "\x1bPG1000000\r", 2'000), "\x06\r\x1b[p\r");
    EXPECT_EQ(rig.exchange(0, OtherBlock, 1'000), "\x15\r");
    EXPECT_EQ(rig.exchange(0, WorkedBlock, 1'000), "\x06\r");
    EXPECT_TRUE(rig.sockets[2]->sent.empty());

    // Line 1 hangs up; line 2's call goes on untouched.
    rig.peerCloses(0);
    EXPECT_EQ(rig.sim.busyLines(), 1U);
    ASSERT_EQ(records.calls.size(), 1U);
    EXPECT_EQ(records.calls[0].line, 1);
    ASSERT_EQ(records.pages.size(), 2U);
    EXPECT_EQ(records.pages[0].line, 1);
    EXPECT_EQ(records.pages[0].reply, "NAK");
    EXPECT_EQ(rig.line(1).state(), LineState::WAIT_CR);
    EXPECT_TRUE(rig.line(1).link.gSevenBitActive());
}

TEST(Bank, EveryLineBusyRefusesTheCallerAndAFreedLineIsTakenAgain)
{
    BankRig rig(2);
    rig.advance(600);
    rig.connect();
    rig.connect("127.0.0.2");
    rig.connect("192.0.2.9");
    EXPECT_EQ(rig.server.refused, (std::vector<long> { 3 }));
    rig.advance(600);
    EXPECT_TRUE(logged(rig.systemTexts(), " Event: all 2 lines busy, refused <192.0.2.9>"));
    EXPECT_EQ(rig.sim.busyLines(), 2U);

    // The lowest free line goes to the next caller.
    rig.peerCloses(0);
    rig.connect("127.0.0.3");
    EXPECT_EQ(rig.sockets[0]->state(), SocketState::Connected);
    rig.advance(600);
    EXPECT_TRUE(logged(rig.systemTexts(), "L1 Event: Connect request id = 4 from <127.0.0.3>"));
    EXPECT_EQ(rig.exchange(0, "AT\r", 1'100), "OK\r\n");
}

TEST(Bank, EachLineKeepsTheSingleLinePacingAndIdleLinesCostNothing)
{
    BankRig rig(50);
    rig.advance(2'000);
    // With no caller no line's timer runs, and the progress label counts the busy lines.
    EXPECT_EQ(rig.wake.enabled(), false);
    EXPECT_EQ(rig.labels.progress.back().substr(9), "LINES 0/50 busy");

    rig.connect();
    ASSERT_NO_FATAL_FAILURE(logOnLine(rig, 0));
    rig.clientSends(0, WorkedBlock);
    const std::int64_t sentAt = rig.now();
    std::int64_t answeredAt = -1;
    for (int ms = 0; ms < 1'000 && answeredAt < 0; ++ms) {
        rig.advance(1);
        if (!rig.sockets[0]->sent.empty() && rig.sockets[0]->sent.back().bytes == "\x06\r")
            answeredAt = rig.sockets[0]->sent.back().at;
    }
    // As on a line of its own: captured after the silence, answered on a 100 ms engine tick.
    EXPECT_GE(answeredAt - sentAt, 500);
    EXPECT_LE(answeredAt - sentAt, 600);
    rig.advance(500);
    EXPECT_EQ(rig.labels.progress.back().substr(9), "LINES 1/50 busy");

    rig.peerCloses(0);
    rig.advance(5'000);
    EXPECT_FALSE(rig.wake.enabled()) << "a line whose caller has gone stops its timers";
}

TEST(Bank, OneLineKeepsTheTakeoverRule)
{
    Rig rig;
    rig.advance(600);
    rig.connect();
    rig.connect();
    rig.advance(600);
    EXPECT_FALSE(rig.sim.hasBank());
    EXPECT_TRUE(rig.server.refused.empty());
    EXPECT_EQ(rig.socket.state(), SocketState::Connected);
    EXPECT_TRUE(logged(rig.systemTexts(), "Event: Connect request id = 2 from <127.0.0.1>"));
}

TEST(Bank, CallersComingAndGoingAtRandomKeepEveryLineToItself)
{
    // Seeded, so a failure replays.
    std::mt19937 random(20261208);
    const std::vector<std::string> inputs {
        "AT\r",      "ATDT5551234\r", "ATDT125107\r", "\r",  "\x1bPG1000000\r",
        WorkedBlock, OtherBlock,      "\x04\r",       "+++", std::string(3000, 'x'),
    };
    constexpr int Lines = 4;
    BankRig rig(Lines);
    rig.systemLog.keepHistory = false;
    rig.petLog.keepHistory = false;
    VectorRecordSink records;
    rig.sim.addRecordSink(&records);
    int refused = 0;
    for (int event = 0; event < 20'000; ++event) {
        const auto line = static_cast<std::size_t>(random() % Lines);
        switch (random() % 4) {
        case 0: {
            const std::size_t before = rig.sim.busyLines();
            rig.connect();
            refused += before == Lines ? 1 : 0;
            break;
        }
        case 1:
            if (rig.sockets[line]->state() == SocketState::Connected)
                rig.peerCloses(line);
            break;
        case 2:
            if (rig.sockets[line]->state() == SocketState::Connected)
                rig.clientSends(line, inputs[random() % inputs.size()]);
            break;
        default:
            rig.advance(1 + static_cast<std::int64_t>(random() % 3'000));
            break;
        }
        std::size_t connected = 0;
        for (const auto& socket : rig.sockets)
            connected += socket->state() == SocketState::Connected ? 1 : 0;
        ASSERT_EQ(rig.sim.busyLines(), connected) << "event " << event;
    }
    for (const auto& socket : rig.sockets)
        EXPECT_EQ(socket->sendsWhileClosed, 0) << "a line wrote with no caller on it";
    EXPECT_EQ(static_cast<int>(rig.server.refused.size()), refused);
    EXPECT_FALSE(records.calls.empty());
    for (const CallRecord& call : records.calls) {
        EXPECT_GE(call.line, 1);
        EXPECT_LE(call.line, Lines);
    }
}
