// SPDX-License-Identifier: MIT
#include "engine/Scenario.h"

#include <gtest/gtest.h>

using namespace ostrella;
using namespace ostrella::test;

TEST(PetLogon, CrIsAnsweredWithIdAndTheEngineSpeedsUp)
{
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(dialAndConnect(rig));
    rig.clientSends("\r");
    ASSERT_GE(advanceUntilSent(rig, 5'000), 0);
    EXPECT_EQ(rig.takeSent(), IdPrompt);
    EXPECT_EQ(rig.state(), LineState::PASSWD);
    EXPECT_EQ(rig.tmrDummyPkts.interval(), 100);
    rig.advance(100);
    EXPECT_EQ(lastOf(rig.petTexts()), "  DP: Returning IDentify");
}

TEST(PetLogon, LogonLineWithAnyPasswordAndAnyCaseIsAccepted)
{
    for (const std::string& logon : { std::string("\x1bPG1000000\r"), std::string("\x1bpg1\r"),
                                      std::string("\r\x1bPg1secret\r") }) {
        SCOPED_TRACE(logon);
        Rig rig;
        ASSERT_NO_FATAL_FAILURE(dialAndConnect(rig));
        rig.clientSends("\r");
        ASSERT_GE(advanceUntilSent(rig, 5'000), 0);
        rig.takeSent();
        rig.clientSends(logon);
        ASSERT_GE(advanceUntilSent(rig, 2'000), 0);
        EXPECT_EQ(rig.takeSent(), LogonOk);
        EXPECT_EQ(rig.state(), LineState::STXNO);
        rig.advance(100);
        EXPECT_EQ(lastOf(rig.petTexts()), "  DP: Returning LOGONOK");
        EXPECT_EQ(rig.link().captureState() != CaptureState::Idle, true)
            << "the wait for the first block runs";
    }
}

TEST(PetLogon, SilenceInPasswdIsABadLogonWithTheTrailingBlank)
{
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(dialAndConnect(rig));
    rig.clientSends("\r");
    ASSERT_GE(advanceUntilSent(rig, 5'000), 0);
    rig.takeSent();
    rig.advance(4'000);
    const auto pet = rig.petTexts();
    EXPECT_EQ(lastOf(pet), "  DP: Bad response look for logon: ");
    EXPECT_NE(rig.state(), LineState::PASSWD);
    EXPECT_EQ(rig.tmrDummyPkts.interval(), 500) << "back to the slow tick through IDLE";
    EXPECT_EQ(rig.takeSent(), "") << "the client is not told";
}

TEST(PetLogon, AWrongLogonLineIsReportedWithThePacket)
{
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(dialAndConnect(rig));
    rig.clientSends("\r");
    ASSERT_GE(advanceUntilSent(rig, 5'000), 0);
    rig.takeSent();
    rig.clientSends("PG1\r");
    rig.advance(1'000);
    EXPECT_EQ(lastOf(rig.petTexts()), "  DP: Bad response look for logon: PG1\r");
}

TEST(PetLogon, SilenceInWaitCrIsSilentATextWithoutCrIsReported)
{
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(dialAndConnect(rig));
    rig.advance(10'000);
    EXPECT_TRUE(rig.petTexts().empty());
    EXPECT_EQ(rig.takeSent(), "");
    rig.clientSends("hello");
    rig.advance(4'000);
    EXPECT_EQ(lastOf(rig.petTexts()), "  DP: Bad response look for CR: hello");
    EXPECT_EQ(rig.takeSent(), "");
}

TEST(PetLogon, EotOrABlockWhereACrIsAwaitedGoesToTheBlockSide)
{
    {
        Rig rig;
        ASSERT_NO_FATAL_FAILURE(dialAndConnect(rig));
        rig.clientSends("\x04\r");
        rig.advance(3'000);
        EXPECT_EQ(rig.state(), LineState::MODEM);
        const auto pet = rig.petTexts();
        ASSERT_FALSE(pet.empty());
        EXPECT_EQ(lastOf(pet), "  DP: Rxd EOT pkt");
        EXPECT_EQ(rig.takeSent(), "");
    }
    {
        Rig rig;
        ASSERT_NO_FATAL_FAILURE(dialAndConnect(rig));
        rig.clientSends(WorkedBlock);
        ASSERT_GE(advanceUntilSent(rig, 5'000), 0);
        EXPECT_EQ(rig.takeSent(), AckReply);
        EXPECT_EQ(rig.state(), LineState::STXNO);
    }
}

TEST(PetLogon, EscapeWhileWaitingForCrReturnsToTheModem)
{
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(dialAndConnect(rig));
    // "+++" without CR: reported as a bad response, then seen again while the next wait runs.
    rig.clientSends("+++");
    ASSERT_GE(advanceUntilSent(rig, 6'000), 0);
    EXPECT_EQ(rig.takeSent(), Ok);
    EXPECT_EQ(rig.state(), LineState::MODEM);
    EXPECT_EQ(rig.link().captureState(), CaptureState::Idle)
        << "the wait ends with the call's PET side";
    rig.clientSends("ATH\r");
    rig.nextEngineTick();
    EXPECT_EQ(rig.takeSent(), Ok) << "the next command reaches the modem";
}

// A receive wait still running when the line enters MODEM must not swallow the client's commands
// nor leave a result behind that answers a later dial with an unasked ID=.
TEST(PetLogon, ANewCallDuringTheIdleCrWaitLosesNoCommand)
{
    for (std::int64_t after : { 1, 20, 49, 120, 250, 499 }) {
        SCOPED_TRACE(after);
        Rig rig;
        rig.advance(1'000); // IDLE arms the CR wait at 1000
        rig.advance(after);
        rig.connect();
        rig.clientSends("AT\r");
        rig.advance(501 - after);
        EXPECT_EQ(rig.takeSent(), Ok);
    }
}

TEST(PetLogon, AStaleMatchNeverAnswersALaterDial)
{
    Rig rig;
    rig.advance(1'000);
    rig.connect();
    rig.clientSends("\r"); // a CR arriving with the connection, before the modem consumes it
    rig.advance(450); // the idle wait would have captured it by now (result 5)
    rig.clientSends("ATDT5551234\r");
    ASSERT_GE(advanceUntilSent(rig, 12'000), 0);
    EXPECT_EQ(rig.takeSent(), Connect);
    rig.advance(10'000);
    EXPECT_EQ(rig.takeSent(), "") << "no ID= before the client's CR";
    rig.clientSends("\r");
    ASSERT_GE(advanceUntilSent(rig, 5'000), 0);
    EXPECT_EQ(rig.takeSent(), IdPrompt);
}
