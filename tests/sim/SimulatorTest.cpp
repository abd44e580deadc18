// SPDX-License-Identifier: MIT
// The simulator's connection events: the listener opening and opening again, a caller put through
// to the line and a new caller taking it over.
#include "sim/Simulator.h"

#include "support/Rig.h"

#include <gtest/gtest.h>

using namespace ostrella;
using namespace ostrella::test;

namespace {

// The engine timer is stopped so nothing consumes what arrives.
struct SimulatorFixture : ::testing::Test {
    Rig rig;
    Listener& listener = rig.sim.listener();

    SimulatorFixture() { rig.tmrDummyPkts.setEnabled(false); }

    std::vector<std::string> systemLines()
    {
        for (int i = 0; i < 30; ++i)
            rig.sim.log().FlushLog();
        return rig.systemTexts();
    }
};

} // namespace

TEST_F(SimulatorFixture, ConnectionEventsAreLoggedExactly)
{
    rig.connect();
    rig.session().gLineState = LineState::STXNO;
    rig.connect(); // a second client takes over
    EXPECT_EQ(rig.state(), LineState::MODEM);
    rig.peerCloses();
    rig.sim.wskMessage_Error();
    rig.link().wskMessage_Connect();

    const std::vector<std::string> expected {
        "Main: Ostrella on 9001 now operational using version  V1.0(1) 2014",
        "TCP Remote Server: Local Port <9001> Local IP <192.0.2.7 > ",
        "Event: Connect request id = 1 from <127.0.0.1>",
        "Event: Connect request id = 2 from <127.0.0.1>",
        "Event: Port Closed",
        "TCP Remote Server: Local port <9001> Local IP <192.0.2.7 > ",
        "Event: ERROR Port Closed",
        "TCP Remote Server: Local port <9001> Local IP <192.0.2.7 > ",
        "Event: Connected",
    };
    EXPECT_EQ(systemLines(), expected);
}

TEST_F(SimulatorFixture, FailedRelistenIsSaidOnceAndRetriedUntilItWorks)
{
    rig.connect();
    rig.server.refuseListen = true;
    rig.peerCloses();
    EXPECT_TRUE(listener.listenPending());
    listener.RetryListen();
    listener.RetryListen();
    rig.server.refuseListen = false;
    listener.RetryListen();
    EXPECT_FALSE(listener.listenPending());
    listener.RetryListen();

    const auto lines = systemLines();
    const std::vector<std::string> tail(lines.end() - 3, lines.end());
    const std::vector<std::string> expected {
        "Event: Port Closed",
        "Event: ERROR Listen failed on port <9001> The bound address is already in use, "
        "retrying",
        "TCP Remote Server: Local port <9001> Local IP <192.0.2.7 > ",
    };
    EXPECT_EQ(tail, expected);
    EXPECT_EQ(rig.server.listenCalls, 5);
}

TEST_F(SimulatorFixture, ListenerRefusesPortsThatAreNoPorts)
{
    for (const char* port : { "-1", "65536", "99999", "abc", "" }) {
        SCOPED_TRACE(port);
        listener.gListenPort = port;
        EXPECT_FALSE(listener.OpenListener(1));
        EXPECT_EQ(listener.listenError(), "not a port number from 1 to 65535");
    }
    listener.gListenPort = "9001";
    rig.server.refuseListen = true;
    EXPECT_FALSE(listener.OpenListener(1));
    EXPECT_EQ(listener.listenError(), "The bound address is already in use");
    EXPECT_TRUE(listener.OpenListener(2)) << "modes other than 1 do nothing";
}

TEST(Simulator, PortZeroTakesThePortTheSystemChoosesAndNamesIt)
{
    Rig rig("0");
    rig.advance(500);
    const std::vector<std::string> expected {
        "Main: Ostrella on 40000 now operational using version  V1.0(1) 2014",
        "TCP Remote Server: Local Port <40000> Local IP <192.0.2.7 > ",
    };
    EXPECT_EQ(rig.systemTexts(), expected);
    EXPECT_EQ(rig.sim.listener().gListenPort, "40000");

    // A listener lost and opened again comes back on the same port, not a new one.
    rig.connect();
    rig.server.loseListener();
    rig.peerCloses();
    rig.advance(500);
    EXPECT_EQ(lastOf(rig.systemTexts()),
              "TCP Remote Server: Local port <40000> Local IP <192.0.2.7 > ");
    EXPECT_EQ(rig.server.localPort(), 40000);
}

TEST(Simulator, AStartThatCannotListenSaysWhyAfterTheStartupLine)
{
    Rig rig("9001", false);
    rig.server.refuseListen = true;
    EXPECT_FALSE(rig.sim.Start("9001", startupLineV101));
    EXPECT_EQ(rig.sim.listener().listenError(), "The bound address is already in use");
    rig.sim.FlushAll();
    const std::vector<std::string> expected {
        "Main: Ostrella on 9001 now operational using version  V1.0(1) 2014",
        "Event: ERROR Listen failed on port <9001> The bound address is already in use",
    };
    EXPECT_EQ(rig.systemTexts(), expected);
}
