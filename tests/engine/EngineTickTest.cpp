// SPDX-License-Identifier: MIT
#include "engine/Engine.h"
#include "engine/Scenario.h"

#include <gtest/gtest.h>

using namespace ostrella;
using namespace ostrella::test;

TEST(EngineTick, StartsEmptyRepairsToIdleThenArmsTheCrWait)
{
    Rig rig;
    rig.link().setSevenBitActive(true);
    rig.session().gSevenBitDialled = true;
    rig.advance(500);
    EXPECT_EQ(rig.state(), LineState::IDLE);
    EXPECT_FALSE(rig.link().gSevenBitActive());
    EXPECT_FALSE(rig.session().gSevenBitDialled);
    rig.advance(500);
    EXPECT_EQ(rig.state(), LineState::WAIT_CR);
    EXPECT_EQ(rig.link().captureState(), CaptureState::Armed);
    // The label shows the state at the start of each tick.
    const std::vector<std::string> labels { "09:05:00 ", "09:05:01 IDLE" };
    EXPECT_EQ(rig.labels.progress, labels);
    rig.advance(500);
    EXPECT_EQ(lastOf(rig.labels.progress), "09:05:01 WAIT CR");
}

TEST(EngineTick, WithoutAClientTheEngineCyclesSilentlyBetweenWaitCrAndIdle)
{
    Rig rig;
    rig.advance(60'000);
    EXPECT_TRUE(rig.petTexts().empty());
    EXPECT_TRUE(rig.socket.sent.empty());
    EXPECT_EQ(rig.tmrDummyPkts.interval(), 500);
    int idle = 0;
    for (const auto& label : rig.labels.progress)
        idle += label.ends_with(" IDLE") ? 1 : 0;
    EXPECT_GE(idle, 15);
}

TEST(EngineTick, AReplyIsDueOnlyStrictlyAfterItsDueTime)
{
    Rig rig;
    rig.advance(1000);
    rig.connect();
    Session& s = rig.session();
    s.gLineState = LineState::WAIT;
    s.gReplyText = "OK\r\n";
    s.gReplyDue = rig.now() + 500; // exactly the next tick
    rig.nextEngineTick();
    EXPECT_EQ(rig.now(), s.gReplyDue);
    EXPECT_TRUE(rig.socket.sent.empty());
    EXPECT_EQ(rig.state(), LineState::WAIT);
    rig.nextEngineTick();
    EXPECT_EQ(rig.takeSent(), "OK\r\n");
    EXPECT_EQ(rig.state(), LineState::MODEM);
    EXPECT_EQ(s.gReplyText, "");
}

TEST(EngineTick, WaitConnectWithNoReplyStillSendsTheEmptyTextAndMovesOn)
{
    Rig rig;
    rig.advance(1000);
    rig.connect();
    Session& s = rig.session();
    s.gLineState = LineState::WAITCONNECT;
    s.gReplyText.clear();
    s.gReplyDue = rig.now();
    rig.nextEngineTick();
    EXPECT_EQ(rig.state(), LineState::WAIT_CR);
    ASSERT_EQ(rig.socket.sent.size(), 1U);
    EXPECT_EQ(rig.socket.sent[0].bytes, "");
    rig.advance(500);
    EXPECT_EQ(lastOf(rig.systemTexts()), "Event: <127.0.0.1> Data Pkt Txd ----> <>");
}

TEST(EngineTick, StripCrLfRemovesOnlyLineEnds)
{
    EXPECT_EQ(Engine::StripCrLf("\r\nAT\rZ\n\n"), "ATZ");
    EXPECT_EQ(Engine::StripCrLf(std::string("a\0b\x0b", 4)), std::string("a\0b\x0b", 4));
}

TEST(EngineTick, AFailedSendDoesNotStopTheCall)
{
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(connectClient(rig));
    rig.socket.failSends = true;
    rig.clientSends("ATDT5551234\r");
    rig.advance(11'000);
    EXPECT_EQ(rig.state(), LineState::WAIT_CR) << "the state moved on as if the send worked";
    rig.socket.failSends = false;
    rig.clientSends("\r");
    ASSERT_GE(advanceUntilSent(rig, 5'000), 0);
    EXPECT_EQ(rig.takeSent(), IdPrompt);
    rig.advance(500);
    const auto lines = rig.systemTexts();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "Event: <127.0.0.1> Data Pkt Txd FAILED <CONNECT\r\n>"),
              lines.end());
}
