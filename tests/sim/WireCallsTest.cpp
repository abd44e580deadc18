// SPDX-License-Identifier: MIT
// Whole calls over a paced or noisy wire in virtual time: a long block at 300 bit/s, noisy runs
// that repeat for a seed and keep every record, and the changes counted in the call record.
#include "engine/Scenario.h"
#include "sim/RecordJson.h"
#include "support/Rig.h"

#include <gtest/gtest.h>

using namespace ostrella;
using namespace ostrella::test;

namespace {

// A client that talks blindly, each step after a pause, whatever comes back: a dial, a logon, a
// block and EOT, then it hangs up.
void blindCall(Rig& rig)
{
    rig.connect();
    for (const std::string& step :
         { std::string("ATDT5551234\r"), std::string("\r"), std::string("\x1bPG1000000\r"),
           WorkedBlock, std::string("\x04\r") }) {
        rig.clientSends(step);
        rig.advance(step.size() > 10 ? 11'000 : 2'000);
    }
    rig.peerCloses();
    rig.advance(600);
}

struct NoisyRun {
    std::string sent;
    std::vector<std::string> calls;
};

NoisyRun noisyRun(std::uint64_t seed, int calls)
{
    Rig rig;
    VectorRecordSink records;
    rig.sim.addRecordSink(&records);
    WireSettings wire;
    wire.noiseRate = 0.1;
    wire.seed = seed;
    rig.sim.setWireSettings(wire);
    for (int i = 0; i < calls; ++i)
        blindCall(rig);
    NoisyRun run { rig.sentBytes(), {} };
    for (const CallRecord& call : records.calls) {
        CallRecord timeless = call;
        timeless.start = timeless.end = 0;
        run.calls.push_back(toJson(timeless));
    }
    return run;
}

} // namespace

TEST(WireCalls, ALongBlockAt300BitsASecondIsAnsweredOnceItHasCrossed)
{
    Rig rig;
    WireSettings wire;
    wire.bps = 300;
    rig.sim.setWireSettings(wire);
    rig.sim.setModemProfile(ModemProfile::Hayes);
    rig.connect();
    rig.clientSends("ATE0\r");
    rig.advance(600);
    // Five characters in, six out (CR LF OK CR LF and the echo off), each 33 1/3 ms.
    EXPECT_EQ(rig.takeSent(), "ATE0\r\r\nOK\r\n");
    rig.clientSends("ATDT5551234\r");
    rig.advance(11'500);
    EXPECT_EQ(rig.takeSent(), "\r\nCONNECT 300\r\n");
    rig.clientSends("\r");
    rig.advance(2'000);
    EXPECT_EQ(rig.takeSent(), "ID=\r\n");
    rig.clientSends("\x1bPG1000000\r");
    rig.advance(2'000);
    EXPECT_EQ(rig.takeSent(), "\x06\r\x1b[p\r");

    const std::string block = blockWithChecksum("\x02"
                                                "123\r"
                                                + std::string(248, 'M') + "\r\x03");
    ASSERT_EQ(block.size(), 259U);
    const std::int64_t sentAt = rig.now();
    rig.clientSends(block);
    rig.advance(8'600);
    EXPECT_EQ(rig.takeSent(), "") << "259 characters take 8.63 s to cross";
    rig.advance(1'500);
    EXPECT_EQ(rig.takeSent(), "\x06\r");
    const std::int64_t ackAt = rig.socket.sent.back().at;
    EXPECT_GE(ackAt - sentAt, 8'633 + 66);
    EXPECT_LE(ackAt - sentAt, 8'633 + 66 + 800);
}

TEST(WireCalls, NoisyCallsRepeatForASeedAndKeepEveryRecord)
{
    const NoisyRun first = noisyRun(42, 50);
    ASSERT_EQ(first.calls.size(), 50U);
    long changed = 0;
    for (const std::string& call : first.calls) {
        EXPECT_NE(call.find("\"noise\":{\"in\":"), std::string::npos) << call;
        changed += call.find("\"noise\":{\"in\":0,\"out\":0}") == std::string::npos ? 1 : 0;
    }
    EXPECT_GT(changed, 40);
    const NoisyRun again = noisyRun(42, 50);
    EXPECT_EQ(again.sent, first.sent);
    EXPECT_EQ(again.calls, first.calls);
    EXPECT_NE(noisyRun(43, 3).sent, noisyRun(42, 3).sent);
}

TEST(WireCalls, ThePlansChangesAreCountedAsNoiseIs)
{
    Rig rig;
    VectorRecordSink records;
    rig.sim.addRecordSink(&records);
    ASSERT_EQ(rig.sim.plan().setBlockPlan("garble,corrupt,ack"), "");
    rig.connect();
    rig.clientSends("ATDT5551234\r");
    rig.advance(11'100);
    rig.clientSends("\r");
    rig.advance(2'000);
    rig.clientSends("\x1bPG1000000\r");
    rig.advance(2'000);
    for (int i = 0; i < 3; ++i) {
        rig.clientSends(WorkedBlock);
        rig.advance(1'000);
    }
    rig.peerCloses();
    ASSERT_EQ(records.calls.size(), 1U);
    EXPECT_NE(toJson(records.calls[0]).find("\"noise\":{\"in\":1,\"out\":1}"), std::string::npos)
        << toJson(records.calls[0]);
}

TEST(WireCalls, EachLineOfABankIsPacedOnItsOwn)
{
    BankRig rig(2);
    WireSettings wire;
    wire.bps = 1200;
    rig.sim.setWireSettings(wire);
    rig.connect();
    rig.connect("127.0.0.2");
    rig.clientSends(1, "ATDT5551234\r");
    rig.advance(12'000);
    EXPECT_EQ(rig.takeSent(1), "CONNECT\r\n");
    const auto& sent = rig.sockets[1]->sent;
    ASSERT_GT(sent.size(), 1U) << "nine characters leave over 75 ms, not at once";
    // Eight characters after the first, 8 1/3 ms each, less a tick of the wire.
    EXPECT_GE(sent.back().at - sent.front().at, 8 * 25 / 3 - 8);
    EXPECT_TRUE(rig.sockets[0]->sent.empty());
}
