// SPDX-License-Identifier: MIT
// Ending the program: the refused first close and the unload on the next system tick, Exit in the
// middle of a call, and a start-up whose port cannot be opened.
#include "AppSupport.h"
#include "qt/frmTCPComs.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace ostrella;
using namespace ostrella::apptest;

namespace {

// The window's close box: the first close is refused, the window unloads within one system tick.
void expectDeferredClose(frmHarnwick& window)
{
    QSignalSpy unloaded(&window, &frmHarnwick::unloaded);
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(window.close()) << "the first close is refused";
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(engineTimer(window).isActive()) << "the engine stops at once";
    EXPECT_EQ(window.closing(), 1);
    EXPECT_EQ(window.closeRequested(), 1);

    ASSERT_TRUE(unloaded.wait(1000));
    EXPECT_LT(clock.elapsed(), 400) << "one 100 ms system tick, with slack for a busy machine";
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.tcpComs().state(), SocketState::Closed);
    EXPECT_FALSE(window.host().ComTimer().isActive());
}

} // namespace

TEST(MainWindowClose, FirstCloseIsRefusedAndTheNextSystemTickUnloads)
{
    const auto window = openWindow("0");
    const int port = portOf(*window);
    ASSERT_TRUE(window->started());
    expectDeferredClose(*window);

    QTcpServer again;
    EXPECT_TRUE(again.listen(QHostAddress::Any, static_cast<quint16>(port)))
        << "the listening port is released";
}

TEST(MainWindowClose, TheProgramEndsWithoutAQuestion)
{
    frmHarnwick window(frmHarnwick::Options { "0", true });
    window.show();
    bool timedOut = false;
    QTimer::singleShot(0, &window, [&] { window.close(); });
    // Tied to the window, so that it cannot fire in a later test, long after `timedOut` is gone.
    QTimer::singleShot(5000, &window, [&] {
        timedOut = true;
        QApplication::quit();
    });
    QElapsedTimer clock;
    clock.start();
    QApplication::exec();
    EXPECT_FALSE(timedOut) << "the event loop was still running after 5 s";
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "nothing asked the operator";
}

TEST(MainWindowClose, ExitMidCallRunsNoFurtherEngineTick)
{
    const auto window = openWindow("0");
    const int port = portOf(*window);
    Client client;
    ASSERT_TRUE(client.connectTo(port));
    client.send("AT\r");
    ASSERT_EQ(client.receive("OK\r\n"), QByteArray("OK\r\n"));
    client.send("ATDT5551234\r");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return window->sim().lineAt(0).state() == LineState::WAITCONNECT; }, 2000));

    QSignalSpy engineTicks(&engineTimer(*window), &QTimer::timeout);
    QSignalSpy unloaded(window.get(), &frmHarnwick::unloaded);
    window->findChild<QAction*>(QStringLiteral("mnuExit"))->trigger();
    EXPECT_FALSE(engineTimer(*window).isActive());
    ASSERT_TRUE(unloaded.wait(1000));
    EXPECT_EQ(engineTicks.count(), 0);
    EXPECT_TRUE(client.waitDisconnected()) << "the client's line is dropped";
}

TEST(StartupFailure, APortThatCannotBeOpenedIsNamedWithItsReason)
{
    QTcpServer occupier;
    ASSERT_TRUE(occupier.listen(QHostAddress::Any, 0));
    const std::string busy = std::to_string(occupier.serverPort());
    const struct {
        const char* name;
        std::string port;
        QString reasonPart;
    } cases[] = {
        { "port in use", busy, QStringLiteral("in use") },
        { "port above 65535", "70000", QStringLiteral("65535") },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto window = openWindow(c.port);
        EXPECT_FALSE(window->started());
        auto* box = window->findChild<QMessageBox*>(QStringLiteral("msgStartupError"));
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(box->isVisible());
        EXPECT_FALSE(box->isModal()) << "the operator can still use the window";
        const QString port = QString::fromStdString(c.port);
        const QString reason = QString::fromStdString(window->host().listenError());
        EXPECT_TRUE(box->text().contains(QStringLiteral("port ") + port))
            << box->text().toStdString();
        EXPECT_TRUE(box->text().contains(reason));
        EXPECT_TRUE(reason.contains(c.reasonPart)) << reason.toStdString();
        EXPECT_EQ(window->startupError(), box->text());

        EXPECT_TRUE(waitForSystemLine(
            *window,
            QStringLiteral("Event: ERROR Listen failed on port <%1> %2").arg(port, reason)));
        EXPECT_EQ(window->closing(), 0) << "the window stays open, half started";
        EXPECT_FALSE(engineTimer(*window).isActive()) << "with no engine running";
        expectDeferredClose(*window);
        EXPECT_FALSE(box->isVisible());
    }
}
