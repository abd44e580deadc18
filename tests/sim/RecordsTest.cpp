// SPDX-License-Identifier: MIT
// Page and call records of whole calls in virtual time, calls that follow a fault plan, and the
// JSON the records are written as.
#include "engine/Scenario.h"
#include "link/SevenBit.h"
#include "sim/RecordJson.h"
#include "sim/RecordStore.h"

#include <gtest/gtest.h>

using namespace ostrella;
using namespace ostrella::test;

namespace {

// A rig whose simulator hands its records to `sink`.
struct RecordingRig : Rig {
    RecordingRig() { sim.addRecordSink(&sink); }
    VectorRecordSink sink;
};

} // namespace

TEST(Records, AWholeCallGivesAPageRecordAndACallRecord)
{
    RecordingRig rig;
    ASSERT_NO_FATAL_FAILURE(logOn(rig));
    rig.clientSends(WorkedBlock);
    rig.advance(2'000);
    rig.clientSends("\x04\r");
    rig.advance(1'000);
    rig.peerCloses();

    ASSERT_EQ(rig.sink.pages.size(), 1U);
    const PageRecord& page = rig.sink.pages[0];
    EXPECT_EQ(page.seq, 1);
    EXPECT_EQ(page.call, 1);
    EXPECT_EQ(page.caller, "127.0.0.1");
    EXPECT_EQ(page.pager, "123");
    EXPECT_EQ(page.message, "ABC");
    EXPECT_EQ(page.fields, (std::vector<std::string> { "123", "ABC" }));
    EXPECT_EQ(page.checksumSent, "17;");
    EXPECT_EQ(page.checksumComputed, "17;");
    EXPECT_EQ(page.reply, "ACK");
    EXPECT_EQ(page.reason, "good");
    EXPECT_GT(page.time, rig.sink.calls.empty() ? 0 : rig.sink.calls[0].start);

    ASSERT_EQ(rig.sink.calls.size(), 1U);
    const CallRecord& call = rig.sink.calls[0];
    EXPECT_EQ(call.id, 1);
    ASSERT_EQ(call.dials.size(), 1U);
    EXPECT_EQ(call.dials[0].number, "5551234");
    EXPECT_EQ(call.dials[0].outcome, "CONNECT");
    EXPECT_TRUE(call.logon);
    EXPECT_FALSE(call.sevenBit);
    EXPECT_EQ(call.ack, 1);
    EXPECT_EQ(call.nak + call.rs + call.none, 0);
    EXPECT_EQ(call.ended, "eot");
    EXPECT_LT(call.start, page.time) << "the page was answered during the call";
    EXPECT_LT(page.time, call.end);
}

TEST(Records, RecordingChangesNoByteNoDelayAndNoLogLine)
{
    Rig plain;
    RecordingRig recording;
    for (Rig* rig : { &plain, static_cast<Rig*>(&recording) }) {
        ASSERT_NO_FATAL_FAILURE(logOn(*rig));
        rig->clientSends(WorkedBlock);
        rig->advance(2'000);
        rig->clientSends("\x02"
                         "9\rbad\r\x03"
                         "000\r");
        rig->advance(2'000);
        rig->clientSends("\x04\r");
        rig->advance(3'000);
        rig->peerCloses();
        rig->advance(3'000);
    }
    ASSERT_EQ(plain.socket.sent.size(), recording.socket.sent.size());
    for (std::size_t i = 0; i < plain.socket.sent.size(); ++i) {
        EXPECT_EQ(plain.socket.sent[i].at, recording.socket.sent[i].at);
        EXPECT_EQ(plain.socket.sent[i].bytes, recording.socket.sent[i].bytes);
    }
    EXPECT_EQ(plain.systemLog.history, recording.systemLog.history);
    EXPECT_EQ(plain.petLog.history, recording.petLog.history);
    EXPECT_EQ(recording.sink.pages.size(), 2U);
}

TEST(Records, HowACallEnds)
{
    {
        RecordingRig rig;
        ASSERT_NO_FATAL_FAILURE(connectClient(rig));
        rig.connect(); // a second caller takes the line
        rig.sim.ShutDown();
        ASSERT_EQ(rig.sink.calls.size(), 2U);
        EXPECT_EQ(rig.sink.calls[0].ended, "takeover");
        EXPECT_EQ(rig.sink.calls[1].ended, "shutdown");
        EXPECT_EQ(rig.sink.calls[1].id, 2);
    }
    {
        RecordingRig rig;
        ASSERT_NO_FATAL_FAILURE(logOn(rig));
        rig.peerCloses();
        ASSERT_EQ(rig.sink.calls.size(), 1U);
        EXPECT_EQ(rig.sink.calls[0].ended, "hangup") << "no EOT came";
        rig.sim.ShutDown();
        EXPECT_EQ(rig.sink.calls.size(), 1U) << "no call was open any more";
    }
}

TEST(Records, PacketsThatAreNoBlockAndSevenBitCalls)
{
    RecordingRig rig;
    ASSERT_NO_FATAL_FAILURE(dialAndConnect(rig, "ATDT125107\r"));
    rig.advance(1'500); // through IDLE: the line is seven-bit from here
    rig.clientSends(SevenBitEncode("\r"));
    rig.advance(2'000);
    rig.clientSends(SevenBitEncode(LogonLine));
    rig.advance(2'000);
    rig.clientSends(SevenBitEncode("hello\x03\r"));
    rig.advance(2'000);
    ASSERT_EQ(rig.sink.pages.size(), 1U);
    EXPECT_EQ(rig.sink.pages[0].reply, "none");
    EXPECT_EQ(rig.sink.pages[0].reason, "not-a-block");
    EXPECT_EQ(rig.sink.pages[0].fields, std::vector<std::string> { "hello\x03\r" })
        << "the packet as received, bit 7 stripped";
    rig.peerCloses();
    ASSERT_EQ(rig.sink.calls.size(), 1U);
    EXPECT_TRUE(rig.sink.calls[0].sevenBit);
    EXPECT_EQ(rig.sink.calls[0].none, 1);
}

TEST(FaultPlans, ABusyFirstDialThenAConnectingRedial)
{
    RecordingRig rig;
    ASSERT_EQ(rig.sim.plan().setDialPlan("busy,connect"), "");
    ASSERT_NO_FATAL_FAILURE(connectClient(rig));
    rig.clientSends("ATDT5551234\r");
    const std::int64_t dialled = rig.now();
    const std::int64_t busyAt = advanceUntilSent(rig, 7'000);
    EXPECT_EQ(rig.takeSent(), "BUSY\r\n");
    EXPECT_GT(busyAt - dialled, 5'000);
    rig.peerCloses();
    ASSERT_NO_FATAL_FAILURE(dialAndConnect(rig));
    rig.sim.ShutDown();
    ASSERT_EQ(rig.sink.calls.size(), 2U);
    EXPECT_EQ(rig.sink.calls[0].dials[0].outcome, "BUSY");
    EXPECT_EQ(rig.sink.calls[1].dials[0].outcome, "CONNECT");
}

TEST(FaultPlans, BlocksFollowThePlanPagersTheirOwnAndATickedBoxWins)
{
    RecordingRig rig;
    ASSERT_EQ(rig.sim.plan().setBlockPlan("nak,ack"), "");
    ASSERT_EQ(rig.sim.plan().setPager("555=rej"), "");
    ASSERT_NO_FATAL_FAILURE(logOn(rig));
    EXPECT_EQ(answerTo(rig, WorkedBlock), NakReply) << "the first block of the call";
    EXPECT_EQ(answerTo(rig, WorkedBlock), AckReply) << "its resend";
    EXPECT_EQ(answerTo(rig,
                       blockWithChecksum("\x02"
                                         "555\rhi\r\x03")),
              RejReply)
        << "the pager's own reply";
    EXPECT_EQ(answerTo(rig,
                       "\x02"
                       "123\rbad\r\x03"
                       "000\r"),
              AckReply)
        << "the plan's ack holds even for a bad checksum";
    rig.panel.tick(Box::chkNAK);
    EXPECT_EQ(answerTo(rig, WorkedBlock), NakReply);

    const std::vector<std::string> reasons { "plan", "plan", "plan", "plan", "box" };
    std::vector<std::string> got;
    for (const PageRecord& page : rig.sink.pages)
        got.push_back(page.reason);
    EXPECT_EQ(got, reasons);
    EXPECT_EQ(rig.sink.pages[3].checksumSent, "000");
    EXPECT_NE(rig.sink.pages[3].checksumComputed, "000");
}

TEST(FaultPlans, ANumberGetsItsOwnOutcomeAndABoxStillWins)
{
    Rig rig;
    ASSERT_EQ(rig.sim.plan().setNumber("5550001=no-dialtone"), "");
    ASSERT_NO_FATAL_FAILURE(connectClient(rig));
    rig.clientSends("ATDT 555 0001\r");
    ASSERT_GE(advanceUntilSent(rig, 9'000), 0);
    EXPECT_EQ(rig.takeSent(), "NO DIALTONE\r\n");
    rig.peerCloses();
    rig.connect();
    rig.panel.tick(Box::chkBusy);
    rig.clientSends("ATDT5550001\r");
    ASSERT_GE(advanceUntilSent(rig, 9'000), 0);
    EXPECT_EQ(rig.takeSent(), "BUSY\r\n");
}

TEST(RecordJson, BytesKeepTheirIdentity)
{
    EXPECT_EQ(jsonString(std::string("a\"b\\c\x02\r\x7f\x85\xe9", 10)),
              "\"a\\\"b\\\\c\\u0002\\u000D\\u007F\\u0085\xc3\xa9\"");
    EXPECT_EQ(isoTime(1'796'720'700'123), "2026-12-08T09:05:00.123Z");

    PageRecord page;
    page.seq = 3;
    page.call = 2;
    page.time = 1'796'720'700'000;
    page.caller = "127.0.0.1";
    page.pager = "123";
    page.message = "A\r\nB";
    page.fields = { "123", "A", "B" };
    page.checksumSent = "17;";
    page.checksumComputed = "17;";
    page.reply = "ACK";
    page.reason = "good";
    EXPECT_EQ(toJson(page),
              R"({"type":"page","v":1,"seq":3,"call":2,"time":"2026-12-08T09:05:00.000Z",)"
              R"("caller":"127.0.0.1","pager":"123","message":"A\u000D\u000AB",)"
              R"("fields":["123","A","B"],"checksum_sent":"17;","checksum_computed":"17;",)"
              R"("reply":"ACK","reason":"good"})");

    CallRecord call;
    call.id = 2;
    call.caller = "127.0.0.1";
    call.start = 1'796'720'700'000;
    call.end = 1'796'720'712'500;
    call.dials = { { "5551234", "BUSY" } };
    call.nak = 1;
    call.ended = "hangup";
    call.findings.warning = 2;
    EXPECT_EQ(toJson(call),
              R"({"type":"call","v":1,"id":2,"caller":"127.0.0.1",)"
              R"("start":"2026-12-08T09:05:00.000Z","end":"2026-12-08T09:05:12.500Z",)"
              R"("dials":[{"number":"5551234","outcome":"BUSY"}],"seven_bit":false,)"
              R"("logon":false,"pages":{"ACK":0,"NAK":1,"RS":0,"none":0},"ended":"hangup",)"
              R"("terminal":"classic","modem":"classic",)"
              R"("findings":{"error":0,"warning":2,"note":0}})");

    FindingRecord finding;
    finding.seq = 4;
    finding.call = 2;
    finding.line = 3;
    finding.time = 1'796'720'701'250;
    finding.rule = "block.checksum";
    finding.level = "error";
    finding.ref = "TAP 1.8 checksum";
    finding.text = "checksum \"17<\"";
    finding.evidence = "\x02"
                       "1\r\x03";
    EXPECT_EQ(toJson(finding),
              R"({"type":"finding","v":1,"seq":4,"call":2,"line":3,)"
              R"("time":"2026-12-08T09:05:01.250Z","rule":"block.checksum","level":"error",)"
              R"("ref":"TAP 1.8 checksum","text":"checksum \"17<\"",)"
              R"("evidence":"\u00021\u000D\u0003"})");
}

TEST(RecordJson, TimesAcrossYearsAndLeapDays)
{
    EXPECT_EQ(isoTime(0), "1970-01-01T00:00:00.000Z");
    EXPECT_EQ(isoTime(951'782'400'000), "2000-02-29T00:00:00.000Z");
    EXPECT_EQ(isoTime(1'709'251'199'999), "2024-02-29T23:59:59.999Z");
    EXPECT_EQ(isoTime(1'798'761'599'000), "2026-12-31T23:59:59.000Z");
    EXPECT_EQ(isoTime(4'102'444'800'000), "2100-01-01T00:00:00.000Z");
}

TEST(RecordStore, KeepsTheNewestRecordsForAskingWhatCameAfter)
{
    RecordStore store;
    std::vector<long> heard;
    store.setPageListener([&heard](const PageRecord& p) { heard.push_back(p.seq); });
    for (long seq = 1; seq <= static_cast<long>(RecordStore::MaxKept) + 2; ++seq) {
        PageRecord page;
        page.seq = seq;
        store.pageRecorded(page);
    }
    // The two oldest went to make room.
    EXPECT_EQ(store.pageCount(), RecordStore::MaxKept);
    EXPECT_EQ(store.pagesDropped(), 2U);
    EXPECT_EQ(store.pagesSince(0).front().seq, 3);
    EXPECT_EQ(heard.size(), RecordStore::MaxKept + 2);
    const std::vector<PageRecord> after = store.pagesSince(store.lastPageSeq() - 2);
    ASSERT_EQ(after.size(), 2U);
    EXPECT_EQ(after[0].seq, store.lastPageSeq() - 1);
    EXPECT_TRUE(store.pagesSince(store.lastPageSeq()).empty());

    CallRecord call;
    call.id = 7;
    store.callRecorded(call);
    EXPECT_EQ(store.callsSince(6).size(), 1U);
    EXPECT_TRUE(store.callsSince(7).empty());

    // Clearing forgets the records, not the numbering.
    EXPECT_EQ(store.clearPages(), RecordStore::MaxKept);
    EXPECT_EQ(store.clearCalls(), 1U);
    EXPECT_EQ(store.lastPageSeq(), static_cast<long>(RecordStore::MaxKept) + 2);
    EXPECT_EQ(store.lastCallId(), 7);
    EXPECT_TRUE(store.pagesSince(0).empty());
}

TEST(RecordJson, AnObjectWithNoMembersIsEmptyBraces)
{
    EXPECT_EQ(JsonObject().done(), "{}");
    EXPECT_EQ(JsonObject().text("k", "\x01\xE9").number("n", -3).done(),
              "{\"k\":\"\\u0001\xC3\xA9\",\"n\":-3}");
}
