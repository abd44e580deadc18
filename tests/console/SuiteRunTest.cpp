// SPDX-License-Identifier: MIT
// The suite in a real run with no client calling: each case a no-show after its wait, a CASE line
// and a case record each, the SUITE line, the HTML report, and the exit status that
// --exit-after-suite gives with and without --allow-no-show.
#include "support/ProcessAssertions.h"
#include "support/ProcessHarness.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using namespace ostrella::harness;

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(SuiteRun, NoShowsEndTheRunWithStatusThreeUnlessAllowed)
{
    QTemporaryDir dir;
    const QString record = dir.filePath(QStringLiteral("calls.jsonl"));
    const QString html = dir.filePath(QStringLiteral("report.html"));
    for (const bool allowed : { false, true }) {
        SCOPED_TRACE(allowed ? "allowed" : "not allowed");
        QStringList args { QStringLiteral("--suite"),  QStringLiteral("--cases"),
                           QStringLiteral("1.1,5"),    QStringLiteral("--exclude-cases"),
                           QStringLiteral("5.2,5.3"),  QStringLiteral("--case-wait"),
                           QStringLiteral("1"),        QStringLiteral("--exit-after-suite"),
                           QStringLiteral("--record"), record,
                           QStringLiteral("--report"), html };
        if (allowed)
            args << QStringLiteral("--allow-no-show");
        Program program(console(args));
        ASSERT_TRUE(program.finish(10'000)) << program.report();
        EXPECT_EQ(program.process_.exitCode(), allowed ? 0 : 3) << program.report();
        const QByteArray out = program.readAll();
        EXPECT_TRUE(out.contains("Event: the test suite plays 2 cases, from 1.1"));
        EXPECT_TRUE(out.contains("CASE 1.1 no-show: no call within 1.0 s\n"));
        EXPECT_TRUE(out.contains("CASE 5.1 no-show: no call within 1.0 s\n"));
        EXPECT_TRUE(out.contains(allowed ? "SUITE 2 cases: 0 pass, 0 non-strict, 0 info, 0 fail, "
                                           "2 no-show; 0 failing\n"
                                         : "SUITE 2 cases: 0 pass, 0 non-strict, 0 info, 0 fail, "
                                           "2 no-show; 2 failing\n"))
            << out.toStdString();
        EXPECT_TRUE(contents(record).contains(
            R"({"type":"case","v":1,"id":"5.1","title":"Goodbye","verdict":"no-show",)"));
        const QByteArray page = contents(html);
        EXPECT_TRUE(page.startsWith("<!DOCTYPE html>")) << page.left(80).toStdString();
        EXPECT_TRUE(page.contains("id=\"case-5.1\""));
    }
}
