// SPDX-License-Identifier: MIT
// The Pages tab in the window: its controls, the count of older pages, copying cells, saving
// through the file dialog and a failed save. (A page sent over real TCP is seen in its row by the
// whole call of WholeCallTest.cpp.)
#include "app/PagesTab.h"

#include "AppSupport.h"
#include "qt/PagesModel.h"
#include "support/Fakes.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace ostrella;
using namespace ostrella::apptest;

namespace {

QString cell(QTableView& table, int row, int column)
{
    return table.model()->index(row, column).data().toString();
}

QStringList fileLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// Clicks Save..., waits for the file dialog and chooses `path` in it.
bool saveThroughDialog(frmHarnwick& window, const QString& path)
{
    QTest::mouseClick(child<QPushButton>(window, "cmdSavePages"), Qt::LeftButton);
    QFileDialog* dialog = nullptr;
    if (!QTest::qWaitFor([&] {
            dialog = window.findChild<QFileDialog*>(QStringLiteral("dlgSavePages"));
            return dialog != nullptr && dialog->isVisible();
        }))
        return false;
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
    dialog->selectFile(path);
    // Through QDialog, where accept() is public: the file dialog's own accept() runs.
    static_cast<QDialog*>(dialog)->accept();
    return true;
}

} // namespace

TEST(PagesTab, IsTheThirdTabWithTheTableTheCountAndSave)
{
    const auto window = openWindow("0");
    auto* tabs = child<QTabWidget>(*window, "SSTab1");
    ASSERT_EQ(tabs->count(), 4);
    EXPECT_EQ(tabs->tabText(2), QStringLiteral("Pages"));
    QWidget* tab = tabs->widget(2);
    auto* table = child<QTableView>(*tab, "tblPages");
    auto* older = child<QLabel>(*tab, "lbPagesOlder");
    auto* save = child<QPushButton>(*tab, "cmdSavePages");
    ASSERT_TRUE(table && older && save);
    EXPECT_EQ(table->model(), &window->pagesModel());
    EXPECT_TRUE(table->isColumnHidden(PagesModel::Line)) << "one line: no Line column";
    EXPECT_FALSE(table->isColumnHidden(PagesModel::Caller));
    EXPECT_EQ(table->model()->rowCount(), 0);
    EXPECT_EQ(save->text(), QStringLiteral("Save\u2026"));
    EXPECT_FALSE(older->isVisibleTo(tab)) << "no older pages yet";
    EXPECT_EQ(table->contextMenuPolicy(), Qt::ActionsContextMenu);
    ASSERT_EQ(table->actions().size(), 1);
    EXPECT_EQ(table->actions()[0]->text(), QStringLiteral("Copy"));
    EXPECT_TRUE(window->sim().recorder().recording()) << "the model takes the simulator's records";
}

TEST(PagesTab, CountsThePagesNoLongerShown)
{
    const auto window = openWindow("0");
    QWidget* tab = child<QTabWidget>(*window, "SSTab1")->widget(2);
    auto* table = child<QTableView>(*tab, "tblPages");
    auto* older = child<QLabel>(*tab, "lbPagesOlder");
    PagesModel& model = window->pagesModel();
    for (long seq = 1; seq <= 1000; ++seq)
        model.pageRecorded(page(seq, std::to_string(seq), "m"));
    EXPECT_EQ(table->model()->rowCount(), 1000);
    EXPECT_FALSE(older->isVisibleTo(tab));

    model.pageRecorded(page(1001, "1001", "m"));
    EXPECT_TRUE(older->isVisibleTo(tab));
    EXPECT_EQ(older->text(), QStringLiteral("1 older page not shown"));
    model.pageRecorded(page(1002, "1002", "m"));
    EXPECT_EQ(older->text(), QStringLiteral("2 older pages not shown"));
    EXPECT_EQ(table->model()->rowCount(), 1000);
    EXPECT_EQ(cell(*table, 0, PagesModel::Pager), QStringLiteral("1002"));
    EXPECT_EQ(cell(*table, 999, PagesModel::Pager), QStringLiteral("3"));
}

