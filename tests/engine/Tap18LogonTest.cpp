// SPDX-License-Identifier: MIT
// The tap18 terminal's logon in virtual time: ID= within t2, the logon forms and refusals, the
// t5 re-prompts, a failed dial, and the classic terminal staying the default.
#include "engine/Tap18Scenario.h"
#include "link/SevenBit.h"

#include <gtest/gtest.h>

using namespace ostrella;
using namespace ostrella::test;

TEST(Tap18Logon, CrIsAnsweredWithinT2OnTheFirstCallAndLaterOnes)
{
    Tap18Rig rig;
    for (int call = 1; call <= 2; ++call) {
        SCOPED_TRACE(call);
        ASSERT_NO_FATAL_FAILURE(tap18Connect(rig));
        for (std::int64_t after : { 1, 250, 499 }) {
            rig.advance(after);
            rig.clientSends("\r");
            const std::int64_t crAt = rig.now();
            const std::int64_t idAt = advanceUntilSent(rig, 1'000);
            ASSERT_GE(idAt, 0);
            EXPECT_LE(idAt - crAt, rig.sim.lineAt(0).engine.tap18().tickMs());
            EXPECT_EQ(rig.takeSent(), Tap18Id);
        }
        EXPECT_EQ(rig.state(), LineState::PASSWD);
        rig.peerCloses();
        rig.advance(700);
    }
    EXPECT_EQ(rig.sim.lineAt(0).engine.tap18().tickMs(), 100);
    const auto pet = rig.petTexts();
    EXPECT_EQ(pet[0], "  DP: Terminal tap18 answers");
    EXPECT_EQ(pet[1], "  DP: Returning IDentify");
    EXPECT_EQ(pet[2], "  DP: Returning IDentify again (1 of 3)");
}

TEST(Tap18Logon, LogonFormsThatAreAccepted)
{
    struct Case {
        const char* name;
        std::optional<std::string> password;
        std::string logon;
    };
    const Case cases[] = {
        { "upper case, any password", std::nullopt, "\x1bPG1000000\r" },
        { "lower case, no password", std::nullopt, "\x1bpg1\r" },
        { "LF after CR", std::nullopt, "\x1bPG1abc\r\n" },
        { "the password set", std::string("secret"), "\x1bPG1secret\r" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Tap18Rig rig;
        rig.sim.tap18Settings().password = c.password;
        ASSERT_NO_FATAL_FAILURE(tap18LogOn(rig, c.logon));
        rig.peerCloses();
        ASSERT_EQ(rig.sink.calls.size(), 1U);
        EXPECT_TRUE(rig.sink.calls[0].logon);
        EXPECT_EQ(rig.sink.calls[0].terminal, "tap18");
    }
}

TEST(Tap18Logon, RefusedLogons)
{
    struct Case {
        const char* name;
        std::optional<std::string> password;
        std::string logon;
        std::string reply;
        LineState after;
    };
    const std::string refused508
        = "508 Service or category not supported\r" + Disconnect + NoCarrier;
    const Case cases[] = {
        { "another service", std::nullopt, "\x1bPM1\r", refused508, LineState::MODEM },
        { "another category", std::nullopt, "\x1bPG3\r", refused508, LineState::MODEM },
        { "wrong password", std::string("secret"), "\x1bPG1000000\r",
          "509 Invalid password\r\x15\r", LineState::PASSWD },
        { "missing password", std::string("secret"), "\x1bPG1\r", "509 Invalid password\r\x15\r",
          LineState::PASSWD },
        { "malformed logon", std::nullopt, "\x1bP\r", Tap18Id, LineState::PASSWD },
        { "other text", std::nullopt, "hello\r", Tap18Id, LineState::PASSWD },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Tap18Rig rig;
        rig.sim.tap18Settings().password = c.password;
        ASSERT_NO_FATAL_FAILURE(tap18Connect(rig));
        EXPECT_EQ(tap18Answer(rig, "\r"), Tap18Id);
        EXPECT_EQ(tap18Answer(rig, c.logon), c.reply);
        EXPECT_EQ(rig.state(), c.after);
        EXPECT_EQ(rig.socket.state(), SocketState::Connected) << "the cable stays plugged in";
    }
}

// After n3 repeats, the next failure ends the call with its own code.
TEST(Tap18Logon, RepeatedFailuresRunOutAfterN3)
{
    struct Case {
        const char* name;
        std::string line;
        std::string repeat;
        std::string last;
    };
    const Case cases[] = {
        { "malformed", "junk\r", Tap18Id, "507 Invalid logon\r" },
        { "password", "\x1bPG1wrong\r", "509 Invalid password\r\x15\r", "509 Invalid password\r" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Tap18Rig rig;
        rig.sim.tap18Settings().password = "secret";
        ASSERT_NO_FATAL_FAILURE(tap18Connect(rig));
        EXPECT_EQ(tap18Answer(rig, "\r"), Tap18Id);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(tap18Answer(rig, c.line), c.repeat) << i;
        EXPECT_EQ(tap18Answer(rig, c.line), c.last + Disconnect + NoCarrier);
        EXPECT_EQ(rig.state(), LineState::MODEM);
        EXPECT_EQ(tap18Answer(rig, "AT\r"), Ok) << "the modem is in its command state";
    }
}

TEST(Tap18Logon, NoLogonWithinT5PromptsAgainN3TimesThen501)
{
    Tap18Rig rig;
    ASSERT_NO_FATAL_FAILURE(tap18Connect(rig));
    rig.clientSends("\r");
    std::int64_t promptedAt = advanceUntilSent(rig, 1'000);
    ASSERT_GE(promptedAt, 0);
    rig.takeSent();
    for (int i = 1; i <= 3; ++i) {
        SCOPED_TRACE(i);
        rig.advance(promptedAt + 8'000 - rig.now());
        EXPECT_EQ(rig.takeSent(), "") << "nothing at t5";
        promptedAt = advanceUntilSent(rig, 100);
        EXPECT_EQ(promptedAt, rig.now()) << "on the first tick after t5";
        EXPECT_EQ(rig.takeSent(), Tap18Id);
    }
    rig.advance(promptedAt + 8'000 - rig.now());
    EXPECT_EQ(rig.takeSent(), "");
    ASSERT_GE(advanceUntilSent(rig, 100), 0);
    EXPECT_EQ(rig.takeSent(), TimeOut + NoCarrier);
    EXPECT_EQ(rig.state(), LineState::MODEM);
    EXPECT_EQ(rig.tmrDummyPkts.interval(), 500) << "the engine is back at its slow pace";
}

TEST(Tap18Logon, ALogonJustInsideT5IsTakenAndTheTimersAreOptions)
{
    Tap18Rig rig;
    rig.sim.tap18Settings().t5Ms = 2'000;
    rig.sim.tap18Settings().n3 = 0;
    ASSERT_NO_FATAL_FAILURE(tap18Connect(rig));
    rig.clientSends("\r");
    const std::int64_t promptedAt = advanceUntilSent(rig, 1'000);
    rig.takeSent();
    rig.advance(promptedAt + 1'999 - rig.now());
    EXPECT_EQ(tap18Answer(rig, LogonLine, 100), Tap18LogonOk);

    Tap18Rig late;
    late.sim.tap18Settings().t5Ms = 2'000;
    late.sim.tap18Settings().n3 = 0;
    ASSERT_NO_FATAL_FAILURE(tap18Connect(late));
    late.clientSends("\r");
    const std::int64_t lateAt = advanceUntilSent(late, 1'000);
    late.takeSent();
    late.advance(lateAt + 2'100 - late.now());
    EXPECT_EQ(late.takeSent(), TimeOut + NoCarrier) << "n3 = 0: no second prompt";
}

TEST(Tap18Logon, EotOrSilenceBeforeTheLogon)
{
    Tap18Rig rig;
    ASSERT_NO_FATAL_FAILURE(tap18Connect(rig));
    rig.advance(8'000);
    EXPECT_EQ(rig.takeSent(), "") << "nothing before t5 when no CR came";
    ASSERT_GE(advanceUntilSent(rig, 200), 0);
    EXPECT_EQ(rig.takeSent(), Tap18Id) << "prompted unasked after t5";
    EXPECT_EQ(tap18Answer(rig, "\x04\r"), Goodbye + NoCarrier);
    EXPECT_EQ(rig.state(), LineState::MODEM);
}

TEST(Tap18Logon, AFailedDialLeavesTheModemInItsCommandState)
{
    Tap18Rig rig;
    rig.panel.tick(Box::chkBusy);
    ASSERT_NO_FATAL_FAILURE(connectClient(rig));
    rig.clientSends("ATDT5551234\r");
    ASSERT_GE(advanceUntilSent(rig, 6'000), 0);
    EXPECT_EQ(rig.takeSent(), "BUSY\r\n");
    rig.advance(600);
    EXPECT_EQ(rig.state(), LineState::MODEM);
    rig.panel.tick(Box::chkBusy, false);
    rig.clientSends("ATDT5551234\r");
    ASSERT_GE(advanceUntilSent(rig, 11'000), 0);
    EXPECT_EQ(rig.takeSent(), Connect);
    EXPECT_EQ(tap18Answer(rig, "\r"), Tap18Id);
}

TEST(Tap18Logon, ASevenBitDialIsAnsweredInSevenBitsFromTheFirstPrompt)
{
    Tap18Rig rig;
    ASSERT_NO_FATAL_FAILURE(dialAndConnect(rig, "ATDT125107\r"));
    EXPECT_EQ(tap18Answer(rig, SevenBitEncode("\r")), SevenBitEncode(Tap18Id));
    EXPECT_EQ(tap18Answer(rig, SevenBitEncode(LogonLine)), SevenBitEncode(Tap18LogonOk));
    EXPECT_EQ(tap18Answer(rig, SevenBitEncode("\x04\r")), SevenBitEncode(Goodbye) + NoCarrier);
}

TEST(Tap18Logon, ClassicStaysTheDefaultAndAChangeWaitsForTheNextCall)
{
    Rig rig;
    VectorRecordSink sink;
    rig.sim.addRecordSink(&sink);
    EXPECT_EQ(rig.sim.terminal(), TerminalProfile::Classic);
    ASSERT_NO_FATAL_FAILURE(dialAndConnect(rig));
    rig.sim.setTerminal(TerminalProfile::Tap18);
    rig.clientSends("\r");
    ASSERT_GE(advanceUntilSent(rig, 5'000), 0);
    EXPECT_EQ(rig.takeSent(), IdPrompt) << "the call keeps the classic terminal";
    rig.peerCloses();
    ASSERT_NO_FATAL_FAILURE(dialAndConnect(rig));
    EXPECT_EQ(tap18Answer(rig, "\r"), Tap18Id);
    rig.peerCloses();
    ASSERT_EQ(sink.calls.size(), 2U);
    EXPECT_EQ(sink.calls[0].terminal, "classic");
    EXPECT_EQ(sink.calls[1].terminal, "tap18");
}
