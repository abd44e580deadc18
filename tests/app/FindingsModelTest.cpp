// SPDX-License-Identifier: MIT
// The findings the window keeps, without the window: rows newest first with their cells, each
// level by its word and its colour, counts by level, the last 1,000 kept and the older counted.
#include "qt/FindingsModel.h"

#include "AppSupport.h"

#include <QColor>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <set>
#include <string>

using namespace ostrella;
using namespace ostrella::apptest;

namespace {

FindingRecord blockFinding(long seq, const std::string& rule, const std::string& level)
{
    return apptest::finding(seq, rule, level, 3,
                            "\x02"
                            "1234\r");
}

QString cell(const FindingsModel& model, int row, int column, int role = Qt::DisplayRole)
{
    return model.index(row, column).data(role).toString();
}

} // namespace

TEST(FindingsModel, NewestFindingIsRowZeroWithItsCells)
{
    FindingsModel model;
    model.findingRecorded(blockFinding(1, "logon.before-id", "error"));
    model.findingRecorded(blockFinding(2, "block.gap", "warning"));
    FindingRecord last = blockFinding(3, "block.field-cr", "error");
    last.line = 2;
    last.text = "field not ended by CR\x1b";
    model.findingRecorded(last);

    ASSERT_EQ(model.rowCount(), 3);
    ASSERT_EQ(model.columnCount(), 6);
    const QStringList headers { "Time", "Call", "Line", "Level", "Rule", "Finding" };
    for (int column = 0; column < model.columnCount(); ++column)
        EXPECT_EQ(model.headerData(column, Qt::Horizontal).toString(), headers[column]);
    EXPECT_EQ(cell(model, 0, FindingsModel::Time), QStringLiteral("09:05:02.040")) << "local time";
    EXPECT_EQ(cell(model, 0, FindingsModel::Call), QStringLiteral("3"));
    EXPECT_EQ(cell(model, 0, FindingsModel::Line), QStringLiteral("L2"));
    EXPECT_EQ(cell(model, 0, FindingsModel::Level), QStringLiteral("error"));
    EXPECT_EQ(cell(model, 0, FindingsModel::Rule), QStringLiteral("block.field-cr"));
    EXPECT_EQ(cell(model, 0, FindingsModel::Text), QStringLiteral("field not ended by CR<ESC>"));
    EXPECT_EQ(cell(model, 0, FindingsModel::Text, Qt::ToolTipRole),
              QStringLiteral("field not ended by CR<ESC>"));
    EXPECT_EQ(cell(model, 1, FindingsModel::Line), QString()) << "no bank";
    EXPECT_EQ(cell(model, 1, FindingsModel::Rule), QStringLiteral("block.gap"));
    EXPECT_EQ(cell(model, 1, FindingsModel::Rule, Qt::ToolTipRole),
              QStringLiteral("TAP 1.8 block.gap"));
    EXPECT_EQ(cell(model, 2, FindingsModel::Time, FindingsModel::RuleRole),
              QStringLiteral("logon.before-id"));
    EXPECT_EQ(model.findingAt(2).seq, 1);
    EXPECT_FALSE(model.index(0, FindingsModel::Text + 1).data().isValid());
    EXPECT_FALSE(model.index(3, 0).data().isValid());
}

TEST(FindingsModel, EachLevelShowsItsWordAndItsOwnColour)
{
    const struct {
        const char* level;
        bool coloured;
    } cases[] = { { "error", true }, { "warning", true }, { "note", true }, { "other", false } };
    FindingsModel model;
    QSignalSpy counted(&model, &FindingsModel::countsChanged);
    std::set<QRgb> backgrounds;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.level);
        model.findingRecorded(blockFinding(1, "page.fields", c.level));
        EXPECT_EQ(cell(model, 0, FindingsModel::Level), QLatin1String(c.level));
        const QVariant background = model.index(0, FindingsModel::Level).data(Qt::BackgroundRole);
        const QVariant text = model.index(0, FindingsModel::Level).data(Qt::ForegroundRole);
        EXPECT_EQ(background.isValid(), c.coloured);
        EXPECT_EQ(text.isValid(), c.coloured);
        if (c.coloured) {
            backgrounds.insert(background.value<QColor>().rgb());
            EXPECT_NE(background.value<QColor>(), text.value<QColor>());
        }
        EXPECT_FALSE(model.index(0, FindingsModel::Rule).data(Qt::BackgroundRole).isValid())
            << "only the level cell is coloured";
    }
    EXPECT_EQ(backgrounds.size(), 3u) << "three levels, three colours";
    const QColor red = FindingsModel::levelColours("error").background;
    EXPECT_GT(red.red(), red.blue()) << "error is red";
    EXPECT_EQ(model.counts().error, 1);
    EXPECT_EQ(model.counts().warning, 1);
    EXPECT_EQ(model.counts().note, 1);
    EXPECT_EQ(counted.size(), 3) << "an unknown level is not counted";
}

TEST(FindingsModel, KeepsTheLastThousandFindingsAndCountsTheOlder)
{
    FindingsModel model;
    QSignalSpy older(&model, &FindingsModel::olderFindingsChanged);
    for (long seq = 1; seq <= 1003; ++seq)
        model.findingRecorded(blockFinding(seq, "block.gap", "warning"));
    ASSERT_EQ(model.rowCount(), 1000);
    EXPECT_EQ(model.olderFindings(), 3);
    ASSERT_EQ(older.size(), 3);
    EXPECT_EQ(older.last()[0].toLongLong(), 3);
    EXPECT_EQ(model.findingAt(0).seq, 1003);
    EXPECT_EQ(model.findingAt(999).seq, 4);
    EXPECT_EQ(model.counts().warning, 1003) << "counted since start, kept or not";

    // A long evidence is kept up to its bound, and shown with its whole length.
    FindingRecord longBlock = blockFinding(1004, "block.too-long", "error");
    longBlock.evidence = "\x02" + std::string(5000, 'a');
    model.findingRecorded(longBlock);
    EXPECT_EQ(model.findingAt(0).evidence.size(), FindingsModel::MaxEvidenceKept);
    const QString shown = model.evidenceText(0);
    EXPECT_TRUE(shown.startsWith(QStringLiteral("<STX>aaa"))) << shown.left(20).toStdString();
    EXPECT_TRUE(shown.endsWith(QStringLiteral(u"a\u2026(5001 bytes)")))
        << shown.right(20).toStdString();
    EXPECT_EQ(model.evidenceText(1), QStringLiteral("<STX>1234<CR>"));
}
