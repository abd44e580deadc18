// SPDX-License-Identifier: MIT
#include "engine/Scenario.h"

#include <gtest/gtest.h>

using namespace ostrella;
using namespace ostrella::test;

TEST(PetBlocks, WorkedBlockIsAcknowledgedAndTheNextBlockAwaited)
{
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(logOn(rig));
    EXPECT_EQ(answerTo(rig, WorkedBlock), AckReply);
    EXPECT_EQ(rig.state(), LineState::STXNO);
    const std::vector<std::string> pet { "  DP: Rxd STX pkt:" + WorkedBlock, "  DP: Sending ACK" };
    EXPECT_EQ(rig.takePet(), pet);
    EXPECT_EQ(answerTo(rig,
                       blockWithChecksum("\x02"
                                         "7654321\rSecond page\r\x03")),
              AckReply);
}

TEST(PetBlocks, TheFaultBoxesDecideInTheirOrder)
{
    std::string corrupted = WorkedBlock;
    corrupted[11] = '8';
    struct Case {
        const char* name;
        std::vector<Box> boxes;
        std::string block;
        std::string reply;
        std::string logged;
        LineState after;
    };
    const Case cases[] = {
        { "bad checksum", {}, corrupted, NakReply, "  DP: Sending NAK", LineState::STXNO },
        { "nak", { Box::chkNAK }, WorkedBlock, NakReply, "  DP: Sending NAK", LineState::STXNO },
        { "nak before rej",
          { Box::chkREJ, Box::chkNAK },
          WorkedBlock,
          NakReply,
          "  DP: Sending NAK",
          LineState::STXNO },
        { "rej", { Box::chkREJ }, corrupted, RejReply, "  DP: Sending REJ", LineState::STXNO },
        { "rej before no response",
          { Box::chkNOResponse, Box::chkREJ },
          WorkedBlock,
          RejReply,
          "  DP: Sending REJ",
          LineState::STXNO },
        { "no response",
          { Box::chkNOResponse },
          WorkedBlock,
          "",
          "  DP: Rxd STX pkt:" + WorkedBlock,
          LineState::WAIT_CR },
        { "modem boxes do not matter",
          { Box::chkBusy },
          WorkedBlock,
          AckReply,
          "  DP: Sending ACK",
          LineState::STXNO },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        ASSERT_NO_FATAL_FAILURE(logOn(rig));
        for (Box b : c.boxes)
            rig.panel.tick(b);
        EXPECT_EQ(answerTo(rig, c.block), c.reply);
        EXPECT_EQ(lastOf(rig.takePet()), c.logged);
        EXPECT_EQ(rig.state(), c.after);
    }
}

TEST(PetBlocks, BoxesAreReadWhenEachBlockIsHandled)
{
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(logOn(rig));
    rig.panel.tick(Box::chkNAK);
    EXPECT_EQ(answerTo(rig, WorkedBlock), NakReply);
    rig.panel.tick(Box::chkNAK, false);
    EXPECT_EQ(answerTo(rig, WorkedBlock), AckReply);
}

TEST(PetBlocks, EotEndsTheCallSilentlyAndTheModemAnswersAgain)
{
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(logOn(rig));
    rig.session().gSevenBitDialled = true;
    EXPECT_EQ(answerTo(rig, "\x04\r"), "");
    EXPECT_EQ(rig.state(), LineState::MODEM);
    const std::vector<std::string> pet { "  DP: Rxd EOT pkt", "  DP: EOT detected" };
    EXPECT_EQ(rig.takePet(), pet);
    EXPECT_FALSE(rig.session().gSevenBitDialled);
    EXPECT_FALSE(rig.link().gSevenBitActive());
    rig.clientSends("ATH\r");
    rig.nextEngineTick();
    EXPECT_EQ(rig.takeSent(), Ok);
}

TEST(PetBlocks, WithDisconnectTickedEotIsAnsweredWithTheDisconnectMessage)
{
    Rig rig;
    rig.panel.tick(Box::chkDisconnect);
    ASSERT_NO_FATAL_FAILURE(logOn(rig));
    EXPECT_EQ(answerTo(rig, "\x04\r"), "\x1b\x04\r");
    const std::vector<std::string> pet { "  DP: Rxd EOT pkt", "  DP: Sending disconnect",
                                         "  DP: EOT detected" };
    EXPECT_EQ(rig.takePet(), pet);
    EXPECT_EQ(rig.state(), LineState::MODEM);
    rig.clientSends("ATH\r");
    rig.nextEngineTick();
    EXPECT_EQ(rig.takeSent(), Ok);
}

TEST(PetBlocks, SilenceOrAPacketThatIsNoBlockEndsTheBlockSide)
{
    {
        Rig rig;
        ASSERT_NO_FATAL_FAILURE(logOn(rig));
        rig.advance(3'500);
        EXPECT_EQ(rig.takePet(), std::vector<std::string> {}) << "a pure time-out is silent";
        EXPECT_NE(rig.state(), LineState::STXNO);
        EXPECT_EQ(rig.tmrDummyPkts.interval(), 500);
    }
    {
        Rig rig;
        ASSERT_NO_FATAL_FAILURE(logOn(rig));
        EXPECT_EQ(answerTo(rig, "hello\x03\r"), "") << "ETX without STX gets no reply";
        EXPECT_EQ(rig.takePet(), std::vector<std::string> {}) << "and no line: it matched";
        EXPECT_NE(rig.state(), LineState::STXNO);
    }
    {
        Rig rig;
        ASSERT_NO_FATAL_FAILURE(logOn(rig));
        EXPECT_EQ(answerTo(rig, "no etx\r"), "");
        const std::vector<std::string> pet { "  DP: Rxd bad STX packet no etx\r" };
        EXPECT_EQ(rig.takePet(), pet);
    }
}

TEST(PetBlocks, ShortAndLongBlocksGetADefinedAnswer)
{
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(logOn(rig));
    EXPECT_EQ(answerTo(rig, "\x02\x03\r"), NakReply) << "too short to hold a checksum";
    std::string longBlock = blockWithChecksum("\x02" + std::string(1'000, 'W') + "\r\x03");
    EXPECT_EQ(answerTo(rig, longBlock), AckReply);
    std::string highBytes = blockWithChecksum("\x02\xe9t\xe9\r\x03");
    EXPECT_EQ(answerTo(rig, highBytes), AckReply);
}

TEST(PetBlocks, AShortPacketWithoutEtxIsAnsweredOnlyWhileTheTerminalWaitsForACr)
{
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(logOn(rig));
    EXPECT_EQ(answerTo(rig, "\x02\r"), "") << "the block state takes only a packet holding ETX";
    const std::vector<std::string> pet { "  DP: Rxd bad STX packet \x02\r" };
    EXPECT_EQ(rig.takePet(), pet);
    ASSERT_EQ(rig.state(), LineState::WAIT_CR);
    EXPECT_EQ(answerTo(rig, "\x02\r"), NakReply) << "waiting for a CR, it is taken as a block";
}
