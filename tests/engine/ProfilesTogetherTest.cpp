// SPDX-License-Identifier: MIT
// The hayes modem in front of the tap18 terminal, as a modem set-up with a TAP 1.8 sender meets
// them: the terminal answers the call the hayes modem put through, and its hang-up is reported by
// that modem in the framing it talks.
#include "engine/Tap18Scenario.h"

#include <gtest/gtest.h>

using namespace ostrella;
using namespace ostrella::test;

TEST(ProfilesTogether, AHayesCallToTheTap18TerminalFromDialToNoCarrier)
{
    Tap18Rig rig;
    rig.sim.lineAt(0).engine.setModemProfile(ModemProfile::Hayes);
    connectClient(rig);
    rig.clientSends("ATE0\r");
    rig.nextEngineTick();
    ASSERT_EQ(rig.takeSent(), "ATE0\r\r\nOK\r\n");
    rig.clientSends("ATDT5551234\r");
    ASSERT_GE(advanceUntilSent(rig, 11'000), 0);
    ASSERT_EQ(rig.takeSent(), "\r\nCONNECT 2400\r\n");

    // ID= within t2 of the CR; then the whole logon and a page.
    rig.clientSends("\r");
    const std::int64_t crAt = rig.now();
    const std::int64_t answeredAt = advanceUntilSent(rig, 1'000);
    ASSERT_GE(answeredAt, 0);
    EXPECT_LE(answeredAt - crAt, 1'000);
    ASSERT_EQ(rig.takeSent(), Tap18Id);
    EXPECT_EQ(tap18Answer(rig, "\x1bPG1\r"), Tap18LogonOk);
    EXPECT_EQ(tap18Answer(rig, tap18Block("123\rABC\r")), Sent211);
    ASSERT_EQ(rig.sink.pages.size(), 1U);

    // EOT: 115, the disconnect, and NO CARRIER framed as the hayes modem frames it; the modem is
    // back in command mode, so AT gets OK (no echo: the modem keeps its settings for the line).
    EXPECT_EQ(tap18Answer(rig, "\x04\r"), Goodbye + "\r\nNO CARRIER\r\n");
    EXPECT_EQ(rig.state(), LineState::MODEM);
    rig.clientSends("AT\r");
    rig.nextEngineTick();
    EXPECT_EQ(rig.takeSent(), "\r\nOK\r\n");

    // With numeric results, the hang-up is "3" CR.
    rig.clientSends("ATV0\r");
    rig.nextEngineTick();
    EXPECT_EQ(rig.takeSent(), "0\r");
    rig.clientSends("ATDT5551234\r");
    ASSERT_GE(advanceUntilSent(rig, 11'000), 0);
    EXPECT_EQ(rig.takeSent(), "10\r");
    rig.clientSends("\r");
    ASSERT_GE(advanceUntilSent(rig, 1'000), 0);
    EXPECT_EQ(rig.takeSent(), Tap18Id);
    EXPECT_EQ(tap18Answer(rig, "\x1bPG1\r"), Tap18LogonOk);
    EXPECT_EQ(tap18Answer(rig, "\x04\r"), Goodbye + "3\r");
}