TEST(PagesTab, CtrlCAndTheMenuCopyTheSelectedCells)
{
    const auto window = openWindow("0");
    auto* tabs = child<QTabWidget>(*window, "SSTab1");
    tabs->setCurrentIndex(2);
    auto* table = child<QTableView>(*window, "tblPages");
    PagesModel& model = window->pagesModel();
    model.pageRecorded(page(1, "1111", "one\r\n"));
    model.pageRecorded(page(2, "2222", "two"));
    model.pageRecorded(page(3, "3333", "three"));

    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText(QStringLiteral("before"));
    table->selectionModel()->select(
        QItemSelection(model.index(1, PagesModel::Pager), model.index(2, PagesModel::Message)),
        QItemSelectionModel::ClearAndSelect);
    table->setFocus();
    QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard->text(), QStringLiteral("2222\ttwo\n1111\tone<CR><LF>"));

    table->selectionModel()->select(model.index(0, PagesModel::Reply),
                                    QItemSelectionModel::ClearAndSelect);
    table->selectionModel()->select(model.index(0, PagesModel::Reason),
                                    QItemSelectionModel::Select);
    table->actions()[0]->trigger();
    EXPECT_EQ(clipboard->text(), QStringLiteral("ACK\tgood"));

    table->selectionModel()->clearSelection();
    table->actions()[0]->trigger();
    EXPECT_EQ(clipboard->text(), QStringLiteral("ACK\tgood")) << "nothing selected, nothing copied";
}

TEST(PagesTab, SaveWritesTheKeptRecordsToTheChosenFile)
{
    const auto window = openWindow("0");
    PagesModel& model = window->pagesModel();
    model.pageRecorded(page(1, "1234", "caf\xe9"));
    CallRecord call;
    call.id = 1;
    call.ended = "hangup";
    model.callRecorded(call);
    model.pageRecorded(page(2, "1234", "again"));
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("saved.jsonl"));

    ASSERT_TRUE(saveThroughDialog(*window, path));
    const QStringList lines = fileLines(path);
    ASSERT_EQ(lines.size(), 3) << lines.join(u'\n').toStdString();
    EXPECT_EQ(QJsonDocument::fromJson(lines[0].toUtf8())[QStringLiteral("message")].toString(),
              QStringLiteral(u"caf\u00e9"));
    EXPECT_EQ(QJsonDocument::fromJson(lines[1].toUtf8())[QStringLiteral("type")].toString(),
              QStringLiteral("call"));
    EXPECT_EQ(QJsonDocument::fromJson(lines[2].toUtf8())[QStringLiteral("seq")].toInt(), 2);
    EXPECT_EQ(window->findChild<QMessageBox*>(QStringLiteral("msgSavePagesError")), nullptr);
}

TEST(PagesTab, AFailedSaveNamesTheFileAndTheReason)
{
    const auto window = openWindow("0");
    window->pagesModel().pageRecorded(page(1, "1234", "m"));
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("gone/saved.jsonl"));
    QString reason;
    ASSERT_FALSE(window->pagesModel().save(path, &reason));

    ASSERT_TRUE(saveThroughDialog(*window, path));
    QMessageBox* box = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        box = window->findChild<QMessageBox*>(QStringLiteral("msgSavePagesError"));
        return box != nullptr && box->isVisible();
    }));
    EXPECT_TRUE(box->text().contains(path)) << box->text().toStdString();
    EXPECT_TRUE(box->text().contains(reason)) << box->text().toStdString();
    EXPECT_EQ(box->icon(), QMessageBox::Warning);
    EXPECT_FALSE(QFile::exists(path));
    box->close();
}

TEST(PagesTab, TheCallOnTheLineWhenTheSimulatorStopsIsKept)
{
    const auto window = openWindow("0");
    Client client;
    ASSERT_TRUE(client.connectTo(portOf(*window)));
    ASSERT_TRUE(waitForSystemLine(
        *window, QStringLiteral("Event: Connect request id = 1 from <127.0.0.1>")));
    window->host().unload();
    ASSERT_EQ(window->pagesModel().callCount(), 1u);
    const QJsonObject call
        = QJsonDocument::fromJson(QByteArray::fromStdString(window->pagesModel().jsonLines()))
              .object();
    EXPECT_EQ(call[QStringLiteral("ended")].toString(), QStringLiteral("shutdown"));
}

TEST(PagesTab, AWindowDestroyedMidCallTakesTheLastRecordSafely)
{
    // The host, deleted first, ends the call on the line; the model it reports to is still there
    // (a use after free here is what the sanitizer build looks for).
    test::VectorRecordSink after;
    auto window = openWindow("0");
    window->sim().addRecordSink(&after);
    Client client;
    ASSERT_TRUE(client.connectTo(portOf(*window)));
    ASSERT_TRUE(waitForSystemLine(
        *window, QStringLiteral("Event: Connect request id = 1 from <127.0.0.1>")));
    window.reset();
    ASSERT_EQ(after.calls.size(), 1u);
    EXPECT_EQ(after.calls[0].ended, "shutdown");
}
