// SPDX-License-Identifier: MIT
// The Qt host on its own, under views that only record: a call on a port of the system's choosing,
// the deferred close, and a start that cannot listen.
#include "AppSupport.h"
#include "qt/SimulatorHost.h"
#include "qt/frmTCPComs.h"
#include "support/Rig.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace ostrella;
using namespace ostrella::apptest;

namespace {

std::string startupLine(const std::string& port)
{
    return "Main: " + port;
}

struct QtHost : ::testing::Test {
    test::VectorLogView systemLog;
    test::VectorLogView petLog;
    test::FakePanel panel;
    test::FakeLabels labels;
    SimulatorHost host { ViewPorts { systemLog, petLog, panel, labels } };

    bool systemLogShows(const std::string& text)
    {
        for (const std::string& line : systemLog.history) {
            if (test::textOf(line) == text)
                return true;
        }
        return false;
    }
};

} // namespace

TEST_F(QtHost, PortZeroServesACallOnThePortItNamesUntilTheDeferredClose)
{
    ASSERT_TRUE(host.start("0", startupLine)) << host.listenError();
    const int port = std::stoi(host.port());
    ASSERT_GT(port, 0);
    EXPECT_EQ(host.tcpComs().localPort(), port);
    EXPECT_TRUE(host.tmrDummyPkts().isActive());

    Client client;
    ASSERT_TRUE(client.connectTo(port));
    client.send("AT\r");
    EXPECT_EQ(client.receive("OK\r\n"), QByteArray("OK\r\n"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return systemLogShows("Main: " + host.port()); }, 2000));

    QSignalSpy closeDue(&host, &SimulatorHost::closeDue);
    host.requestClose();
    EXPECT_FALSE(host.tmrDummyPkts().isActive()) << "the engine stops at once";
    ASSERT_TRUE(closeDue.wait(1000));
    host.unload();
    EXPECT_FALSE(host.tmrSystem().isActive());
    EXPECT_FALSE(host.ComTimer().isActive());
    EXPECT_TRUE(client.waitDisconnected());
    QTcpServer again;
    EXPECT_TRUE(again.listen(QHostAddress::Any, static_cast<quint16>(port)))
        << "the listening port is released";
}

TEST_F(QtHost, AStartThatCannotListenIsHalfStartedAndSaysWhyAtOnce)
{
    QTcpServer holder;
    ASSERT_TRUE(holder.listen(QHostAddress::Any, 0));
    const std::string port = std::to_string(holder.serverPort());

    EXPECT_FALSE(host.start(port, startupLine));
    EXPECT_FALSE(host.started());
    EXPECT_EQ(host.port(), port);
    EXPECT_FALSE(host.listenError().empty());
    EXPECT_FALSE(host.tmrDummyPkts().isActive()) << "no engine";
    EXPECT_FALSE(host.tcpComs().isListening());
    EXPECT_TRUE(systemLogShows("Main: " + port)) << "shown without waiting for a tick";
    EXPECT_TRUE(
        systemLogShows("Event: ERROR Listen failed on port <" + port + "> " + host.listenError()));

    // A half-started host still closes through the system timer.
    QSignalSpy closeDue(&host, &SimulatorHost::closeDue);
    host.requestClose();
    EXPECT_TRUE(closeDue.wait(1000));
}
