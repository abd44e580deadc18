// SPDX-License-Identifier: MIT
// The JUnit report as a CI system's reader sees it: parsed back, its counts, a name and classname
// on every case, a failure for each call with an error finding; rewritten whole after each call,
// a failed write said once, and its bounds.
#include "app/JunitReport.h"

#include "support/Rig.h"
#include "support/TapClient.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <cstdlib>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

using namespace ostrella;

namespace {

struct TestCase {
    std::map<QString, QString> attributes;
    std::map<QString, QString> failure;
    QString failureText;
    QString out;
};

// The report as read back: the attributes of <testsuites> and <testsuite>, its properties and
// cases, and whether it parsed.
struct Parsed {
    bool valid = false;
    QString error;
    std::map<QString, QString> suites;
    std::map<QString, QString> suite;
    std::map<QString, QString> properties;
    QString suiteOut;
    std::vector<TestCase> cases;
};

std::map<QString, QString> attributesOf(const QXmlStreamReader& reader)
{
    std::map<QString, QString> out;
    for (const QXmlStreamAttribute& a : reader.attributes())
        out[a.name().toString()] = a.value().toString();
    return out;
}

Parsed parse(const QByteArray& xml)
{
    Parsed p;
    QXmlStreamReader r(xml);
    while (r.readNextStartElement()) {
        if (r.name() == QLatin1String("testsuites")) {
            p.suites = attributesOf(r);
            continue;
        }
        if (r.name() == QLatin1String("testsuite")) {
            p.suite = attributesOf(r);
            continue;
        }
        if (r.name() == QLatin1String("properties")) {
            while (r.readNextStartElement()) {
                p.properties[r.attributes().value(QLatin1String("name")).toString()]
                    = r.attributes().value(QLatin1String("value")).toString();
                r.skipCurrentElement();
            }
            continue;
        }
        if (r.name() == QLatin1String("system-out")) {
            p.suiteOut = r.readElementText();
            continue;
        }
        if (r.name() != QLatin1String("testcase")) {
            p.error = QStringLiteral("unexpected element ") + r.name().toString();
            return p;
        }
        TestCase c;
        c.attributes = attributesOf(r);
        while (r.readNextStartElement()) {
            if (r.name() == QLatin1String("failure")) {
                c.failure = attributesOf(r);
                c.failureText = r.readElementText();
            } else if (r.name() == QLatin1String("system-out")) {
                c.out = r.readElementText();
            } else {
                r.skipCurrentElement();
            }
        }
        p.cases.push_back(c);
    }
    p.valid = !r.hasError();
    if (r.hasError())
        p.error = r.errorString();
    return p;
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

CallRecord callOf(long id, int line = 0, FindingCounts counts = {})
{
    CallRecord call;
    call.id = id;
    call.line = line;
    call.caller = "127.0.0.1";
    call.start = 1'000'000;
    call.end = 1'002'500;
    call.findings = counts;
    return call;
}

FindingRecord findingOf(long call, const char* rule, const char* level, std::string evidence = {})
{
    return FindingRecord {
        0, call, 0, 1'001'000, rule, level, "TAP 1.8 x", "what was seen", std::move(evidence), {}
    };
}

} // namespace

TEST(JunitReport, ACasePerCallAFailurePerCallWithAnErrorAndCountsThatAddUp)
{
    test::BankRig rig(2);
    JunitReport report(0);
    rig.sim.addRecordSink(&report);
    // Line 1 logs on and hangs up without EOT; line 2 leaves an AT command without its CR.
    rig.connect();
    rig.connect();
    rig.clientSends(1, "AT");
    rig.exchange(0, "ATDT5551234\r", 11'000);
    rig.exchange(0, "\r", 2'000);
    rig.exchange(0, "\x1bPG1000000\r", 2'000);
    rig.peerCloses(0);
    rig.peerCloses(1);
    rig.advance(1'000);
    // Without a bank, and with control bytes in its evidence.
    report.findingRecorded(findingOf(9, "block.checksum", "error",
                                     "\x02"
                                     "1\r\x03"
                                     "17:\r\x7f"));
    report.findingRecorded(findingOf(9, "block.checksum", "error"));
    report.findingRecorded(findingOf(9, "end.no-eot", "error"));
    report.findingRecorded(findingOf(9, "page.fields", "note"));
    report.callRecorded(callOf(9, 0, { 3, 0, 1 }));

    const QByteArray xml = report.xml();
    const Parsed p = parse(xml);
    ASSERT_TRUE(p.valid) << p.error.toStdString() << "\n" << xml.toStdString();
    for (char c = 0; c < 0x20; ++c)
        EXPECT_TRUE(c == '\n' || !xml.contains(c)) << "raw control " << int(c);
    EXPECT_FALSE(xml.contains('\x7f'));
    for (const auto* attributes : { &p.suites, &p.suite }) {
        EXPECT_EQ(attributes->at(QStringLiteral("tests")), QStringLiteral("3"));
        EXPECT_EQ(attributes->at(QStringLiteral("failures")), QStringLiteral("2"));
        EXPECT_EQ(attributes->at(QStringLiteral("errors")), QStringLiteral("0"));
        EXPECT_EQ(attributes->at(QStringLiteral("skipped")), QStringLiteral("0"));
    }
    EXPECT_TRUE(p.suite.contains(QStringLiteral("timestamp")));
    EXPECT_EQ(p.properties.at(QStringLiteral("calls_dropped")), QStringLiteral("0"));
    double sum = 0;
    ASSERT_EQ(p.cases.size(), 3U) << xml.toStdString();
    for (const TestCase& c : p.cases) {
        EXPECT_FALSE(c.attributes.at(QStringLiteral("name")).isEmpty());
        EXPECT_FALSE(c.attributes.at(QStringLiteral("classname")).isEmpty());
        sum += c.attributes.at(QStringLiteral("time")).toDouble();
    }
    EXPECT_NEAR(p.suite.at(QStringLiteral("time")).toDouble(), sum, 0.002);

    const TestCase& loggedOn = p.cases[0];
    EXPECT_EQ(loggedOn.attributes.at(QStringLiteral("name")),
              QStringLiteral("call 1 from 127.0.0.1 on line 1"));
    EXPECT_EQ(loggedOn.attributes.at(QStringLiteral("classname")),
              QStringLiteral("ostrella.line1"));
    EXPECT_EQ(loggedOn.failure.at(QStringLiteral("message")), QStringLiteral("end.no-eot"));
    EXPECT_EQ(loggedOn.failure.at(QStringLiteral("type")), QStringLiteral("error"));
    EXPECT_TRUE(loggedOn.failureText.contains(QLatin1String("error end.no-eot (TAP 1.8 end): ")));
    EXPECT_GT(loggedOn.attributes.at(QStringLiteral("time")).toDouble(), 10.0);

    const TestCase& noCr = p.cases[1];
    EXPECT_EQ(noCr.attributes.at(QStringLiteral("classname")), QStringLiteral("ostrella.line2"));
    EXPECT_TRUE(noCr.failure.empty()) << "a warning fails nothing";
    EXPECT_TRUE(noCr.out.contains(QLatin1String("warning modem.no-cr"))) << noCr.out.toStdString();
    EXPECT_TRUE(noCr.out.contains(QLatin1String("evidence: AT")));

    const TestCase& direct = p.cases[2];
    EXPECT_EQ(direct.attributes.at(QStringLiteral("name")),
              QStringLiteral("call 9 from 127.0.0.1"));
    EXPECT_EQ(direct.attributes.at(QStringLiteral("classname")), QStringLiteral("ostrella"));
    EXPECT_EQ(direct.attributes.at(QStringLiteral("time")), QStringLiteral("2.500"));
    EXPECT_EQ(direct.failure.at(QStringLiteral("message")),
              QStringLiteral("block.checksum, end.no-eot"));
    EXPECT_TRUE(direct.failureText.contains(QLatin1String("evidence: <STX>1<CR><ETX>17:<CR><DEL>")))
        << direct.failureText.toStdString();
    EXPECT_EQ(direct.failureText.count(QLatin1String("(TAP 1.8 x)")), 3);
    EXPECT_TRUE(direct.out.contains(QLatin1String("note page.fields")));
}

TEST(JunitReport, RewrittenWholeAfterEachCallAndAFailedWriteSaidOnce)
{
    EXPECT_NE(JunitReport(0).open("/nonexistent/dir/report.xml"), "");

    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("out")));
    const QString path = dir.filePath(QStringLiteral("out/report.xml"));
    JunitReport report(0);
    std::vector<std::string> said;
    report.setReport([&said](const std::string& text) { said.push_back(text); });
    ASSERT_EQ(report.open(path.toStdString()), "");
    EXPECT_EQ(parse(contents(path)).suite.at(QStringLiteral("tests")), QStringLiteral("0"))
        << "a report from the start";
    report.callRecorded(callOf(1));
    EXPECT_EQ(parse(contents(path)).cases.size(), 1U);
    report.callRecorded(callOf(2));
    EXPECT_EQ(parse(contents(path)).cases.size(), 2U);
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("out"))).entryList(QDir::Files),
              QStringList { QStringLiteral("report.xml") })
        << "renamed into place, nothing left beside it";

