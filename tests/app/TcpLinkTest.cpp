// SPDX-License-Identifier: MIT
// The listener over real TCP on this machine: a client taking over the line, the peer closing and
// the next client being served, a flood taken in slices, a lost listener got back.
#include "AppSupport.h"
#include "qt/LogDisplay.h"
#include "qt/frmTCPComs.h"

#include <QTcpServer>
#include <QTest>
#include <algorithm>
#include <gtest/gtest.h>

using namespace ostrella;
using namespace ostrella::apptest;

namespace {

const QByteArray Ok("OK\r\n");

qsizetype countStartingWith(const QStringList& lines, const QString& start)
{
    return std::count_if(lines.begin(), lines.end(),
                         [&](const QString& line) { return line.startsWith(start); });
}

} // namespace

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
