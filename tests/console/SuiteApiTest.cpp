// SPDX-License-Identifier: MIT
// The control API of a real run with the test suite, over real HTTP: one standard call plays case
// 1.1 while a wait for its verdict is held, then the suite, the call's timeline, a restart and the
// requests that must fail.
#include "support/ProcessAssertions.h"
#include "support/ProcessHarness.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>
#include <string>

namespace {

using namespace ostrella::harness;

QJsonObject json(const HttpReply& reply)
{
    return QJsonDocument::fromJson(reply.body).object();
}

HttpReply get(quint16 api, const QByteArray& path)
{
    return http(api, "GET", "/api/v1/" + path);
}

// A standard TAP 1.8 call: dial, logon, one page, EOT, and the hang-up after ESC EOT CR.
void standardCall(LineClient& client, LineClient& waiter)
{
    ASSERT_TRUE(client.send("ATDT5551234\r"));
    ASSERT_TRUE(client.receive("CONNECT", 13'000).contains("CONNECT"));
    ASSERT_TRUE(client.send("\r"));
    ASSERT_TRUE(client.receive("ID=", 5'000).contains("ID="));
    ASSERT_TRUE(client.send("\x1bPG1\r"));
    ASSERT_TRUE(client.receive("\x1b[p\r", 5'000).contains("\x06"));
    ASSERT_TRUE(client.send("\x02"
                            "1234\rhello\r\x03"
                            "2?=\r"));
    ASSERT_TRUE(client.receive("\x06\r", 5'000).contains("\x06\r"));
    (void)waiter.pump(false, 0);
    EXPECT_TRUE(waiter.pending().isEmpty()) << "no verdict before the call ends";
    ASSERT_TRUE(client.send("\x04\r"));
    ASSERT_TRUE(client.receive("\x1b\x04\r", 5'000).contains("\x1b\x04\r"));
    client.close();
}

} // namespace

TEST(SuiteApi, AWaitEndsWithTheVerdictAndTheCallsTimelineAndARestartFollow)
{
    Program program(
        console({ QStringLiteral("--suite"), QStringLiteral("--cases"), QStringLiteral("1.1"),
                  QStringLiteral("--api"), QStringLiteral("0") }));
    ASSERT_TRUE(listens(program));
    const quint16 api = program.waitForApiPort();
    ASSERT_NE(api, 0) << program.report();

    const QJsonObject before = json(get(api, "suite"));
    EXPECT_TRUE(before["running"].toBool());
    EXPECT_EQ(before["current"].toString(), QStringLiteral("1.1"));
    EXPECT_EQ(before["totals"].toObject()["cases"].toInt(), 1);
    ASSERT_EQ(before["cases"].toArray().size(), 1);
    const QJsonObject pending = before["cases"].toArray()[0].toObject();
    EXPECT_EQ(pending["verdict"].toString(), QStringLiteral("pending"));
    EXPECT_TRUE(pending["does"].toString().contains(QLatin1String("standard TAP 1.8 call")));
    EXPECT_FALSE(pending["expects"].toString().isEmpty());
    EXPECT_TRUE(pending.contains("tolerance"));

    LineClient waiter(api);
    ASSERT_TRUE(sendHttp(waiter, "GET", "/api/v1/suite/wait?case=1.1&timeout=60000"));
    {
        LineClient client(program.port());
        ASSERT_NO_FATAL_FAILURE(standardCall(client, waiter));
    }
    const HttpReply woken = readHttp(waiter, 5'000);
    ASSERT_EQ(woken.status, 200) << program.report();
    const QJsonObject decided = json(woken);
    EXPECT_EQ(decided["id"].toString(), QStringLiteral("1.1"));
    EXPECT_EQ(decided["verdict"].toString(), QStringLiteral("pass")) << woken.body.toStdString();
    EXPECT_TRUE(decided["decided"].toBool());
    EXPECT_EQ(decided["calls"].toArray(), QJsonArray({ 1 }));
    // A decided case answers at once, however long the wait asked for.
    const auto start = SteadyClock::now();
    EXPECT_EQ(json(get(api, "suite/wait?case=1.1&timeout=60000"))["verdict"].toString(),
              QStringLiteral("pass"));
    EXPECT_LT(msBetween(start, SteadyClock::now()), 2'000.0);

    const QJsonObject after = json(get(api, "suite"));
    EXPECT_FALSE(after["running"].toBool());
    EXPECT_TRUE(after["current"].isNull());
    EXPECT_EQ(after["totals"].toObject()["pass"].toInt(), 1);
    EXPECT_EQ(after["totals"].toObject()["decided"].toInt(), 1);

    const HttpReply svg = get(api, "calls/1/timeline.svg");
    ASSERT_EQ(svg.status, 200);
    EXPECT_TRUE(svg.head.contains("Content-Type: image/svg+xml")) << svg.head.toStdString();
    EXPECT_TRUE(svg.body.startsWith("<svg")) << svg.body.left(80).toStdString();
    EXPECT_TRUE(svg.body.contains("Call 1 timeline"));
    EXPECT_TRUE(svg.body.trimmed().endsWith("</svg>"));

    const HttpReply restarted = http(api, "POST", "/api/v1/suite/restart");
    ASSERT_EQ(restarted.status, 200);
    const QJsonObject again = json(restarted);
    EXPECT_TRUE(again["running"].toBool());
    EXPECT_EQ(again["current"].toString(), QStringLiteral("1.1"));
    EXPECT_EQ(again["totals"].toObject()["decided"].toInt(), 0);
    EXPECT_EQ(again["cases"].toArray()[0].toObject()["verdict"].toString(),
              QStringLiteral("pending"));
    EXPECT_TRUE(program.waitForOutput("Event: the test suite starts again from 1.1 (1 case)"));
    // A wait that times out answers with the case as it stands.
    const QJsonObject timedOut = json(get(api, "suite/wait?case=1.1&timeout=300"));
    EXPECT_FALSE(timedOut["decided"].toBool());
    EXPECT_EQ(timedOut["verdict"].toString(), QStringLiteral("pending"));

    struct Case {
        const char* method;
        const char* path;
        int status;
        const char* error;
    };
    const Case cases[] = {
        { "GET", "suite/wait?case=9.9", 404, "the suite plays no case '9.9'" },
        { "GET", "suite/wait?case=1.1&timeout=soon", 400, "timeout: 'soon' is not a whole" },
        { "GET", "suite/wait?case=1.1&timeout=60001", 400, "60001 is more than 60000 ms" },
        { "GET", "suite/wait?timeout=10", 400, "case: name the case" },
        { "GET", "suite/wait?case=1.1&since=3", 400, "unknown parameter 'since'" },
        { "POST", "suite", 405, "takes GET only" },
        { "GET", "suite/restart", 405, "takes POST only" },
        { "GET", "calls/2/timeline.svg", 404, "call 2 is not kept" },
        { "GET", "calls/one/timeline.svg", 404, "no such call: 'one'" },
        { "DELETE", "calls/1/timeline.svg", 405, "takes GET only" },
        { "GET", "calls/1/timeline.png", 404, "no such path" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + c.path);
        const HttpReply reply = http(api, c.method, QByteArray("/api/v1/") + c.path);
        EXPECT_EQ(reply.status, c.status);
        EXPECT_TRUE(json(reply)["error"].toString().contains(QLatin1String(c.error)))
            << reply.body.toStdString();
    }
    ASSERT_TRUE(program.terminate());
}
