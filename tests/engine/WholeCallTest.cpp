// SPDX-License-Identifier: MIT
// Whole calls as a paging client lives them, in virtual time.
#include "engine/Scenario.h"

#include <gtest/gtest.h>

using namespace ostrella;
using namespace ostrella::test;

TEST(WholeCall, FromConnectToEotAndBackToTheModem)
{
    Rig rig;
    rig.advance(1'200);
    rig.connect();

    rig.clientSends("AT\r");
    EXPECT_EQ(advanceUntilSent(rig, 1'000), 1'500) << "at the next engine tick";
    EXPECT_EQ(rig.takeSent(), Ok);

    rig.clientSends("ATDT5551234\r");
    rig.nextEngineTick();
    const std::int64_t dialled = rig.now();
    EXPECT_EQ(advanceUntilSent(rig, 12'000), dialled + 10'500);
    EXPECT_EQ(rig.takeSent(), Connect);

    rig.clientSends("\r");
    ASSERT_GE(advanceUntilSent(rig, 5'000), 0);
    EXPECT_EQ(rig.takeSent(), IdPrompt);

    rig.clientSends(LogonLine);
    ASSERT_GE(advanceUntilSent(rig, 2'000), 0);
    EXPECT_EQ(rig.takeSent(), LogonOk);

    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(answerTo(rig, WorkedBlock), AckReply) << "block " << i;

    std::string corrupted = WorkedBlock;
    corrupted[12] = '<';
    EXPECT_EQ(answerTo(rig, corrupted), NakReply);
    EXPECT_EQ(answerTo(rig, "\x04\r"), "");
    EXPECT_EQ(rig.state(), LineState::MODEM);

    rig.clientSends("ATH\r");
    rig.nextEngineTick();
    EXPECT_EQ(rig.takeSent(), Ok);
    rig.advance(2'000);

    const std::vector<std::string> pet {
        "  DP: Returning IDentify",
        "  DP: Returning LOGONOK",
        "  DP: Rxd STX pkt:" + WorkedBlock,
        "  DP: Sending ACK",
        "  DP: Rxd STX pkt:" + WorkedBlock,
        "  DP: Sending ACK",
        "  DP: Rxd STX pkt:" + WorkedBlock,
        "  DP: Sending ACK",
        "  DP: Rxd STX pkt:" + corrupted,
        "  DP: Sending NAK",
        "  DP: Rxd EOT pkt",
        "  DP: EOT detected",
    };
    EXPECT_EQ(rig.petTexts(), pet);
    const auto sys = rig.systemTexts();
    EXPECT_EQ(sys[2], "Event: Connect request id = 1 from <127.0.0.1>");
    EXPECT_EQ(sys[3], "Event: <127.0.0.1> Data Pkt Rxd <AT\r>");
    EXPECT_EQ(sys[4], "Event: <127.0.0.1> Data Pkt Txd ----> <OK\r\n>");
}

TEST(WholeCall, NoAnswerSendsNothingYetReachesWaitCrAfterFortySeconds)
{
    Rig rig;
    rig.panel.tick(Box::chkNoAnswer);
    ASSERT_NO_FATAL_FAILURE(connectClient(rig));
    rig.clientSends("ATDT5551234\r");
    rig.nextEngineTick();
    rig.advance(40'000);
    EXPECT_EQ(rig.state(), LineState::WAITCONNECT);
    rig.advance(500);
    EXPECT_EQ(rig.state(), LineState::WAIT_CR);
    EXPECT_EQ(rig.sentBytes(), "");
}

TEST(WholeCall, ASecondClientTakesOverMidCall)
{
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(logOn(rig));
    rig.clientSends("\x02"
                    "12");
    rig.connect();
    rig.clientSends("AT\r");
    rig.advance(500);
    EXPECT_NE(rig.takeSent().find(Ok), std::string::npos);
    EXPECT_EQ(rig.state(), LineState::MODEM);
}

TEST(WholeCall, PeerClosingKeepsTheListenerForTheNextCall)
{
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(logOn(rig));
    rig.peerCloses();
    rig.advance(5'000);
    rig.connect();
    rig.clientSends("AT\r");
    ASSERT_GE(advanceUntilSent(rig, 1'000), 0);
    EXPECT_EQ(rig.takeSent(), Ok);
}

TEST(WholeCall, ANewCallerMeetsACleanLine)
{
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(connectClient(rig));
    rig.clientSends("ATDT5551234\r");
    rig.nextEngineTick();
    rig.clientSends("ATDT125107\r"); // unread while the dial is pending
    rig.link().setSevenBitActive(true);
    rig.peerCloses();
    rig.connect();
    EXPECT_EQ(rig.link().gRxString(), "");
    EXPECT_FALSE(rig.link().gSevenBitActive());
    EXPECT_FALSE(rig.session().gSevenBitDialled);
    rig.advance(15'000);
    EXPECT_EQ(rig.takeSent(), "") << "nothing answered that this caller did not ask";
    rig.clientSends("AT\r");
    rig.nextEngineTick();
    EXPECT_EQ(rig.takeSent(), Ok) << "plain text, no parity";
}
