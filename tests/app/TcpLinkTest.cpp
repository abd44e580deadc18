// SPDX-License-Identifier: MIT
// The listener over real TCP on this machine: a client taking over the line, the peer closing and
// the next client being served, a flood taken in slices (one a pass, so other lines are read in
// between), a lost listener got back.
#include "AppSupport.h"
#include "qt/LogDisplay.h"
#include "qt/SocketHub.h"
#include "qt/frmTCPComs.h"

#include <QTcpServer>
#include <QTest>
#include <algorithm>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace ostrella;
using namespace ostrella::apptest;

namespace {

const QByteArray Ok("OK\r\n");

qsizetype countStartingWith(const QStringList& lines, const QString& start)
{
    return std::count_if(lines.begin(), lines.end(),
                         [&](const QString& line) { return line.startsWith(start); });
}

// What a hub connection hands on, gathered.
struct Gathered : ConnectionEvents {
    std::string bytes;
    void received(std::string_view piece) override { bytes += piece; }
    void closedByPeer() override { }
    void failed() override { }
};

} // namespace

TEST(TcpLink, EachPassOfTheHubReadsOneSliceOfAFloodBeforeTheOtherConnections)
{
    Gathered flooded;
    Gathered calling;
    SocketHub hub;
    int flood[2];
    int other[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, flood), 0);
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, other), 0);
    ASSERT_NE(hub.adopt(flood[0], &flooded), nullptr);
    ASSERT_NE(hub.adopt(other[0], &calling), nullptr);
    // Far more than a slice waits on the flooded connection, then the other's bytes come.
    const std::string junk(SocketHub::ReadChunk, 'x');
    std::size_t waiting = 0;
    for (ssize_t n = 0; n >= 0; waiting += static_cast<std::size_t>(std::max<ssize_t>(n, 0)))
        n = ::send(flood[1], junk.data(), junk.size(), MSG_NOSIGNAL);
    ASSERT_GT(waiting, 2 * SocketHub::ReadChunk);
    ASSERT_EQ(::send(other[1], "AT\r", 3, MSG_NOSIGNAL), 3);
    hub.catchUp();
    EXPECT_EQ(calling.bytes, "AT\r");
    EXPECT_EQ(flooded.bytes.size(), SocketHub::ReadChunk) << "of " << waiting << " waiting";
    // The rest comes on later passes, none of it lost.
    for (int pass = 0; pass < 100 && flooded.bytes.size() < waiting; ++pass)
        hub.catchUp();
    EXPECT_EQ(flooded.bytes.size(), waiting);
    ::close(flood[1]);
    ::close(other[1]);
}

TEST(TcpLink, ASecondClientTakesOverTheLine)
{
    const auto window = openWindow("0");
    const int port = portOf(*window);
    Client first;
    ASSERT_TRUE(first.connectTo(port));
    ASSERT_TRUE(waitForSystemLine(
        *window, QStringLiteral("Event: Connect request id = 1 from <127.0.0.1>")));
    first.send("AT\r");
    ASSERT_EQ(first.receive(Ok), Ok);

    Client second;
    ASSERT_TRUE(second.connectTo(port));
    EXPECT_TRUE(first.waitDisconnected()) << "the first client's line is dropped";
    ASSERT_TRUE(waitForSystemLine(
        *window, QStringLiteral("Event: Connect request id = 2 from <127.0.0.1>")));
    EXPECT_EQ(window->sim().lineAt(0).state(), LineState::MODEM);

    second.send("AT\r");
    EXPECT_EQ(second.receive(Ok), Ok);
    const QStringList log = systemLog(*window);
    EXPECT_EQ(countStartingWith(log, QStringLiteral("Event: Connect request")), 2);
    EXPECT_FALSE(log.contains(QStringLiteral("Event: Port Closed")))
        << "the dropped connection is not reported as the new one closing";
}

TEST(TcpLink, AfterThePeerClosesTheNextClientIsServed)
{
    const auto window = openWindow("0");
    const int port = portOf(*window);
    {
        Client caller;
        ASSERT_TRUE(caller.connectTo(port));
        caller.send("AT\r");
        ASSERT_EQ(caller.receive(Ok), Ok);
        caller.disconnectFromHost();
        ASSERT_TRUE(waitForSystemLine(*window, QStringLiteral("Event: Port Closed")));
    }
    QStringList log = systemLog(*window);
    const qsizetype closed = log.indexOf(QStringLiteral("Event: Port Closed"));
    ASSERT_LT(closed + 1, log.size());
    EXPECT_TRUE(log[closed + 1].startsWith(
        QStringLiteral("TCP Remote Server: Local port <%1> Local IP <").arg(port)))
        << log[closed + 1].toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("Event: <127.0.0.1> Data Pkt Rxd <AT<CR>>")));
    EXPECT_TRUE(log.contains(QStringLiteral("Event: <127.0.0.1> Data Pkt Txd ----> <OK<CR><LF>>")));

    Client next;
    ASSERT_TRUE(next.connectTo(port));
    next.send("AT\r");
    EXPECT_EQ(next.receive(Ok), Ok);
}

TEST(TcpLink, AFloodIsTakenInSlicesShownCutAndTheLineStillAnswers)
{
    const auto window = openWindow("0");
    const int port = portOf(*window);
    Client flooder;
    ASSERT_TRUE(flooder.connectTo(port));
    flooder.send(QByteArray(1024 * 1024, 'x'));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return countStartingWith(systemLog(*window),
                                     QStringLiteral("Event: Receive buffer full"))
                > 0;
        },
        5000));
    for (const QString& line : systemLog(*window))
        EXPECT_LT(line.size(), static_cast<qsizetype>(MaxShownBytes) + 100);

    flooder.send("AT\r");
    EXPECT_TRUE(flooder.receive(Ok).endsWith(Ok));
}

TEST(TcpLink, AFailedReListenIsRetriedOnTheSystemTimer)
{
    const auto window = openWindow("0");
    const int port = portOf(*window);
    ASSERT_TRUE(window->started());
    // The listener is lost and someone else takes the port before the peer's close comes in.
    window->tcpComs().Form_Unload();
    QTcpServer squatter;
    ASSERT_TRUE(squatter.listen(QHostAddress::Any, static_cast<quint16>(port)));
    window->sim().wskMessage_Close();
    ASSERT_TRUE(window->sim().listener().listenPending());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return countStartingWith(
                       systemLog(*window),
                       QStringLiteral("Event: ERROR Listen failed on port <%1>").arg(port))
                == 1;
        },
        3000));

    squatter.close();
    const QString relisten
        = QStringLiteral("TCP Remote Server: Local port <%1> Local IP <").arg(port);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return countStartingWith(systemLog(*window), relisten) == 1; }, 3000));
    EXPECT_FALSE(window->sim().listener().listenPending());
    EXPECT_EQ(countStartingWith(systemLog(*window), QStringLiteral("Event: ERROR Listen failed")),
              1)
        << "the failure is told once, not on every retry";

    Client next;
    ASSERT_TRUE(next.connectTo(port));
    next.send("AT\r");
    EXPECT_EQ(next.receive(Ok), Ok);
}
