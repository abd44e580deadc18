// SPDX-License-Identifier: MIT
// The Findings tab in the window: a selected finding's rule, ref and evidence with control
// characters by name, the counts; the list of ignored rules following the simulator's and
// setting it, hiding the ticked rules' rows; then a finding from a real TCP call in its row.
#include "app/FindingsTab.h"

#include "AppSupport.h"
#include "judge/Finding.h"
#include "qt/FindingsModel.h"

#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>
#include <string>

using namespace ostrella;
using namespace ostrella::apptest;
using namespace std::string_literals;

namespace {

FindingRecord finding(long seq, const std::string& rule, const std::string& level,
                      const std::string& evidence = "")
{
    return apptest::finding(seq, rule, level, 1, evidence);
}

QListWidgetItem* ruleItem(QListWidget& list, const char* rule)
{
    const QList<QListWidgetItem*> items = list.findItems(QLatin1String(rule), Qt::MatchExactly);
    EXPECT_EQ(items.size(), 1) << rule;
    return items.isEmpty() ? nullptr : items.front();
}

QStringList shownRules(QTableView& table)
{
    QStringList rules;
    for (int row = 0; row < table.model()->rowCount(); ++row)
        rules << table.model()->index(row, FindingsModel::Rule).data().toString();
    return rules;
}

} // namespace

TEST(FindingsTab, IsTheFourthTabAndShowsTheSelectedFindingsEvidence)
{
    const auto window = openWindow("0");
    auto* tabs = child<QTabWidget>(*window, "SSTab1");
    ASSERT_EQ(tabs->count(), 4);
    EXPECT_EQ(tabs->tabText(3), QStringLiteral("Findings"));
    tabs->setCurrentIndex(3);
    QWidget* tab = tabs->widget(3);
    auto* table = child<QTableView>(*tab, "tblFindings");
    auto* evidence = child<QPlainTextEdit>(*tab, "txtEvidence");
    auto* ref = child<QLabel>(*tab, "lbFindingRef");
    auto* rule = child<QLabel>(*tab, "lbFindingRule");
    auto* counts = child<QLabel>(*tab, "lbFindingsCount");
    auto* older = child<QLabel>(*tab, "lbFindingsOlder");
    ASSERT_TRUE(table && evidence && ref && rule && counts && older);
    EXPECT_TRUE(table->isColumnHidden(FindingsModel::Line)) << "one line: no Line column";
    EXPECT_EQ(counts->text(), QStringLiteral("Since start: 0 errors, 0 warnings, 0 notes"));
    EXPECT_FALSE(older->isVisibleTo(tab));

    const struct {
        const char* name;
        std::string evidence;
        QString shown;
    } cases[] = {
        { "a block with controls and Latin-1",
          "\x02"
          "1234\rcaf\xe9\x1b\r\x03"
          "17;\r",
          QStringLiteral(u"<STX>1234<CR>caf\u00e9<ESC><CR><ETX>17;<CR>") },
        { "NUL and a C1 byte", "\0\x8d"s, QStringLiteral("<NUL><0x8D>") },
        { "no bytes", "", QString() },
    };
    FindingsModel& model = window->findingsModel();
    for (const auto& c : cases)
        model.findingRecorded(finding(model.rowCount() + 1, "block.format", "error", c.evidence));
    model.findingRecorded(finding(4, "block.gap", "warning"));
    EXPECT_EQ(counts->text(), QStringLiteral("Since start: 3 errors, 1 warning, 0 notes"));
    EXPECT_EQ(evidence->toPlainText(), QString()) << "nothing selected";
    EXPECT_EQ(ref->text(), QString());

    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(cases[i].name);
        // Newest on top: the cases' rows are below the warning, the last case first.
        table->selectRow(3 - i);
        EXPECT_EQ(evidence->toPlainText(), cases[i].shown);
        EXPECT_EQ(ref->text(), QStringLiteral("TAP 1.8 block.format"));
        EXPECT_EQ(rule->text(), QStringLiteral("block.format (error), call 1 at 09:05:02.040"));
    }
    // A finding that arrives keeps the selection on the finding shown.
    model.findingRecorded(finding(5, "page.fields", "note", "x"));
    EXPECT_EQ(evidence->toPlainText(), cases[2].shown);
    EXPECT_EQ(table->selectionModel()->selectedRows().front().row(), 2);

    // Past the bound the oldest go, the selected one with them, and are counted; the selection
    // moves to the oldest finding kept and the rule, ref and evidence follow it.
    for (long seq = 6; seq <= 1004; ++seq)
        model.findingRecorded(finding(seq, "block.gap", "warning"));
    EXPECT_EQ(table->model()->rowCount(), 1000);
    EXPECT_TRUE(older->isVisibleTo(tab));
    EXPECT_EQ(older->text(), QStringLiteral("4 older findings not shown"));
    ASSERT_EQ(table->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(table->selectionModel()->selectedRows().front().row(), 999);
    EXPECT_EQ(ref->text(), QStringLiteral("TAP 1.8 page.fields"));
    EXPECT_EQ(evidence->toPlainText(), QStringLiteral("x"));
}