    ASSERT_TRUE(QDir(dir.filePath(QStringLiteral("out"))).removeRecursively());
    report.callRecorded(callOf(3));
    report.callRecorded(callOf(4));
    ASSERT_EQ(said.size(), 1U) << "said once, though two writes failed";
    EXPECT_TRUE(said[0].starts_with("Event: ERROR JUnit report <" + path.toStdString()
                                    + "> cannot be written: "))
        << said[0];

    // Tried again after each call: the directory back, the next call writes every call.
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("out")));
    report.callRecorded(callOf(5));
    EXPECT_EQ(parse(contents(path)).cases.size(), 5U);
    EXPECT_EQ(said.size(), 1U);
}

TEST(JunitReport, KeepsTheNewestCallsAndShowsSoManyFindingsOfACall)
{
    JunitReport report(0);
    const long many = static_cast<long>(JunitReport::MaxShownFindings) + 4;
    for (long i = 0; i < many; ++i) {
        report.findingRecorded(findingOf(1, "block.checksum", "error", std::string(1000, 'x')));
        report.findingRecorded(findingOf(1, "block.gap", "warning"));
    }
    report.callRecorded(callOf(1, 0, { many, many, 0 }));
    const TestCase first = parse(report.xml()).cases.at(0);
    EXPECT_EQ(first.failureText.count(QLatin1String("evidence: ")),
              static_cast<qsizetype>(JunitReport::MaxShownFindings));
    EXPECT_TRUE(first.failureText.contains(QLatin1String("... 4 errors more")));
    EXPECT_TRUE(first.failureText.contains(QStringLiteral("\u2026(1000 bytes)")));
    EXPECT_TRUE(first.out.contains(QLatin1String("... 4 warnings and notes more")));

    for (long id = 2; id <= static_cast<long>(JunitReport::MaxCalls) + 1; ++id)
        report.callRecorded(callOf(id));
    const Parsed p = parse(report.xml());
    ASSERT_TRUE(p.valid);
    EXPECT_EQ(p.cases.size(), JunitReport::MaxCalls);
    EXPECT_EQ(p.suite.at(QStringLiteral("tests")), QString::number(JunitReport::MaxCalls));
    EXPECT_EQ(p.suite.at(QStringLiteral("failures")), QStringLiteral("0"));
    EXPECT_EQ(p.cases.front().attributes.at(QStringLiteral("name")),
              QStringLiteral("call 2 from 127.0.0.1"));
    EXPECT_EQ(p.properties.at(QStringLiteral("calls_dropped")), QStringLiteral("1"));
    EXPECT_TRUE(p.suiteOut.contains(QLatin1String("1 older calls dropped")));
}

