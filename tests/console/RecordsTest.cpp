// SPDX-License-Identifier: MIT
// The record file of a real run: a client that redials after BUSY and resends after NAK, as the
// plan on the command line makes it, and what the JSON Lines file then holds.
#include "ConsoleSupport.h"
#include "support/ProcessAssertions.h"
#include "support/ProcessHarness.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <string>

namespace {

using namespace ostrella::harness;

} // namespace

TEST(RecordFile, ARedialAndAResendAsThePlanMadeThem)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("calls.jsonl"));
    Program program(console({ QStringLiteral("--record"), path, QStringLiteral("--dial-plan"),
                              QStringLiteral("busy,connect"), QStringLiteral("--block-plan"),
                              QStringLiteral("nak,ack") }));
    ASSERT_TRUE(listens(program));
    {
        LineClient first(program.port());
        ASSERT_TRUE(first.send("ATDT5551234\r"));
        ASSERT_EQ(first.receive("BUSY\r\n", 7'000), QByteArray("BUSY\r\n"));
    }
    LineClient client(program.port());
    ASSERT_NO_FATAL_FAILURE(dialsAndLogsOn(client));
    ASSERT_TRUE(client.send(Block));
    ASSERT_EQ(client.receive("\r", 3'000), QByteArray("\x15\r"));
    ASSERT_TRUE(client.send(Block));
    ASSERT_EQ(client.receive("\r", 3'000), QByteArray("\x06\r"));
    ASSERT_TRUE(client.send("\x04\r"));
    ASSERT_TRUE(program.waitForOutput("DP: EOT detected", 3'000));
    client.close();
    ASSERT_TRUE(program.waitForOutput("CALL ", 3'000)) << program.report();
    ASSERT_TRUE(program.terminate());

    const std::vector<QJsonObject> r = records(path);
    ASSERT_EQ(r.size(), 4U) << program.report();
    for (const QJsonObject& o : r)
        EXPECT_EQ(o.value(QStringLiteral("v")).toInt(), 1);
    EXPECT_EQ(r[0].value(QStringLiteral("type")).toString(), QStringLiteral("call"));
    EXPECT_EQ(r[0]["dials"].toArray()[0].toObject()["outcome"].toString(), QStringLiteral("BUSY"));
    for (int i : { 1, 2 }) {
        SCOPED_TRACE(i);
        EXPECT_EQ(r[i]["type"].toString(), QStringLiteral("page"));
        EXPECT_EQ(r[i]["pager"].toString(), QStringLiteral("123"));
        EXPECT_EQ(r[i]["message"].toString(), QStringLiteral("ABC"));
        EXPECT_EQ(r[i]["call"].toInt(), 2);
        EXPECT_EQ(r[i]["reason"].toString(), QStringLiteral("plan"));
    }
    EXPECT_EQ(r[1]["reply"].toString(), QStringLiteral("NAK"));
    EXPECT_EQ(r[2]["reply"].toString(), QStringLiteral("ACK"));
    EXPECT_EQ(r[3]["type"].toString(), QStringLiteral("call"));
    EXPECT_EQ(r[3]["id"].toInt(), 2);
    EXPECT_EQ(r[3]["dials"].toArray()[0].toObject()["outcome"].toString(),
              QStringLiteral("CONNECT"));
    EXPECT_TRUE(r[3]["logon"].toBool());
    EXPECT_EQ(r[3]["pages"].toObject()["NAK"].toInt(), 1);
    EXPECT_EQ(r[3]["pages"].toObject()["ACK"].toInt(), 1);
    EXPECT_EQ(r[3]["ended"].toString(), QStringLiteral("eot"));
    EXPECT_TRUE(program.out_.contains("PAGE ")) << "the console shows the pages too";
}

TEST(RecordFile, AFileThatCannotBeOpenedOrABadPlanStopsTheStart)
{
    Program noFile(console({ QStringLiteral("--record"), QStringLiteral("/nonexistent/dir/x") }));
    ASSERT_TRUE(noFile.finish());
    EXPECT_EQ(noFile.process_.exitCode(), 2);
    EXPECT_TRUE(noFile.err_.contains("cannot open the record file '/nonexistent/dir/x'"))
        << noFile.report();

    Program badPlan(console({ QStringLiteral("--block-plan"), QStringLiteral("nak,maybe") }));
    ASSERT_TRUE(badPlan.finish());
    EXPECT_EQ(badPlan.process_.exitCode(), 2);
    EXPECT_TRUE(badPlan.err_.contains("'maybe' is not a block reply")) << badPlan.report();
    EXPECT_TRUE(badPlan.err_.contains("Usage:"));
}

TEST(RecordFile, AWriteThatFailsIsSaidOnceAndTheSimulatorGoesOn)
{
    Program program(console({ QStringLiteral("--record"), QStringLiteral("/dev/full") }));
    ASSERT_TRUE(listens(program));
    for (int call = 0; call < 2; ++call) {
        LineClient client(program.port());
        ASSERT_TRUE(client.send("AT\r"));
        ASSERT_EQ(client.receive("OK\r\n", 3'000), QByteArray("OK\r\n"));
    }
    LineClient last(program.port());
    ASSERT_TRUE(last.send("AT\r"));
    EXPECT_EQ(last.receive("OK\r\n", 3'000), QByteArray("OK\r\n")) << "still answering";
    ASSERT_TRUE(program.waitForOutput("cannot be written")) << program.report();
    EXPECT_EQ(program.countOf("Event: ERROR Record file </dev/full> cannot be written"), 1)
        << "said once, though two calls ended";
}
