// SPDX-License-Identifier: MIT
// The main window offscreen: caption and start-up line, its controls, the banner, the deferred
// close, the menu commands and a port that cannot be opened.
#include "AppSupport.h"
#include "qt/frmTCPComs.h"
#include "sim/Banner.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTcpServer>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace ostrella;
using namespace ostrella::apptest;

namespace {

QString bannerText(frmHarnwick& window)
{
    return child<QLabel>(window, "lbMainFormBanner")->text();
}

} // namespace

TEST(MainWindow, CaptionNamesThePortFromTheCommandLine)
{
    // A port this test holds, so the window cannot take it: the caption still names it.
    QTcpServer holder;
    ASSERT_TRUE(holder.listen(QHostAddress::Any, 0));
    const std::string port = std::to_string(holder.serverPort());
    const struct {
        const char* name;
        std::string argument;
        std::string captionPort;
    } cases[] = {
        { "no argument", "", "9001" },
        { "a port number", port, port },
        { "not a number", "abc", "9001" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto window = openWindow(c.argument);
        EXPECT_EQ(window->windowTitle(),
                  QStringLiteral("Ostrella on Port %1  Brelk     Version  %2 2014")
                      .arg(QString::fromStdString(c.captionPort), versionWord()));
    }
}

TEST(MainWindow, FirstTickShowsTheStartupLineThenTheListeningLine)
{
    const auto window = openWindow("0");
    ASSERT_TRUE(window->started()) << window->startupError().toStdString();
    const QString port = QString::number(portOf(*window));
    EXPECT_TRUE(systemLog(*window).isEmpty()) << "lines wait for the engine timer's first tick";

    const QString startup
        = QStringLiteral("Main: Ostrella on %1 now operational using version  %2 2014")
              .arg(port, versionWord());
    ASSERT_TRUE(waitForSystemLine(*window, startup));
    const QStringList log = systemLog(*window);
    ASSERT_GE(log.size(), 2);
    EXPECT_EQ(log[0], startup);
    const QString listening
        = QStringLiteral("TCP Remote Server: Local Port <%1> Local IP <").arg(port);
    EXPECT_TRUE(log[1].startsWith(listening)) << log[1].toStdString();
    EXPECT_TRUE(log[1].endsWith(QStringLiteral(" > ")));
    EXPECT_FALSE(log[1].contains(QStringLiteral("0.0.0.0")));
}

TEST(MainWindow, ControlsCarryTheirNamesAndCaptions)
{
    const auto window = openWindow("0");
    frmHarnwick& w = *window;
    EXPECT_EQ(bannerText(w), QLatin1String(Banner::designCaption())) << "before the first tick";
    EXPECT_TRUE(child<QWidget>(w, "frmBanner")->isAncestorOf(child<QLabel>(w, "lbMainFormBanner")));

    auto* tabs = child<QTabWidget>(w, "SSTab1");
    ASSERT_NE(tabs, nullptr);
    ASSERT_EQ(tabs->count(), 4);
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("LOGS"));
    EXPECT_EQ(tabs->tabText(1), QStringLiteral("Test"));
    EXPECT_EQ(tabs->tabText(2), QStringLiteral("Pages"));
    EXPECT_EQ(tabs->tabText(3), QStringLiteral("Findings"));
    for (const char* log : { "lbxSystemLog", "lbxPETLOG" })
        EXPECT_TRUE(tabs->widget(0)->isAncestorOf(child<QListWidget>(w, log))) << log;
    EXPECT_NE(child<QLabel>(w, "lbTCPProgress"), nullptr);

    const struct {
        const char* frame;
        const char* title;
        std::vector<std::pair<const char*, const char*>> boxes;
        const char* label;
    } frames[] = {
        { "Frame1",
          "MODEM",
          { { "chkNoDialtone", "NO DIALTONE" },
            { "chkNoAnswer", "NO ANSWER" },
            { "chkNoCarrier", "NO CARRIER" },
            { "chkBusy", "BUSY" } },
          "Label2" },
        { "Frame2",
          "PET",
          { { "chkREJ", "REJ" },
            { "chkNOResponse", "NO REPONSE" },
            { "chkNAK", "NAK" },
            { "chkDisconnect", "SEND DISCONNECT" } },
          "Label4" },
    };
    for (const auto& f : frames) {
        SCOPED_TRACE(f.frame);
        auto* frame = child<QGroupBox>(w, f.frame);
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->title(), QLatin1String(f.title));
        EXPECT_TRUE(tabs->widget(1)->isAncestorOf(frame));
        EXPECT_NE(child<QLabel>(*frame, f.label), nullptr);
        for (const auto& [name, caption] : f.boxes) {
            auto* box = child<QCheckBox>(*frame, name);
            ASSERT_NE(box, nullptr) << name;
            EXPECT_EQ(box->text(), QLatin1String(caption));
            EXPECT_FALSE(box->isChecked()) << name << " starts clear";
        }
    }

    auto* menu = child<QMenu>(w, "mnuSystem");
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->title(), QStringLiteral("System"));
    ASSERT_EQ(menu->actions().size(), 2);
    EXPECT_EQ(menu->actions()[0]->objectName(), QStringLiteral("mnuMinimise"));
    EXPECT_EQ(menu->actions()[0]->text(), QStringLiteral("Minimize"));
    EXPECT_EQ(menu->actions()[1]->objectName(), QStringLiteral("mnuExit"));
    EXPECT_EQ(menu->actions()[1]->text(), QStringLiteral("Exit"));
}