// While the suite runs, a case per case of the suite: the JUnit reader's name and classname on
// each, a failure for a failed case, skipped while undecided; and Python's junitparser (Debian's
// python3-junitparser) reads the file back the same.
TEST(JunitReport, ACasePerCaseOfTheSuiteReadByAJunitParser)
{
    test::Rig rig;
    SuiteOptions options;
    options.cases = "1.1,4.1,4.2";
    Suite suite(rig.sim, rig.clock, options);
    test::ClientFlaws flaws;
    flaws.nakGoesOn = true;
    test::TapClient client(rig, flaws);
    // 1.1 passes, then 4.1 fails (the client goes on after the NAK); 4.2 is still to come.
    while (!suite.results()[1].verdict && rig.now() < 600'000)
        client.run(1000);
    JunitReport report(0);
    report.setSuite(&suite);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("suite.xml"));
    ASSERT_EQ(report.open(path.toStdString()), "");

    const Parsed p = parse(contents(path));
    ASSERT_TRUE(p.valid) << p.error.toStdString();
    EXPECT_EQ(p.suites.at(QStringLiteral("tests")), QStringLiteral("3"));
    EXPECT_EQ(p.suites.at(QStringLiteral("failures")), QStringLiteral("1"));
    EXPECT_EQ(p.suites.at(QStringLiteral("skipped")), QStringLiteral("1"));
    ASSERT_EQ(p.cases.size(), 3u);
    EXPECT_EQ(p.cases[0].attributes.at(QStringLiteral("name")),
              QStringLiteral("1.1 Standard call"));
    EXPECT_EQ(p.cases[0].attributes.at(QStringLiteral("classname")),
              QStringLiteral("ostrella.suite.1"));
    EXPECT_TRUE(p.cases[0].failure.empty());
    EXPECT_EQ(p.cases[1].attributes.at(QStringLiteral("classname")),
              QStringLiteral("ostrella.suite.4"));
    EXPECT_TRUE(
        p.cases[1].failure.at(QStringLiteral("message")).startsWith(QStringLiteral("fail: ")));
    EXPECT_TRUE(p.cases[1].out.contains(QStringLiteral("reason: sent a different block")));

    const char* python = "/usr/bin/python3";
    if (!QFile::exists(QString::fromLatin1(python))
        || std::system("/usr/bin/python3 -c 'import junitparser' 2>/dev/null") != 0)
        GTEST_SKIP() << "no python3-junitparser";
    const QString out = dir.filePath(QStringLiteral("read.txt"));
    const std::string script = std::string(python)
        + " -c \"import sys, junitparser\n"
          "x = junitparser.JUnitXml.fromfile(sys.argv[1])\n"
          "for s in x:\n"
          "    for c in s:\n"
          "        kinds = ','.join(type(r).__name__ for r in c.result) or 'passed'\n"
          "        print(c.classname + '|' + c.name + '|' + kinds)\n\" "
        + path.toStdString() + " > " + out.toStdString();
    ASSERT_EQ(std::system(script.c_str()), 0);
    EXPECT_EQ(contents(out).toStdString(),
              "ostrella.suite.1|1.1 Standard call|passed\n"
              "ostrella.suite.4|4.1 Block NAK|Failure\n"
              "ostrella.suite.4|4.2 Every block NAK|Skipped\n");
}
