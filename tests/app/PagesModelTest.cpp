// SPDX-License-Identifier: MIT
// The records the window keeps, without the window: rows newest first, the last 1,000 kept and
// the older ones counted, texts shown with control characters by name, cells copied as
// tab-separated text, and the JSON Lines file of every kept record.
#include "qt/PagesModel.h"

#include "AppSupport.h"
#include "support/Rig.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace ostrella;
using namespace ostrella::apptest;
using namespace std::string_literals;

namespace {

CallRecord call(long id)
{
    CallRecord c;
    c.id = id;
    c.caller = "127.0.0.1";
    c.start = localMs(9, 5, 0, 0);
    c.end = localMs(9, 5, 30, 0);
    c.dials = { DialRecord { "5551234", "CONNECT" } };
    c.logon = true;
    c.ack = 1;
    c.ended = "eot";
    return c;
}

QString cell(const PagesModel& model, int row, int column)
{
    return model.index(row, column).data().toString();
}

std::vector<QJsonObject> parsedLines(const std::string& text)
{
    std::vector<QJsonObject> objects;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        EXPECT_NE(end, std::string::npos) << "every line ends with LF";
        if (end == std::string::npos)
            break;
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(
            QByteArray(text.data() + start, static_cast<qsizetype>(end - start)), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError)
            << text.substr(start, end - start) << ": " << error.errorString().toStdString();
        EXPECT_TRUE(doc.isObject());
        objects.push_back(doc.object());
        start = end + 1;
    }
    return objects;
}

} // namespace

TEST(PagesModel, NewestPageIsRowZero)
{
    PagesModel model;
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    model.pageRecorded(page(1, "1111", "first"));
    model.pageRecorded(page(2, "2222", "second"));
    model.pageRecorded(page(3, "3333", "third"));

    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.columnCount(), 9);
    EXPECT_EQ(cell(model, 0, PagesModel::Pager), QStringLiteral("3333"));
    EXPECT_EQ(cell(model, 1, PagesModel::Pager), QStringLiteral("2222"));
    EXPECT_EQ(cell(model, 2, PagesModel::Pager), QStringLiteral("1111"));
    EXPECT_EQ(model.pageAt(0).seq, 3);
    ASSERT_EQ(inserted.size(), 3);
    for (const auto& args : inserted) {
        EXPECT_EQ(args[1].toInt(), 0) << "each page is inserted on top";
        EXPECT_EQ(args[2].toInt(), 0);
    }
}

TEST(PagesModel, CellsShowTimeCallPagerMessageReplyAndReason)
{
    PagesModel model;
    PageRecord p = page(7, "1234", "Hello");
    p.call = 42;
    p.reply = "NAK";
    p.reason = "bad-checksum";
    p.caller = "10.0.0.7";
    model.pageRecorded(p);

    const QStringList headers { "Time",    "Call",  "Line",   "Caller",  "Pager ID",
                                "Message", "Reply", "Reason", "Findings" };
    for (int column = 0; column < model.columnCount(); ++column)
        EXPECT_EQ(model.headerData(column, Qt::Horizontal).toString(), headers[column]);
    EXPECT_EQ(cell(model, 0, PagesModel::Time), QStringLiteral("09:05:01.023")) << "local time";
    EXPECT_EQ(cell(model, 0, PagesModel::Call), QStringLiteral("42"));
    EXPECT_EQ(cell(model, 0, PagesModel::Line), QString()) << "no bank";
    EXPECT_EQ(cell(model, 0, PagesModel::Caller), QStringLiteral("10.0.0.7"));
    EXPECT_EQ(cell(model, 0, PagesModel::Pager), QStringLiteral("1234"));
    EXPECT_EQ(cell(model, 0, PagesModel::Message), QStringLiteral("Hello"));
    EXPECT_EQ(cell(model, 0, PagesModel::Reply), QStringLiteral("NAK"));
    EXPECT_EQ(cell(model, 0, PagesModel::Reason), QStringLiteral("bad-checksum"));
    EXPECT_EQ(cell(model, 0, PagesModel::Findings), QString()) << "the client kept every rule";
    EXPECT_FALSE(model.index(0, PagesModel::Findings + 1).data().isValid());
    EXPECT_FALSE(model.index(1, 0).data().isValid());

    // A page from a line of a bank names its line in a column of its own.
    p.line = 3;
    model.pageRecorded(p);
    EXPECT_EQ(cell(model, 0, PagesModel::Call), QStringLiteral("42"));
    EXPECT_EQ(cell(model, 0, PagesModel::Line), QStringLiteral("L3"));

    // The rules of the findings on the page's blocks, in the order made.
    p.findings = { "block.checksum", "block.eight-bit" };
    model.pageRecorded(p);
    EXPECT_EQ(cell(model, 0, PagesModel::Findings),
              QStringLiteral("block.checksum, block.eight-bit"));
    EXPECT_EQ(model.index(0, PagesModel::Findings).data(Qt::ToolTipRole).toString(),
              QStringLiteral("block.checksum\nblock.eight-bit"));
    p.findings = { "block.gap" };
    model.pageRecorded(p);
    EXPECT_EQ(cell(model, 0, PagesModel::Findings), QStringLiteral("block.gap"));
}

