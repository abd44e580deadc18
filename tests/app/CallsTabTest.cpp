// SPDX-License-Identifier: MIT
// The Calls tab of a window given a call store and the suite. The calls come from a simulator in
// virtual time, where a TAP client plays cases 1.1 and 2.1 in a moment: their rows with cases and
// verdicts, the newest call followed, a selected call's timeline drawn and saved (through the
// dialog too), and a save that fails.
#include "app/CallsTab.h"

#include "AppSupport.h"
#include "qt/CallsModel.h"
#include "support/TapClient.h"

#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSvgRenderer>
#include <QSvgWidget>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace ostrella;
using namespace ostrella::apptest;

namespace {

QString cell(const QTableView& table, int row, int column)
{
    return table.model()->index(row, column).data().toString();
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int selectedRow(const QTableView& table)
{
    const QModelIndexList rows = table.selectionModel()->selectedRows();
    return rows.size() == 1 ? rows.front().row() : -1;
}

} // namespace

TEST(CallsTab, ListsTheCallsWithTheirCasesAndDrawsAndSavesTheSelectedTimeline)
{
    // The store first: the rig's simulator may still record a call as it goes.
    CallTimelines calls;
    test::Rig rig;
    rig.sim.addRecordSink(&calls);
    SuiteOptions options;
    options.cases = "1.1,2.1";
    Suite suite(rig.sim, rig.clock, options);
    frmHarnwick window(frmHarnwick::Options { "0", false, 1, {}, &calls });
    window.setSuite(&suite);
    window.show();
    auto* tabs = child<QTabWidget>(window, "SSTab1");
    ASSERT_EQ(tabs->tabText(4), QStringLiteral("Calls"));
    tabs->setCurrentIndex(4);
    auto* tab = child<CallsTab>(window, "tabCalls");
    auto* table = child<QTableView>(window, "tblCalls");
    auto* picture = child<QSvgWidget>(window, "svgTimeline");
    auto* title = child<QLabel>(window, "lbCallTitle");
    ASSERT_TRUE(tab && table && picture && title);
    EXPECT_FALSE(table->isColumnHidden(CallsModel::CaseVerdict));
    EXPECT_TRUE(table->isColumnHidden(CallsModel::Line)) << "one line: no Line column";

    // The window's events run between the client's steps, as they would between the line's.
    test::TapClient client(rig);
    while (!suite.finished() && rig.now() < 30 * 60'000) {
        client.run(1'000);
        QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();
    ASSERT_TRUE(suite.finished());
    const int rows = table->model()->rowCount();
    ASSERT_GE(rows, 2);
    EXPECT_EQ(cell(*table, 0, CallsModel::Call), QStringLiteral("1"));
    EXPECT_EQ(cell(*table, 0, CallsModel::Dials), QStringLiteral("CONNECT"));
    EXPECT_EQ(cell(*table, 0, CallsModel::Ack), QStringLiteral("2"));
    EXPECT_EQ(cell(*table, 0, CallsModel::Ended), QStringLiteral("eot"));
    EXPECT_EQ(cell(*table, 0, CallsModel::CaseId), QStringLiteral("1.1"));
    EXPECT_EQ(cell(*table, 0, CallsModel::CaseVerdict), QStringLiteral("pass"));
    EXPECT_EQ(table->model()->index(0, CallsModel::CaseVerdict).data(Qt::BackgroundRole),
              QVariant(CallsModel::verdictColours("pass").background));
    // Case 2.1's call met BUSY first and was delivered after the redial.
    const int busy = rows - 1;
    EXPECT_TRUE(cell(*table, busy, CallsModel::Dials).startsWith(QLatin1String("BUSY")));
    EXPECT_EQ(cell(*table, busy, CallsModel::CaseId), QStringLiteral("2.1"));
    EXPECT_EQ(cell(*table, busy, CallsModel::CaseVerdict), QStringLiteral("pass"));

    // The newest call is followed while it is the one selected; another choice stays.
    EXPECT_EQ(selectedRow(*table), rows - 1);
    table->selectRow(0);
    EXPECT_TRUE(tab->shownSvg().starts_with("<svg"));
    EXPECT_NE(tab->shownSvg().find("Call 1 timeline"), std::string::npos);
    EXPECT_TRUE(picture->isVisible());
    EXPECT_TRUE(picture->renderer()->isValid());
    EXPECT_GT(picture->height(), 200);
    EXPECT_TRUE(title->text().startsWith(QLatin1String("Call 1 from ")));
    EXPECT_TRUE(
        title->text().contains(QLatin1String("Case 1.1 Standard call: pass, delivered 2 page(s)")))
        << title->text().toStdString();
    client.run(60'000);
    QCoreApplication::processEvents();
    EXPECT_GT(table->model()->rowCount(), rows);
    EXPECT_EQ(selectedRow(*table), 0);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("call-1.svg"));
    ASSERT_TRUE(tab->saveTo(path));
    EXPECT_EQ(fileBytes(path).toStdString(), tab->shownSvg());
    // Through the dialog: the timeline shown when Save SVG... was clicked, whatever is selected
    // when the file is chosen.
    const std::string first = tab->shownSvg();
    QTest::mouseClick(child<QPushButton>(window, "cmdSaveSvg"), Qt::LeftButton);
    QFileDialog* dialog = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        dialog = window.findChild<QFileDialog*>(QStringLiteral("dlgSaveSvg"));
        return dialog != nullptr && dialog->isVisible();
    }));
    table->selectRow(1);
    const QString chosen = dir.filePath(QStringLiteral("chosen.svg"));
    dialog->selectFile(chosen);
    static_cast<QDialog*>(dialog)->accept();
    EXPECT_EQ(fileBytes(chosen).toStdString(), first);
    EXPECT_NE(tab->shownSvg(), first);

    EXPECT_FALSE(tab->saveTo(QStringLiteral("/nonexistent/dir/call.svg")));
    auto* error = window.findChild<QMessageBox*>(QStringLiteral("msgSaveSvgError"));
    ASSERT_NE(error, nullptr);
    EXPECT_TRUE(error->text().contains(QLatin1String("/nonexistent/dir/call.svg")));

    window.setSuite(nullptr);
    EXPECT_TRUE(table->isColumnHidden(CallsModel::CaseId));
}
