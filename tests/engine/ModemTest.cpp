// SPDX-License-Identifier: MIT
#include "engine/Scenario.h"

#include <gtest/gtest.h>

using namespace ostrella;
using namespace ostrella::test;

TEST(ModemEmulator, CommandsAreAnsweredAtTheNextTickAndTheInputIsConsumed)
{
    struct Case {
        const char* name;
        std::string input;
        std::string reply;
    };
    const Case cases[] = {
        { "echo off, any case", "ATE0\r", Ok },
        { "hang up", "ath\r", Ok },
        { "factory defaults", "AT&F\r", Ok },
        { "quiet off", "atq0\r", Ok },
        { "echo on", "ATE1\r", Ok },
        { "reset falls to plain at", "ATZ\r", Ok },
        { "at anywhere", "xxAtxx", Ok },
        { "several commands, one reply", "ATZ\rATE0\r", Ok },
        { "no at: dropped", "hello\r", "" },
        { "only line ends", "\r\n", "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        ASSERT_NO_FATAL_FAILURE(connectClient(rig));
        rig.clientSends(c.input);
        rig.nextEngineTick();
        EXPECT_EQ(rig.takeSent(), c.reply);
        EXPECT_EQ(rig.state(), LineState::MODEM);
        EXPECT_EQ(rig.link().gRxString(), "");
        EXPECT_EQ(rig.link().gRxPacket(), "");
        rig.advance(500);
        EXPECT_TRUE(rig.petTexts().empty()) << "the modem logs no commands";
    }
}

TEST(ModemEmulator, EscapeIsAnsweredAfterOneSecondAndWinsOverLaterCommands)
{
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(connectClient(rig));
    rig.clientSends("+++ATH\r");
    rig.nextEngineTick();
    const std::int64_t handled = rig.now();
    EXPECT_EQ(rig.state(), LineState::WAIT);
    const std::int64_t at = advanceUntilSent(rig, 3'000);
    EXPECT_EQ(at, handled + 1'500) << "due at +1000 exactly is not yet due; next tick";
    EXPECT_EQ(rig.takeSent(), Ok);
    EXPECT_EQ(rig.state(), LineState::MODEM);
    rig.advance(3'000);
    EXPECT_EQ(rig.takeSent(), "") << "one reply only";
}

TEST(ModemEmulator, DialResultsFollowTheFirstTickedBoxAfterTheirDelay)
{
    struct Case {
        const char* name;
        std::vector<Box> boxes;
        std::string reply;
        std::int64_t delay;
    };
    const Case cases[] = {
        { "connect", {}, Connect, 10'000 },
        { "busy", { Box::chkBusy }, "BUSY\r\n", 5'000 },
        { "no carrier", { Box::chkNoCarrier }, "NO CARRIER\r\n", 20'000 },
        { "no dialtone", { Box::chkNoDialtone }, "NO DIALTONE\r\n", 8'000 },
        { "busy before no carrier", { Box::chkNoCarrier, Box::chkBusy }, "BUSY\r\n", 5'000 },
        { "no answer before no dialtone", { Box::chkNoDialtone, Box::chkNoAnswer }, "", 40'000 },
        { "pet boxes do not matter", { Box::chkNAK, Box::chkREJ }, Connect, 10'000 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        for (Box b : c.boxes)
            rig.panel.tick(b);
        ASSERT_NO_FATAL_FAILURE(connectClient(rig));
        rig.clientSends("atdt5551234\r");
        rig.nextEngineTick();
        const std::int64_t dialled = rig.now();
        EXPECT_EQ(rig.state(), LineState::WAITCONNECT);
        // Ticks fall every 500 ms, so one falls exactly on the due time: not yet due.
        rig.advance(c.delay);
        EXPECT_EQ(rig.takeSent(), "");
        EXPECT_EQ(rig.state(), LineState::WAITCONNECT);
        rig.advance(500);
        EXPECT_EQ(rig.takeSent(), c.reply);
        EXPECT_EQ(rig.state(), LineState::WAIT_CR);
        ASSERT_FALSE(rig.socket.sent.empty());
        EXPECT_EQ(rig.socket.sent.back().at, dialled + c.delay + 500);
    }
}

TEST(ModemEmulator, SevenBitNumberSwitchesTheLineAfterTheNextIdle)
{
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(dialAndConnect(rig, "atdt125107\r"));
    Session& s = rig.session();
    EXPECT_TRUE(s.gSevenBitDialled);
    EXPECT_FALSE(rig.link().gSevenBitActive()) << "CONNECT itself goes out plain";
    rig.advance(600);
    EXPECT_EQ(rig.petTexts().front(), "  DP:CONVERT 7 BIT active");
    rig.advance(1'000); // WAIT CR falls back through IDLE, which switches the line
    EXPECT_TRUE(rig.link().gSevenBitActive());
    rig.clientSends(std::string("\x8d")); // CR with its parity bit
    ASSERT_GE(advanceUntilSent(rig, 5'000), 0);
    EXPECT_EQ(rig.takeSent(), std::string("\xc9\x44\xbd\x8d\x0a")); // "ID=" CR LF, even parity
}

TEST(ModemEmulator, AFailedDialLeavesTheSevenBitFlagsAlone)
{
    Rig rig;
    rig.panel.tick(Box::chkBusy);
    ASSERT_NO_FATAL_FAILURE(connectClient(rig));
    rig.session().gSevenBitDialled = true;
    rig.clientSends("ATDT555\r");
    rig.nextEngineTick();
    EXPECT_TRUE(rig.session().gSevenBitDialled);
    rig.panel.tick(Box::chkBusy, false);
    rig.advance(6'000);
    rig.session().gLineState = LineState::MODEM;
    rig.clientSends("ATDT555\r");
    rig.nextEngineTick();
    EXPECT_FALSE(rig.session().gSevenBitDialled) << "a successful plain dial clears it";
}

TEST(ModemEmulator, ADialSplitAcrossTwoTicksIsTwoInputs)
{
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(connectClient(rig));
    rig.clientSends("AT");
    rig.nextEngineTick();
    EXPECT_EQ(rig.takeSent(), Ok);
    rig.clientSends("DT5551234\r");
    rig.nextEngineTick();
    EXPECT_EQ(rig.takeSent(), "");
    EXPECT_EQ(rig.state(), LineState::MODEM);
    EXPECT_EQ(rig.link().gRxString(), "");
}
