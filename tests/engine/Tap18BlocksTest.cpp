// SPDX-License-Identifier: MIT
// The tap18 terminal's block side in virtual time: transactions over several blocks, every code
// path, the t4 time-out, the limits, fault boxes and plans, EOT, and the records.
#include "engine/Tap18Scenario.h"

#include <gtest/gtest.h>

using namespace ostrella;
using namespace ostrella::test;

namespace {

const std::string BareAck = "\x06\r";

} // namespace

TEST(Tap18Blocks, ATransactionOverSeveralBlocksIsOnePage)
{
    struct Case {
        const char* name;
        std::vector<std::string> blocks;
        std::vector<std::string> fields;
    };
    const Case cases[] = {
        { "ETB: each block's last field is complete",
          { tap18Block("5551234\rFirst part\r", '\x17'), tap18Block("second part\r") },
          { "5551234", "First part", "second part" } },
        { "US: the field goes on in the next block",
          { tap18Block("5551234\rHello, ", '\x1f'), tap18Block("wor", '\x1f'), tap18Block("ld\r") },
          { "5551234", "Hello, world" } },
        { "transparency: SUB M is CR, SUB [ is ESC",
          { tap18Block("5551234\rA\x1aMB\x1a[\r") },
          { "5551234", "A\rB\x1b" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Tap18Rig rig;
        ASSERT_NO_FATAL_FAILURE(tap18LogOn(rig));
        for (std::size_t i = 0; i + 1 < c.blocks.size(); ++i)
            EXPECT_EQ(tap18Answer(rig, c.blocks[i]), BareAck) << "no code before the last block";
        rig.clientSends(c.blocks.back());
        const std::int64_t sentAt = rig.now();
        ASSERT_GE(advanceUntilSent(rig, 1'000), 0);
        EXPECT_LE(rig.socket.sent.back().at - sentAt, 100) << "faster than the classic pacing";
        EXPECT_EQ(rig.takeSent(), Sent211);
        EXPECT_EQ(tap18Answer(rig, "\x04\r"), Goodbye + NoCarrier);
        rig.peerCloses();

        ASSERT_EQ(rig.sink.pages.size(), 1U);
        const PageRecord& page = rig.sink.pages[0];
        EXPECT_EQ(page.fields, c.fields);
        EXPECT_EQ(page.pager, "5551234");
        EXPECT_EQ(page.reply, "ACK");
        EXPECT_EQ(page.reason, "good");
        EXPECT_EQ(page.code, "211");
        ASSERT_EQ(rig.sink.calls.size(), 1U);
        EXPECT_EQ(rig.sink.calls[0].ack, 1);
        EXPECT_EQ(rig.sink.calls[0].ended, "eot");
        EXPECT_EQ(rig.sink.calls[0].terminal, "tap18");
    }
}

TEST(Tap18Blocks, EachCodePath)
{
    struct Case {
        const char* name;
        std::string bytes;
        std::string reply;
        std::string reason;
    };
    std::string badChecksum = WorkedBlock;
    badChecksum[11] = '8';
    const Case cases[] = {
        { "the worked example", WorkedBlock, Sent211, "good" },
        { "eight-bit text sums seven bits", tap18Block("123\r\xC9t\xE9\r"), Sent211, "good" },
        { "bad checksum", badChecksum, Nak514, "bad-checksum" },
        { "no terminator",
          "\x02"
          "123\rABC\r17;\r",
          Nak515, "format-error" },
        { "SUB before a character it cannot shift",
          tap18Block("123\rA\x1a"
                     "a\r"),
          Nak515, "format-error" },
        { "longer than a block",
          "\x02" + std::string(300, 'x')
              + "\r\x03"
                "000\r",
          "515 Format error\r\x1e\r", "format-error" },
        { "text that is no block", "hello\r", "502 Unexpected characters before a block\r\x15\r",
          "not-a-block" },
        { "illegal pager ID", tap18Block("12a\rABC\r"), "510 Illegal pager ID\r\x1e\r",
          "pager-rule" },
        { "empty pager ID", tap18Block("\rABC\r"), "510 Illegal pager ID\r\x1e\r", "pager-rule" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Tap18Rig rig;
        ASSERT_NO_FATAL_FAILURE(tap18LogOn(rig));
        EXPECT_EQ(tap18Answer(rig, c.bytes), c.reply);
        EXPECT_EQ(rig.state(), LineState::STXNO);
        ASSERT_EQ(rig.sink.pages.size(), 1U);
        EXPECT_EQ(rig.sink.pages[0].reason, c.reason);
        EXPECT_EQ(rig.sink.pages[0].code, c.reply.substr(0, 3));
        EXPECT_EQ(tap18Answer(rig, WorkedBlock), Sent211) << "the next block is taken";
    }
}

TEST(Tap18Blocks, StrayLineEndsAndTextBeforeSTXGetNoReply)
{
    Tap18Rig rig;
    ASSERT_NO_FATAL_FAILURE(tap18LogOn(rig));
    EXPECT_EQ(tap18Answer(rig, "\n\r\n"), "");
    EXPECT_EQ(tap18Answer(rig, "xx" + WorkedBlock + "\n"), Sent211);
    EXPECT_EQ(lastOf(rig.takePet()), "  DP: Sending 211 ACK");
    EXPECT_EQ(rig.sink.pages.size(), 1U);
}

TEST(Tap18Blocks, ThreeChecksumFailuresInARowEndTheCallWith503)
{
    std::string bad = WorkedBlock;
    bad[11] = '8';
    Tap18Rig rig;
    ASSERT_NO_FATAL_FAILURE(tap18LogOn(rig));
    EXPECT_EQ(tap18Answer(rig, bad), Nak514);
    EXPECT_EQ(tap18Answer(rig, bad), Nak514);
    EXPECT_EQ(tap18Answer(rig, WorkedBlock), Sent211) << "a good block starts the count again";
    EXPECT_EQ(tap18Answer(rig, bad), Nak514);
    EXPECT_EQ(tap18Answer(rig, bad), Nak514);
    EXPECT_EQ(tap18Answer(rig, bad), "503 Excessive checksum errors\r" + Disconnect + NoCarrier);
    EXPECT_EQ(rig.state(), LineState::MODEM);
    EXPECT_EQ(rig.sink.pages.back().code, "503");

    Tap18Rig strict;
    strict.sim.tap18Settings().checksumLimit = 1;
    ASSERT_NO_FATAL_FAILURE(tap18LogOn(strict));
    EXPECT_EQ(tap18Answer(strict, bad), "503 Excessive checksum errors\r" + Disconnect + NoCarrier);
}

TEST(Tap18Blocks, LimitsOnPagesAndMessages)
{
    {
        Tap18Rig rig;
        rig.sim.tap18Settings().maxPages = 2;
        ASSERT_NO_FATAL_FAILURE(tap18LogOn(rig));
        EXPECT_EQ(tap18Answer(rig, WorkedBlock), Sent211);
        EXPECT_EQ(tap18Answer(rig, tap18Block("123\rpart\r", '\x17')), BareAck);
        EXPECT_EQ(tap18Answer(rig, tap18Block("two\r")), Sent211)
            << "the limit counts pages, not blocks";
        EXPECT_EQ(tap18Answer(rig, WorkedBlock),
                  "112 Maximum pages entered\r" + Disconnect + NoCarrier);
        EXPECT_EQ(rig.sink.pages.back().reason, "page-limit");
    }
    {
        Tap18Rig rig;
        rig.sim.tap18Settings().maxMessage = 5;
        ASSERT_NO_FATAL_FAILURE(tap18LogOn(rig));
        const std::string rejected = "517 005 character maximum, rejected\r\x1e\r";
        EXPECT_EQ(tap18Answer(rig, tap18Block("123\rABCDE\r")), Sent211) << "at the maximum";
        EXPECT_EQ(tap18Answer(rig, tap18Block("123\rABCDEF\r")), rejected);
        EXPECT_EQ(tap18Answer(rig, tap18Block("123\rABC\r", '\x17')), BareAck);
        EXPECT_EQ(tap18Answer(rig, tap18Block("DEF\r")), rejected) << "over several blocks";
        EXPECT_EQ(rig.sink.pages.back().fields, (std::vector<std::string> { "123", "ABC", "DEF" }));
        EXPECT_EQ(rig.sink.pages.back().reason, "too-long");
    }
    {
        // Without a message limit a transaction still has its ceiling.
        Tap18Rig rig;
        ASSERT_NO_FATAL_FAILURE(tap18LogOn(rig));
        const std::string part = tap18Block("123\r" + std::string(200, 'm') + "\r", '\x17');
        std::string reply;
        int blocks = 0;
        for (; blocks < 40 && reply != "513 Message too long, rejected\r\x1e\r"; ++blocks) {
            reply = tap18Answer(rig, part);
            EXPECT_LE(rig.sim.lineAt(0).engine.tap18().transactionBytes(),
                      Tap18Terminal::MaxTransactionBytes);
        }
        EXPECT_EQ(reply, "513 Message too long, rejected\r\x1e\r");
        EXPECT_EQ(blocks, 20);
        EXPECT_EQ(tap18Answer(rig, WorkedBlock), Sent211) << "a new transaction begins";
    }
}

TEST(Tap18Blocks, NoBlockWithinT4EndsTheCallWith501)
{
    Tap18Rig rig;
    ASSERT_NO_FATAL_FAILURE(tap18LogOn(rig));
    rig.clientSends(WorkedBlock);
    const std::int64_t repliedAt = advanceUntilSent(rig, 1'000);
    rig.takeSent();
    rig.advance(repliedAt + 3'999 - rig.now());
    rig.clientSends(WorkedBlock);
    const std::int64_t again = advanceUntilSent(rig, 100);
    EXPECT_EQ(again, repliedAt + 4'000) << "a block just inside t4 is answered";
    EXPECT_EQ(rig.takeSent(), Sent211);
    rig.advance(again + 4'000 - rig.now());
    EXPECT_EQ(rig.takeSent(), "") << "nothing at t4";
    ASSERT_GE(advanceUntilSent(rig, 100), 0);
    EXPECT_EQ(rig.takeSent(), TimeOut + NoCarrier);
    EXPECT_EQ(rig.state(), LineState::MODEM);
    EXPECT_EQ(tap18Answer(rig, "ATH\r"), Ok) << "the connection stays, the modem answers";
    EXPECT_EQ(rig.socket.state(), SocketState::Connected);
}

TEST(Tap18Blocks, FaultBoxesAnswerWithTheProfilesCodes)
{
    struct Case {
        const char* name;
        Box box;
        std::string reply;
    };
    const Case cases[] = {
        { "nak", Box::chkNAK, Nak514 },
        { "rej", Box::chkREJ, Rs511 },
        { "no response", Box::chkNOResponse, "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Tap18Rig rig;
        ASSERT_NO_FATAL_FAILURE(tap18LogOn(rig));
        rig.panel.tick(c.box);
        EXPECT_EQ(tap18Answer(rig, WorkedBlock), c.reply);
        EXPECT_EQ(tap18Answer(rig, WorkedBlock), c.reply) << "the resend too";
        EXPECT_EQ(rig.sink.pages.back().reason, "box");
        rig.panel.tick(c.box, false);
        EXPECT_EQ(tap18Answer(rig, WorkedBlock), Sent211);
    }
}

TEST(Tap18Blocks, NoResponseLeavesTheClientT3ToResendBeforeT4Runs)
{
    Tap18Rig rig;
    ASSERT_NO_FATAL_FAILURE(tap18LogOn(rig));
    rig.panel.tick(Box::chkNOResponse);
    EXPECT_EQ(tap18Answer(rig, WorkedBlock, 100), "");
    rig.advance(13'800);
    EXPECT_EQ(rig.takeSent(), "") << "silence through t3 + t4";
    ASSERT_GE(advanceUntilSent(rig, 500), 0);
    EXPECT_EQ(rig.takeSent(), TimeOut + NoCarrier);
}

TEST(Tap18Blocks, PlansAnswerWithTheProfilesCodes)
{
    std::string bad = WorkedBlock;
    bad[11] = '8';
    Tap18Rig rig;
    ASSERT_EQ(rig.sim.plan().setBlockPlan("nak,ack,none,rej,ack"), "");
    ASSERT_EQ(rig.sim.plan().setPager("999=rej"), "");
    ASSERT_NO_FATAL_FAILURE(tap18LogOn(rig));
    EXPECT_EQ(tap18Answer(rig, WorkedBlock), Nak514);
    EXPECT_EQ(tap18Answer(rig, bad), Sent211) << "the plan's ack holds for a bad checksum";
    EXPECT_EQ(tap18Answer(rig, WorkedBlock), "");
    EXPECT_EQ(tap18Answer(rig, WorkedBlock), Rs511);
    EXPECT_EQ(tap18Answer(rig, tap18Block("999\rpart\r", '\x17')), Rs511) << "pager first";
    EXPECT_EQ(tap18Answer(rig, tap18Block("12a\rnot checked\r")), Sent211);
    std::vector<std::string> reasons;
    for (const PageRecord& p : rig.sink.pages)
        reasons.push_back(p.reply + "/" + p.reason);
    EXPECT_EQ(reasons,
              (std::vector<std::string> { "NAK/plan", "ACK/plan", "none/plan", "RS/plan", "RS/plan",
                                          "ACK/plan" }));
}

// A transaction whose last block never comes is kept as an incomplete page, before its call's
// record, whether EOT, the caller hanging up or the program's end cuts it off.
TEST(Tap18Blocks, ATransactionCutOffByEotAHangUpOrTheEndIsRecordedAsIncomplete)
{
    for (const char* cut : { "eot", "hangup", "shutdown" }) {
        SCOPED_TRACE(cut);
        Tap18Rig rig;
        ASSERT_NO_FATAL_FAILURE(tap18LogOn(rig));
        EXPECT_EQ(tap18Answer(rig, tap18Block("123\rFirst part\r", '\x17')), "\x06\r");
        if (std::string_view(cut) == "eot")
            EXPECT_EQ(tap18Answer(rig, "\x04\r"), Goodbye + NoCarrier);
        else if (std::string_view(cut) == "hangup")
            rig.peerCloses();
        else
            rig.sim.ShutDown();
        ASSERT_EQ(rig.sink.pages.size(), 1U);
        const PageRecord& page = rig.sink.pages[0];
        EXPECT_EQ(page.fields, (std::vector<std::string> { "123", "First part" }));
        EXPECT_EQ(page.reply, "none");
        EXPECT_EQ(page.reason, "incomplete");
        EXPECT_EQ(page.code, "");
        if (std::string_view(cut) != "eot") {
            ASSERT_EQ(rig.sink.calls.size(), 1U) << "the call's record comes after its page";
            EXPECT_EQ(rig.sink.calls[0].none, 1);
            EXPECT_EQ(rig.sink.calls[0].ack, 0);
        }
    }
}

// A refused block after the first of its transaction is recorded for the transaction's pager,
// not for its own first field.
TEST(Tap18Blocks, ARefusedContinuationBlockIsRecordedForTheTransactionsPager)
{
    Tap18Rig rig;
    ASSERT_NO_FATAL_FAILURE(tap18LogOn(rig));
    EXPECT_EQ(tap18Answer(rig, tap18Block("123\rFirst part\r", '\x17')), "\x06\r");
    std::string bad = tap18Block("second part\r");
    bad[bad.size() - 2] = bad[bad.size() - 2] == '0' ? '1' : '0';
    EXPECT_EQ(tap18Answer(rig, bad), Nak514);
    ASSERT_EQ(rig.sink.pages.size(), 1U);
    EXPECT_EQ(rig.sink.pages[0].pager, "123");
    EXPECT_EQ(rig.sink.pages[0].fields, (std::vector<std::string> { "second part" }));
    EXPECT_EQ(rig.sink.pages[0].reply, "NAK");
}

TEST(Tap18Blocks, EotIsAnsweredWith115AndTheDisconnectAndTheModemTakesOver)
{
    Tap18Rig rig;
    ASSERT_NO_FATAL_FAILURE(tap18LogOn(rig));
    EXPECT_EQ(tap18Answer(rig, WorkedBlock), Sent211);
    EXPECT_EQ(tap18Answer(rig, "\x04\r"), Goodbye + NoCarrier);
    EXPECT_EQ(rig.state(), LineState::MODEM);
    const std::vector<std::string> pet { "  DP: Rxd STX pkt:" + WorkedBlock,
                                         "  DP: Sending 211 ACK", "  DP: Rxd EOT pkt",
                                         "  DP: Sending 115 and disconnect" };
    EXPECT_EQ(rig.takePet(), pet);
    EXPECT_EQ(tap18Answer(rig, "ATH\r"), Ok);
    const auto sys = rig.systemTexts();
    EXPECT_NE(std::find(sys.begin(), sys.end(),
                        "Event: <127.0.0.1> Data Pkt Txd ----> <115 Goodbye\r\x1b\x04\r>"),
              sys.end());
}