TEST(MainWindow, TimersRunAsStartUpLeavesThem)
{
    const auto window = openWindow("0");
    const struct {
        QObject* owner;
        const char* name;
        int interval;
    } timers[] = {
        { window.get(), "tmrDummyPkts", 500 },
        { window.get(), "tmrSystem", 100 },
        { child<QObject>(*window, "SimulatorHost"), "ComTimer", 50 },
    };
    for (const auto& t : timers) {
        SCOPED_TRACE(t.name);
        ASSERT_NE(t.owner, nullptr);
        auto* timer = t.owner->findChild<QTimer*>(QLatin1String(t.name));
        ASSERT_NE(timer, nullptr);
        EXPECT_EQ(timer->interval(), t.interval);
    }
    EXPECT_TRUE(engineTimer(*window).isActive());
    EXPECT_TRUE(child<QTimer>(*window, "tmrSystem")->isActive());
}

TEST(MainWindow, EachFaultBoxReadsAsItsOwnBox)
{
    const auto window = openWindow("0");
    const std::pair<Box, const char*> boxes[] = {
        { Box::chkBusy, "chkBusy" },
        { Box::chkNoAnswer, "chkNoAnswer" },
        { Box::chkNoCarrier, "chkNoCarrier" },
        { Box::chkNoDialtone, "chkNoDialtone" },
        { Box::chkNAK, "chkNAK" },
        { Box::chkREJ, "chkREJ" },
        { Box::chkNOResponse, "chkNOResponse" },
        { Box::chkDisconnect, "chkDisconnect" },
    };
    const TestPanel& panel = window->testPanel();
    for (const auto& [box, name] : boxes) {
        SCOPED_TRACE(name);
        auto* check = child<QCheckBox>(*window, name);
        check->setChecked(true);
        for (const auto& [other, otherName] : boxes)
            EXPECT_EQ(panel.ticked(other), other == box) << otherName;
        check->setChecked(false);
        EXPECT_FALSE(panel.ticked(box));
    }
}

TEST(MainWindow, TheTerminalChoiceSetsTheProfileForTheNextCall)
{
    const auto window = openWindow("0");
    auto* choice = child<QComboBox>(*window, "cboTerminal");
    EXPECT_TRUE(child<QTabWidget>(*window, "SSTab1")->widget(1)->isAncestorOf(choice));
    ASSERT_EQ(choice->count(), 2);
    EXPECT_EQ(choice->currentText(), QStringLiteral("classic"));
    EXPECT_EQ(window->sim().terminal(), TerminalProfile::Classic);
    choice->setCurrentIndex(1);
    EXPECT_EQ(choice->currentText(), QStringLiteral("tap18"));
    EXPECT_EQ(window->sim().terminal(), TerminalProfile::Tap18);
    window->sim().setTerminal(TerminalProfile::Classic);
    window->showTerminal();
    EXPECT_EQ(choice->currentText(), QStringLiteral("classic"));
}

TEST(MainWindow, TheModemChoiceSetsTheProfileForTheNextCall)
{
    const auto window = openWindow("0");
    auto* choice = child<QComboBox>(*window, "cboModem");
    ASSERT_EQ(choice->count(), 2);
    EXPECT_EQ(choice->currentText(), QStringLiteral("classic"));
    choice->setCurrentIndex(1);
    EXPECT_EQ(window->sim().modemProfile(), ModemProfile::Hayes);
    window->sim().setModemProfile(ModemProfile::Classic);
    window->showModem();
    EXPECT_EQ(choice->currentText(), QStringLiteral("classic"));
}

TEST(MainWindow, BannerFirstShowsTextOneThenTextTwo)
{
    const auto window = openWindow("0");
    const auto& texts = window->sim().banner().texts();
    const QString design = bannerText(*window);
    ASSERT_TRUE(QTest::qWaitFor([&] { return bannerText(*window) != design; }, 2000));
    EXPECT_EQ(bannerText(*window), QString::fromStdString(texts[1]));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return bannerText(*window) != QString::fromStdString(texts[1]); }, 3000));
    EXPECT_EQ(bannerText(*window), QString::fromStdString(texts[2]));
}

TEST(MainWindow, MinimizeOnlyMinimises)
{
    const auto window = openWindow("0");
    child<QAction>(*window, "mnuMinimise")->trigger();
    EXPECT_TRUE(window->isMinimized());
    EXPECT_EQ(window->closeRequested(), 0);
    QSignalSpy engineTicks(&engineTimer(*window), &QTimer::timeout);
    EXPECT_TRUE(engineTicks.wait(2000)) << "the engine keeps running";
}
