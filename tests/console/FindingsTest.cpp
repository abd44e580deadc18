// SPDX-License-Identifier: MIT
// The judge's findings in a real run: the console's FIND lines, the finding records of the record
// file, the JUnit report and the exit status that --fail-on gives; and a report that cannot be
// written.
#include "support/ProcessAssertions.h"
#include "support/ProcessHarness.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using namespace ostrella::harness;

// Each element's name and its attributes as "name=value" words, in document order.
std::vector<std::pair<QString, QStringList>> elements(const QString& path)
{
    std::vector<std::pair<QString, QStringList>> out;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return out;
    QXmlStreamReader reader(&file);
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        QStringList attributes;
        for (const QXmlStreamAttribute& a : reader.attributes())
            attributes << a.name().toString() + QLatin1Char('=') + a.value().toString();
        out.emplace_back(reader.name().toString(), attributes);
    }
    if (reader.hasError())
        out.emplace_back(QStringLiteral("error"), QStringList { reader.errorString() });
    return out;
}

} // namespace

TEST(FindingsRun, AClientThatHangsUpWithoutEotFailsTheRunInEveryOutput)
{
    QTemporaryDir dir;
    const QString junit = dir.filePath(QStringLiteral("report.xml"));
    const QString record = dir.filePath(QStringLiteral("calls.jsonl"));
    Program program(
        console({ QStringLiteral("--fail-on"), QStringLiteral("error"), QStringLiteral("--junit"),
                  junit, QStringLiteral("--record"), record }));
    ASSERT_TRUE(listens(program));
    LineClient client(program.port());
    // An AT command left without its CR: a warning. Then a logon and a hang-up without EOT: an
    // error.
    ASSERT_TRUE(client.send("AT"));
    ASSERT_TRUE(program.waitForOutput(" :  call 1 warning modem.no-cr: ", 3'000))
        << program.report();
    ASSERT_NO_FATAL_FAILURE(dialsAndLogsOn(client));
    client.close();
    ASSERT_TRUE(program.waitForOutput("CALL ", 3'000)) << program.report();
    program.say("quit");
    ASSERT_TRUE(program.finish()) << program.report();
    EXPECT_EQ(program.process_.exitCode(), 3) << "an error finding with --fail-on error";
    EXPECT_TRUE(QString::fromLatin1(program.out_)
                    .contains(QRegularExpression("\nFIND \\d\\d:\\d\\d:\\d\\d :  call 1 error "
                                                 "end\\.no-eot: the client hung up after its "
                                                 "logon without EOT CR")))
        << program.report();
    EXPECT_TRUE(
        program.out_.contains(" :  call 1 warning modem.no-cr: AT command not ended by CR "
                              "within 1 s; a modem takes a command at its CR evidence <AT>"));

    const std::vector<QJsonObject> r = records(record);
    ASSERT_EQ(r.size(), 3U) << program.report();
    EXPECT_EQ(r[0]["type"].toString(), QStringLiteral("finding"));
    EXPECT_EQ(r[0]["rule"].toString(), QStringLiteral("modem.no-cr"));
    EXPECT_EQ(r[0]["evidence"].toString(), QStringLiteral("AT"));
    EXPECT_EQ(r[1]["type"].toString(), QStringLiteral("finding"));
    EXPECT_EQ(r[1]["rule"].toString(), QStringLiteral("end.no-eot"));
    EXPECT_EQ(r[1]["level"].toString(), QStringLiteral("error"));
    EXPECT_EQ(r[1]["call"].toInt(), 1);
    EXPECT_EQ(r[1]["seq"].toInt(), 2);
    EXPECT_EQ(r[2]["type"].toString(), QStringLiteral("call")) << "after its findings";
    EXPECT_EQ(r[2]["findings"].toObject(),
              QJsonDocument::fromJson(R"({"error": 1, "warning": 1, "note": 0})").object());

    const auto xml = elements(junit);
    ASSERT_EQ(xml.size(), 8U) << program.report();
    EXPECT_EQ(xml[0].first, QStringLiteral("testsuites"));
    EXPECT_EQ(xml[1].first, QStringLiteral("testsuite"));
    for (const char* count : { "tests=1", "failures=1", "errors=0", "skipped=0" })
        EXPECT_TRUE(xml[1].second.contains(QLatin1String(count))) << count;
    EXPECT_EQ(xml[5].first, QStringLiteral("testcase"));
    EXPECT_TRUE(xml[5].second.contains(QStringLiteral("name=call 1 from 127.0.0.1")));
    EXPECT_TRUE(xml[5].second.contains(QStringLiteral("classname=ostrella")));
    EXPECT_EQ(xml[6].first, QStringLiteral("failure"));
    EXPECT_EQ(xml[6].second, (QStringList { "message=end.no-eot", "type=error" }));
    EXPECT_EQ(xml[7].first, QStringLiteral("system-out")) << "the warning";
}

TEST(FindingsRun, AReportThatCannotBeWrittenOrABadRuleStopsTheStartAndALaterFailureIsSaid)
{
    struct Case {
        QStringList args;
        const char* err;
    };
    const Case cases[] = {
        { { "--junit", "/nonexistent/dir/report.xml" },
          "cannot write the JUnit report '/nonexistent/dir/report.xml': " },
        { { "--ignore", "block.gapp" }, "--ignore: 'block.gapp' is not a rule of the judge" },
        { { "--fail-on", "always" }, "--fail-on: 'always' is not a level" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.err);
        Program program(console(c.args));
        ASSERT_TRUE(program.finish());
        EXPECT_EQ(program.process_.exitCode(), 2);
        EXPECT_TRUE(program.err_.contains(c.err)) << program.report();
    }

    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("out")));
    const QString junit = dir.filePath(QStringLiteral("out/report.xml"));
    Program program(console({ QStringLiteral("--junit"), junit }));
    ASSERT_TRUE(listens(program));
    ASSERT_TRUE(QFile::exists(junit)) << "written at the start";
    ASSERT_TRUE(QDir(dir.filePath(QStringLiteral("out"))).removeRecursively());
    {
        LineClient call(program.port());
        ASSERT_TRUE(call.send("AT\r"));
        ASSERT_EQ(call.receive("OK\r\n", 3'000), QByteArray("OK\r\n"));
    }
    ASSERT_TRUE(program.waitForOutput("Event: ERROR JUnit report <" + junit.toLocal8Bit()
                                      + "> cannot be written: "))
        << program.report();
    LineClient next(program.port());
    ASSERT_TRUE(next.send("AT\r"));
    EXPECT_EQ(next.receive("OK\r\n", 3'000), QByteArray("OK\r\n")) << "the simulator goes on";
    EXPECT_TRUE(program.terminate()) << "a report is no reason to fail";
}
