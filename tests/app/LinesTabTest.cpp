// SPDX-License-Identifier: MIT
// The window over a bank of lines: the Lines tab shows each line's caller, state and pages, and
// the progress label counts the busy lines; a window over one line has no Lines tab.
#include "AppSupport.h"
#include "qt/FindingsModel.h"
#include "qt/PagesModel.h"

#include <QFile>
#include <QLabel>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace ostrella;
using namespace ostrella::apptest;

TEST(LinesTab, EachLineShowsItsCallerStateAndPages)
{
    auto window = openWindow("0", 3);
    auto* tabs = child<QTabWidget>(*window, "SSTab1");
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->tabText(tabs->count() - 1), QStringLiteral("Lines"));
    auto* table = child<QTableWidget>(*window, "tblLines");
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->rowCount(), 3);
    auto* pages = child<QTableView>(*window, "tblPages");
    ASSERT_NE(pages, nullptr);
    EXPECT_FALSE(pages->isColumnHidden(PagesModel::Line)) << "a bank's pages name their line";
    EXPECT_FALSE(child<QTableView>(*window, "tblFindings")->isColumnHidden(FindingsModel::Line));

    Client first;
    Client second;
    ASSERT_TRUE(first.connectTo(portOf(*window)));
    ASSERT_TRUE(second.connectTo(portOf(*window)));
    second.send("AT\r");
    EXPECT_EQ(second.receive("OK\r\n"), QByteArray("OK\r\n"));
    QTRY_COMPARE_WITH_TIMEOUT(table->item(1, 2)->text(), QStringLiteral("MODEM"), 2000);
    EXPECT_EQ(table->item(0, 1)->text(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(table->item(2, 1)->text(), QString());
    EXPECT_EQ(table->item(2, 3)->text(), QStringLiteral("0"));
    EXPECT_TRUE(child<QLabel>(*window, "lbTCPProgress")->text().endsWith("LINES 2/3 busy"));

    first.disconnectFromHost();
    QTRY_COMPARE_WITH_TIMEOUT(table->item(0, 1)->text(), QString(), 2000);
    QTRY_VERIFY_WITH_TIMEOUT(
        child<QLabel>(*window, "lbTCPProgress")->text().endsWith("LINES 1/3 busy"), 2000);
}

TEST(LinesTab, OneLineHasNoLinesTab)
{
    auto window = openWindow("0");
    EXPECT_EQ(window->findChild<QTableWidget*>(QStringLiteral("tblLines")), nullptr);
}

TEST(LinesTab, ADeviceLineIsListedByItsNameAfterTheTcpLine)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("ttyWIN").toStdString();
    HostLines devices;
    devices.ptys = { path };
    frmHarnwick window(frmHarnwick::Options { "0", false, 1, devices });
    window.show();
    auto* table = child<QTableWidget>(window, "tblLines");
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->rowCount(), 2);
    EXPECT_EQ(table->item(1, 0)->text(), QStringLiteral("ttyWIN"));
    QFile modem(QString::fromStdString(path));
    ASSERT_TRUE(modem.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
    modem.write("AT\r");
    QTRY_COMPARE_WITH_TIMEOUT(table->item(1, 2)->text(), QStringLiteral("MODEM"), 3000);
    EXPECT_EQ(table->item(1, 1)->text(), QString::fromStdString(path));
    EXPECT_EQ(table->item(0, 1)->text(), QString()) << "the TCP line has no caller";
    modem.close();
    QTRY_COMPARE_WITH_TIMEOUT(table->item(1, 1)->text(), QString(), 3000);
}