TEST(PagesModel, ControlCharactersShowByNameAndBytesStayAsReceived)
{
    const struct {
        const char* name;
        std::string pager;
        std::string message;
        QString shownPager;
        QString shownMessage;
    } cases[] = {
        { "fields joined by CR LF", "1234", "line one\r\nline two", QStringLiteral("1234"),
          QStringLiteral("line one<CR><LF>line two") },
        { "escape and NUL", "12\x1b"s, "a\0b"s, QStringLiteral("12<ESC>"),
          QStringLiteral("a<NUL>b") },
        { "C1 bytes in hex", "\x8d", "x\x9f", QStringLiteral("<0x8D>"), QStringLiteral("x<0x9F>") },
        { "Latin-1 text", "1234", "caf\xe9 \xff", QStringLiteral("1234"),
          QStringLiteral(u"caf\u00e9 \u00ff") },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PagesModel model;
        model.pageRecorded(page(1, c.pager, c.message));
        EXPECT_EQ(cell(model, 0, PagesModel::Pager), c.shownPager);
        EXPECT_EQ(cell(model, 0, PagesModel::Message), c.shownMessage);
        EXPECT_EQ(model.pageAt(0).message, c.message) << "the record keeps the bytes";
    }
}

TEST(PagesModel, PacketThatIsNoBlockShowsInTheMessageColumn)
{
    PagesModel model;
    PageRecord p;
    p.seq = 1;
    p.call = 1;
    p.fields = { "\x02"
                 "12" };
    p.reply = "NAK";
    p.reason = "not-a-block";
    model.pageRecorded(p);
    EXPECT_EQ(cell(model, 0, PagesModel::Pager), QString());
    EXPECT_EQ(cell(model, 0, PagesModel::Message), QStringLiteral("<STX>12"));
}

TEST(PagesModel, KeepsTheLastThousandPagesAndCountsTheOlder)
{
    PagesModel model;
    QSignalSpy older(&model, &PagesModel::olderPagesChanged);
    for (long seq = 1; seq <= 1000; ++seq)
        model.pageRecorded(page(seq, std::to_string(seq), "m"));
    EXPECT_EQ(model.rowCount(), 1000);
    EXPECT_EQ(model.olderPages(), 0);
    EXPECT_EQ(older.size(), 0);

    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    for (long seq = 1001; seq <= 1005; ++seq)
        model.pageRecorded(page(seq, std::to_string(seq), "m"));
    ASSERT_EQ(model.rowCount(), 1000);
    EXPECT_EQ(model.olderPages(), 5);
    ASSERT_EQ(older.size(), 5);
    EXPECT_EQ(older.last()[0].toLongLong(), 5);
    ASSERT_EQ(removed.size(), 5);
    EXPECT_EQ(removed.last()[1].toInt(), 1000) << "the oldest page, at the bottom, goes";
    EXPECT_EQ(cell(model, 0, PagesModel::Pager), QStringLiteral("1005"));
    EXPECT_EQ(cell(model, 999, PagesModel::Pager), QStringLiteral("6"));

    for (long id = 1; id <= 1002; ++id)
        model.callRecorded(call(id));
    EXPECT_EQ(model.callCount(), 1000u);
    EXPECT_EQ(model.olderCalls(), 2);
    EXPECT_EQ(model.rowCount(), 1000) << "calls are no rows";
}

TEST(PagesModel, CopiedCellsAreTabSeparatedRowsTopToBottom)
{
    PagesModel model;
    model.pageRecorded(page(1, "1111", "first\r"));
    model.pageRecorded(page(2, "2222", "second\t"));
    model.pageRecorded(page(3, "3333", "third"));
    EXPECT_EQ(model.cellsText({}), QString());

    // Listed out of order, as a selection model may give them; one cell of the block left out.
    const QModelIndexList cells { model.index(2, PagesModel::Message),
                                  model.index(1, PagesModel::Pager),
                                  model.index(1, PagesModel::Message),
                                  model.index(2, PagesModel::Pager),
                                  model.index(0, PagesModel::Message) };
    EXPECT_EQ(model.cellsText(cells).toStdString(),
              "\tthird\n"
              "2222\tsecond<HT>\n"
              "1111\tfirst<CR>");
}