TEST(FindingsTab, TheIgnoredRulesFollowTheSimulatorAndSetIt)
{
    const auto window = openWindow("0");
    auto* list = child<QListWidget>(*window, "lstIgnoredRules");
    auto* table = child<QTableView>(*window, "tblFindings");
    ASSERT_TRUE(list && table);
    ASSERT_EQ(list->count(), static_cast<int>(judgeRules().size()));
    for (int row = 0; row < list->count(); ++row)
        EXPECT_EQ(list->item(row)->checkState(), Qt::Unchecked) << row;

    // Set elsewhere (the command line, the API): ticked when shown, an unknown id kept aside.
    window->sim().setIgnoredRules({ "block.gap", "x.unknown" });
    window->showIgnoredRules();
    EXPECT_EQ(ruleItem(*list, "block.gap")->checkState(), Qt::Checked);
    EXPECT_EQ(ruleItem(*list, "end.no-eot")->checkState(), Qt::Unchecked);
    FindingsModel& model = window->findingsModel();
    model.findingRecorded(finding(1, "block.gap", "warning"));
    model.findingRecorded(finding(2, "end.no-eot", "error"));
    EXPECT_EQ(shownRules(*table), QStringList { "end.no-eot" }) << "ignored rows hidden";

    using Rules = std::set<std::string, std::less<>>;
    ruleItem(*list, "end.no-eot")->setCheckState(Qt::Checked);
    EXPECT_EQ(window->sim().ignoredRules(), (Rules { "block.gap", "end.no-eot", "x.unknown" }));
    EXPECT_EQ(shownRules(*table), QStringList());
    ruleItem(*list, "block.gap")->setCheckState(Qt::Unchecked);
    EXPECT_EQ(window->sim().ignoredRules(), (Rules { "end.no-eot", "x.unknown" }));
    EXPECT_EQ(shownRules(*table), QStringList { "block.gap" });
    EXPECT_EQ(model.rowCount(), 2) << "the findings stay kept";

    // Changed elsewhere again: the engine tick shows it.
    window->sim().setIgnoredRules({});
    QTRY_COMPARE_WITH_TIMEOUT(ruleItem(*list, "end.no-eot")->checkState(), Qt::Unchecked, 3000);
    EXPECT_EQ(shownRules(*table), (QStringList { "end.no-eot", "block.gap" }));
    EXPECT_TRUE(window->sim().ignoredRules().empty());
}

TEST(FindingsTab, AnAtCommandLeftWithoutCrOverTcpShowsInItsRow)
{
    const auto window = openWindow("0");
    auto* table = child<QTableView>(*window, "tblFindings");
    auto* evidence = child<QPlainTextEdit>(*window, "txtEvidence");
    Client client;
    ASSERT_TRUE(client.connectTo(portOf(*window)));
    client.send("AT");
    ASSERT_TRUE(QTest::qWaitFor([&] { return table->model()->rowCount() == 1; }, 4000));
    EXPECT_EQ(shownRules(*table), QStringList { "modem.no-cr" });
    EXPECT_EQ(table->model()->index(0, FindingsModel::Level).data().toString(),
              QStringLiteral("warning"));
    EXPECT_EQ(table->model()->index(0, FindingsModel::Call).data().toString(), QStringLiteral("1"));
    table->selectRow(0);
    EXPECT_EQ(evidence->toPlainText(), QStringLiteral("AT"));
    EXPECT_EQ(child<QLabel>(*window, "lbFindingRef")->text(), QStringLiteral("Hayes dialogue"));
}