TEST(PagesModel, JsonLinesHoldEveryKeptRecordInTheOrderTheyCompleted)
{
    PagesModel model;
    EXPECT_EQ(model.jsonLines(), "");
    const std::string bytes = "\x01"
                              "caf\xe9 \x80\x8d\x9f\xa0\xff\"\\"s;
    model.pageRecorded(page(1, "1234", bytes));
    model.pageRecorded(page(2, "\xe9", "two"));
    model.callRecorded(call(1));
    model.pageRecorded(page(3, "1234", "three"));

    const std::vector<QJsonObject> lines = parsedLines(model.jsonLines());
    ASSERT_EQ(lines.size(), 4u);
    const char* types[] = { "page", "page", "call", "page" };
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i][QStringLiteral("type")].toString(), QLatin1String(types[i])) << i;
        EXPECT_EQ(lines[i][QStringLiteral("v")].toInt(), 1);
    }
    EXPECT_EQ(lines[0][QStringLiteral("seq")].toInt(), 1);
    EXPECT_EQ(lines[1][QStringLiteral("seq")].toInt(), 2);
    EXPECT_EQ(lines[2][QStringLiteral("id")].toInt(), 1);
    EXPECT_EQ(lines[3][QStringLiteral("seq")].toInt(), 3);
    // Every byte comes back as the Latin-1 code point of the same value.
    EXPECT_EQ(lines[0][QStringLiteral("message")].toString(),
              QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size())));
    EXPECT_EQ(lines[1][QStringLiteral("pager")].toString(), QString(QChar(0xE9)));
    EXPECT_EQ(lines[2][QStringLiteral("ended")].toString(), QStringLiteral("eot"));
}

TEST(PagesModel, JsonLinesHoldOnlyTheKeptRecordsStillInOrder)
{
    PagesModel model;
    for (long n = 1; n <= 1001; ++n) {
        model.pageRecorded(page(n, "1234", "m"));
        model.callRecorded(call(n));
    }
    const std::vector<QJsonObject> lines = parsedLines(model.jsonLines());
    ASSERT_EQ(lines.size(), 2000u);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const int n = static_cast<int>(i / 2) + 2;
        if (i % 2 == 0) {
            ASSERT_EQ(lines[i][QStringLiteral("type")].toString(), QStringLiteral("page")) << i;
            ASSERT_EQ(lines[i][QStringLiteral("seq")].toInt(), n) << i;
        } else {
            ASSERT_EQ(lines[i][QStringLiteral("type")].toString(), QStringLiteral("call")) << i;
            ASSERT_EQ(lines[i][QStringLiteral("id")].toInt(), n) << i;
        }
    }
}

TEST(PagesModel, SaveWritesTheJsonLinesAndReportsAFailure)
{
    PagesModel model;
    model.pageRecorded(page(1, "1234", "caf\xe9"));
    model.callRecorded(call(1));
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());

    const QString path = dir.filePath(QStringLiteral("pages.jsonl"));
    QString error;
    ASSERT_TRUE(model.save(path, &error)) << error.toStdString();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().toStdString(), model.jsonLines());

    const QString missing = dir.filePath(QStringLiteral("no such folder/pages.jsonl"));
    EXPECT_FALSE(model.save(missing, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFile::exists(missing));
}

TEST(PagesModel, TakesTheRecordsOfAWholeCallFromTheSimulator)
{
    test::Rig rig;
    PagesModel model;
    rig.sim.addRecordSink(&model);
    rig.advance(1'000);
    rig.connect();
    rig.clientSends("ATDT5551234\r");
    rig.advance(12'000);
    ASSERT_EQ(rig.takeSent(), "CONNECT\r\n");
    rig.clientSends("\r");
    rig.advance(2'000);
    rig.clientSends("\x1bPG1000000\r");
    rig.advance(2'000);
    rig.takeSent();
    rig.clientSends(test::blockWithChecksum("\x02"
                                            "5678\rcaf\xe9\x07\r\x03"));
    rig.advance(2'000);
    ASSERT_EQ(rig.takeSent(), "\x06\r");
    rig.clientSends("\x04\r");
    rig.advance(2'000);
    rig.peerCloses();
    rig.advance(1'000);

    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(cell(model, 0, PagesModel::Call), QStringLiteral("1"));
    EXPECT_EQ(cell(model, 0, PagesModel::Pager), QStringLiteral("5678"));
    EXPECT_EQ(cell(model, 0, PagesModel::Message), QStringLiteral(u"caf\u00e9<BEL>"));
    EXPECT_EQ(cell(model, 0, PagesModel::Reply), QStringLiteral("ACK"));
    EXPECT_EQ(cell(model, 0, PagesModel::Reason), QStringLiteral("good"));
    ASSERT_EQ(model.callCount(), 1u);
    const std::vector<QJsonObject> lines = parsedLines(model.jsonLines());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0][QStringLiteral("message")].toString(), QStringLiteral(u"caf\u00e9\u0007"));
    EXPECT_EQ(lines[1][QStringLiteral("type")].toString(), QStringLiteral("call"));
    EXPECT_EQ(lines[1][QStringLiteral("ended")].toString(), QStringLiteral("eot"));
}
