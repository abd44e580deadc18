// SPDX-License-Identifier: MIT
// The control API of a real run, over real HTTP: every endpoint, requests that must change
// nothing, a too-large body, the long poll woken by a page sent on the line, and requests during a
// call.
#include "ConsoleSupport.h"
#include "support/ProcessAssertions.h"
#include "support/ProcessHarness.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace ostrella::harness;

QJsonObject json(const HttpReply& reply)
{
    return QJsonDocument::fromJson(reply.body).object();
}

// The program in console mode with the API on a port of the system's choosing.
class ApiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(listens(program));
        api = program.waitForApiPort();
        ASSERT_NE(api, 0) << program.report();
    }

    HttpReply get(const QByteArray& path) { return http(api, "GET", "/api/v1/" + path); }
    HttpReply put(const QByteArray& path, const QByteArray& body)
    {
        return http(api, "PUT", "/api/v1/" + path, body);
    }

    Program program { console({ QStringLiteral("--api"), QStringLiteral("0") }) };
    quint16 api = 0;
};

TEST_F(ApiTest, StatusFaultsAndPlanReadAndSet)
{
    const HttpReply status = get("status");
    ASSERT_EQ(status.status, 200) << status.head.toStdString();
    EXPECT_TRUE(status.head.contains("Content-Type: application/json"));
    const QJsonObject s = json(status);
    EXPECT_EQ(s["line_port"].toInt(), program.port());
    EXPECT_EQ(s["api_port"].toInt(), api);
    EXPECT_FALSE(s["version"].toString().isEmpty());
    EXPECT_FALSE(s["connected"].toBool());
    EXPECT_EQ(s["faults"].toObject().size(), 8);
    EXPECT_EQ(s["records"].toObject()["pages"].toInt(), 0);

    // A PUT may carry some keys only; the rest stay as they are.
    EXPECT_EQ(json(put("faults", R"({"busy": true, "send_disconnect": true})"))["busy"], true);
    const QJsonObject faults = json(put("faults", R"({"busy": false})"));
    EXPECT_EQ(faults["busy"], false);
    EXPECT_EQ(faults["send_disconnect"], true);
    EXPECT_EQ(faults["no_response"], false);
    program.say("faults");
    EXPECT_TRUE(program.waitForOutput("busy=off no-answer=off")
                && program.waitForOutput("disconnect=on"));

    const QJsonObject plan
        = json(put("plan", R"({"dial": ["busy", "connect"], "numbers": {"5550001": "no-answer"},
                    "pagers": {"1234": "rej"}, "block": ["nak"]})"));
    EXPECT_EQ(plan["dial"].toArray(), QJsonArray({ "busy", "connect" }));
    EXPECT_EQ(plan["numbers"].toObject()["5550001"].toString(), QStringLiteral("no-answer"));
    EXPECT_EQ(json(get("plan")), plan);
    EXPECT_EQ(json(get("status"))["plan"].toObject(), plan);
    program.say("plan");
    EXPECT_TRUE(program.waitForOutput(
        "plan: dial busy,connect; block nak; number 5550001=no-answer; pager 1234=rej"));
    // A PUT replaces the whole plan; DELETE clears it.
    EXPECT_EQ(json(put("plan", R"({"block": ["ack"]})"))["dial"].toArray(), QJsonArray());
    // The profiles hold from the next call on.
    EXPECT_EQ(json(get("profiles")),
              QJsonDocument::fromJson(R"({"modem": "classic",
                                                                 "terminal": "classic"})")
                  .object());
    const QJsonObject profiles = json(put("profiles", R"({"terminal": "tap18"})"));
    EXPECT_EQ(profiles["terminal"].toString(), QStringLiteral("tap18"));
    EXPECT_EQ(profiles["modem"].toString(), QStringLiteral("classic"));
    EXPECT_EQ(json(put("profiles", R"({"modem": "hayes"})"))["terminal"].toString(),
              QStringLiteral("tap18"));
    EXPECT_EQ(json(get("status"))["profiles"].toObject()["modem"].toString(),
              QStringLiteral("hayes"));
    program.say("terminal");
    EXPECT_TRUE(program.waitForOutput("terminal: tap18"));

    const HttpReply cleared = http(api, "DELETE", "/api/v1/plan");
    EXPECT_EQ(cleared.status, 200);
    EXPECT_EQ(json(cleared)["block"].toArray(), QJsonArray());
}

TEST_F(ApiTest, BadRequestsGetTheirErrorAndChangeNothing)
{
    put("faults", R"({"nak": true})");
    put("plan", R"({"dial": ["busy"]})");
    const QByteArray faultsBefore = get("faults").body;
    const QByteArray planBefore = get("plan").body;
    const QByteArray profilesBefore = get("profiles").body;
    put("ignore", R"({"rules": ["block.gap"]})");
    const QByteArray ignoreBefore = get("ignore").body;

    struct Case {
        const char* method;
        const char* path;
        QByteArray body;
        int status;
        const char* error;
    };
    const Case cases[] = {
        { "PUT", "faults", R"({"nak": false, "busy": )", 400, "malformed JSON" },
        { "PUT", "faults", R"([true])", 400, "must be a JSON object" },
        { "PUT", "faults", R"({"nak": false, "busy": 1})", 400, "busy: must be true or false" },
        { "PUT", "faults", R"({"nak": false, "bussy": true})", 400, "unknown fault 'bussy'" },
        { "PUT", "plan", R"({"dial": ["bsy"]})", 400, "'bsy' is not a dial outcome" },
        { "PUT", "plan", R"({"dial": "busy"})", 400, "dial: must be a list of words" },
        { "PUT", "plan", R"({"dial": ["busy,connect"]})", 400, "is not a dial outcome" },
        { "PUT", "plan", R"({"block": [1]})", 400, "an item that is no word" },
        { "PUT", "plan", R"({"pagers": {"12 34": "rej"}})", 400, "'12 34' is not a pager ID" },
        { "PUT", "plan", R"({"numbers": {"555": "ack"}})", 400, "word for '555'" },
        { "PUT", "plan", R"({"dial": [], "later": 1})", 400, "unknown plan key 'later'" },
        { "PUT", "profiles", R"({"modem": "tcpser"})", 400, "modem: must be \"classic\" or" },
        { "PUT", "profiles", R"({"terminal": 18})", 400, "terminal: must be \"classic\" or" },
        { "PUT", "profiles", R"({"terminal": "tap18", "line": 2})", 400, "unknown profile 'line'" },
        { "GET", "pages?since=x", {}, 400, "since: 'x' is not a whole number" },
        { "GET", "calls?since=-1", {}, 400, "since: '-1' is not a whole number" },
        { "GET", "pages?after=3", {}, 400, "unknown parameter 'after'" },
        { "GET", "pages/wait?timeout=60001", {}, 400, "timeout: 60001 is more than 60000 ms" },
        { "PUT", "ignore", R"({"rules": ["block.gap", "block.gapp"]})", 400,
          "unknown rule 'block.gapp'" },
        { "PUT", "ignore", R"({"rules": "block.gap"})", 400,
          "rules: must be a list of rule names" },
        { "PUT", "ignore", R"({"rules": [7]})", 400, "rules: an item that is no rule name" },
        { "PUT", "ignore", R"({"rule": []})", 400, "unknown key 'rule' (rules)" },
        { "DELETE", "ignore", {}, 405, "takes GET, PUT only" },
        { "GET", "findings?since=x", {}, 400, "since: 'x' is not a whole number" },
        { "GET", "findings/wait?timeout=60001", {}, 400, "timeout: 60001 is more than 60000 ms" },
        { "POST", "findings", {}, 405, "takes GET, DELETE only" },
        { "GET", "suite", {}, 404, "no test suite runs" },
        { "GET", "suite/wait?case=1.1", {}, 404, "no test suite runs" },
        { "POST", "suite/restart", {}, 404, "no test suite runs" },
        { "GET", "calls/1/timeline.svg", {}, 404, "call 1 is not kept" },
        { "GET", "nothing", {}, 404, "no such path" },
        { "GET", "pages/", {}, 404, "no such path" },
        { "POST", "faults", "{}", 405, "takes GET, PUT only" },
        { "DELETE", "status", {}, 405, "takes GET only" },
        { "PUT", "faults", QByteArray(70 * 1024, ' '), 413, "larger than 64 KiB" },
        { "GET", "status?x=1", {}, 400, "unknown parameter 'x'" },
        { "DELETE", "pages?since=1", {}, 400, "unknown parameter 'since'" },
        { "GET", "pages?since=1&since=2", {}, 400, "parameter 'since' given more than once" },
        { "PUT", "faults", R"({"€": true})", 400, "unknown fault '€'" },
        { "PUT", "plan", R"({"dial": ["bü"]})", 400, "'bü' is not a dial outcome" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + c.path);
        const HttpReply reply = http(api, c.method, QByteArray("/api/v1/") + c.path, c.body);
        EXPECT_EQ(reply.status, c.status);
        EXPECT_TRUE(json(reply)["error"].toString().contains(QString::fromUtf8(c.error)))
            << reply.body.toStdString();
    }
    EXPECT_TRUE(http(api, "POST", "/api/v1/faults", "{}").head.contains("Allow: GET, PUT"));
    EXPECT_EQ(get("faults").body, faultsBefore);
    EXPECT_EQ(get("plan").body, planBefore);
    EXPECT_EQ(get("profiles").body, profilesBefore);
    EXPECT_EQ(get("ignore").body, ignoreBefore);
}

TEST_F(ApiTest, ARequestFarTooLargeIsRefusedAtOnceAndTheRestDropped)
{
    LineClient client(api);
    const QByteArray head
        = "PUT /api/v1/faults HTTP/1.1\r\nHost: x\r\nContent-Length: 10000000\r\n\r\n";
    ASSERT_TRUE(client.send(head.toStdString()));
    // Far more than a request may hold: the answer comes long before the body would end.
    client.flood("{\"nak\": true}    ", 1'000'000, 5'000);
    const HttpReply reply = readHttp(client);
    EXPECT_EQ(reply.status, 413);
    EXPECT_TRUE(reply.body.contains("larger than 64 KiB"));
    // The program is none the worse for it.
    EXPECT_EQ(get("faults").status, 200);
    EXPECT_EQ(json(get("faults"))["nak"], false);
}

TEST_F(ApiTest, ANakFaultThenTheLongPollGetsThePageAndTheCallFollows)
{
    ASSERT_EQ(json(put("faults", R"({"nak": true})"))["nak"], true);

    // Waiting before the page exists: the answer comes when it does.
    LineClient waiter(api);
    ASSERT_TRUE(sendHttp(waiter, "GET", "/api/v1/pages/wait?since=0&timeout=30000"));

    LineClient client(program.port());
    ASSERT_NO_FATAL_FAILURE(dialsAndLogsOn(client));
    const QJsonObject during = json(get("status"));
    EXPECT_TRUE(during["connected"].toBool());
    EXPECT_FALSE(during["state"].toString().isEmpty());
    EXPECT_TRUE(waiter.pending().isEmpty());

    ASSERT_TRUE(client.send(Block));
    ASSERT_EQ(client.receive("\r", 3'000), QByteArray("\x15\r"));
    const HttpReply woken = readHttp(waiter, 3'000);
    ASSERT_EQ(woken.status, 200) << woken.head.toStdString();
    const QJsonArray pages = json(woken)["pages"].toArray();
    ASSERT_EQ(pages.size(), 1);
    const QJsonObject page = pages[0].toObject();
    EXPECT_EQ(page["type"].toString(), QStringLiteral("page"));
    EXPECT_EQ(page["pager"].toString(), QStringLiteral("123"));
    EXPECT_EQ(page["message"].toString(), QStringLiteral("ABC"));
    EXPECT_EQ(page["reply"].toString(), QStringLiteral("NAK"));
    EXPECT_EQ(page["reason"].toString(), QStringLiteral("box"));

    // A page already there answers the wait at once; with the box cleared the resend gets ACK.
    put("faults", R"({"nak": false})");
    ASSERT_TRUE(client.send(Block));
    ASSERT_EQ(client.receive("\r", 3'000), QByteArray("\x06\r"));
    ASSERT_TRUE(sendHttp(waiter, "GET", "/api/v1/pages/wait?since=1&timeout=0"));
    EXPECT_EQ(json(readHttp(waiter))["pages"].toArray()[0].toObject()["reply"].toString(),
              QStringLiteral("ACK"));
    EXPECT_EQ(json(get("pages?since=1"))["pages"].toArray().size(), 1);

    client.close();
    ASSERT_TRUE(program.waitForOutput("CALL ", 3'000)) << program.report();
    const QJsonArray calls = json(get("calls"))["calls"].toArray();
    ASSERT_EQ(calls.size(), 1);
    EXPECT_EQ(calls[0].toObject()["pages"].toObject()["NAK"].toInt(), 1);
    EXPECT_EQ(calls[0].toObject()["pages"].toObject()["ACK"].toInt(), 1);
    EXPECT_EQ(json(get("calls?since=1"))["calls"].toArray().size(), 0);

    // Forgetting the kept records leaves the numbering going on.
    EXPECT_EQ(json(http(api, "DELETE", "/api/v1/pages"))["deleted"].toInt(), 2);
    EXPECT_EQ(json(http(api, "DELETE", "/api/v1/calls"))["deleted"].toInt(), 1);
    EXPECT_TRUE(json(get("pages"))["pages"].toArray().isEmpty());
    const QJsonObject records = json(get("status"))["records"].toObject();
    EXPECT_EQ(records["pages"].toInt(), 0);
    EXPECT_EQ(records["last_page"].toInt(), 2);
}

TEST_F(ApiTest, FindingsAreListedAwaitedCountedAndDeletedAndRulesIgnored)
{
    EXPECT_EQ(json(get("ignore")), QJsonDocument::fromJson(R"({"rules": []})").object());
    const QJsonObject none = json(get("status"));
    EXPECT_EQ(none["findings"].toObject(),
              QJsonDocument::fromJson(R"({"error": 0, "warning": 0, "note": 0})").object());
    EXPECT_EQ(none["records"].toObject()["last_finding"].toInt(), 0);

    // Waiting before the finding exists: an AT command left without its CR is a warning 1 s on.
    LineClient waiter(api);
    ASSERT_TRUE(sendHttp(waiter, "GET", "/api/v1/findings/wait?timeout=10000"));
    LineClient client(program.port());
    ASSERT_TRUE(client.send("AT"));
    const HttpReply woken = readHttp(waiter, 5'000);
    ASSERT_EQ(woken.status, 200) << program.report();
    const QJsonArray made = json(woken)["findings"].toArray();
    ASSERT_EQ(made.size(), 1);
    const QJsonObject finding = made[0].toObject();
    EXPECT_EQ(finding["type"].toString(), QStringLiteral("finding"));
    EXPECT_EQ(finding["rule"].toString(), QStringLiteral("modem.no-cr"));
    EXPECT_EQ(finding["level"].toString(), QStringLiteral("warning"));
    EXPECT_EQ(finding["evidence"].toString(), QStringLiteral("AT"));
    EXPECT_EQ(finding["call"].toInt(), 1);

    EXPECT_EQ(json(get("findings?since=0"))["findings"].toArray(), made);
    EXPECT_TRUE(json(get("findings?since=1"))["findings"].toArray().isEmpty());
    const QJsonObject status = json(get("status"));
    EXPECT_EQ(status["findings"].toObject()["warning"].toInt(), 1);
    EXPECT_EQ(status["records"].toObject()["findings"].toInt(), 1);
    EXPECT_EQ(status["records"].toObject()["last_finding"].toInt(), 1);
    EXPECT_EQ(json(http(api, "DELETE", "/api/v1/findings"))["deleted"].toInt(), 1);
    EXPECT_TRUE(json(get("findings"))["findings"].toArray().isEmpty());
    EXPECT_EQ(json(get("status"))["findings"].toObject()["warning"].toInt(), 1)
        << "the totals are since start";

    // Ignored from now on: the same slip on the next call is not recorded.
    const QJsonObject ignored = json(put("ignore", R"({"rules": ["modem.no-cr", "block.gap"]})"));
    EXPECT_EQ(ignored["rules"].toArray(), QJsonArray({ "block.gap", "modem.no-cr" }));
    EXPECT_EQ(json(get("ignore")), ignored);
    client.close();
    LineClient again(program.port());
    ASSERT_TRUE(again.send("AT"));
    EXPECT_TRUE(json(get("findings/wait?since=1&timeout=1500"))["findings"].toArray().isEmpty());
    EXPECT_EQ(json(get("status"))["findings"].toObject()["warning"].toInt(), 1);
    EXPECT_EQ(json(put("ignore", "{}"))["rules"].toArray(), QJsonArray());
}

TEST_F(ApiTest, AWaitEndsEmptyAtItsTimeOutAndAClientLeavingAWaitHarmsNothing)
{
    const auto start = SteadyClock::now();
    const HttpReply empty = get("pages/wait?timeout=300");
    EXPECT_EQ(empty.status, 200);
    EXPECT_EQ(json(empty)["pages"].toArray(), QJsonArray());
    EXPECT_GE(msBetween(start, SteadyClock::now()), 290.0);

    {
        LineClient gone(api);
        ASSERT_TRUE(sendHttp(gone, "GET", "/api/v1/pages/wait?timeout=60000"));
        ASSERT_TRUE(program.running());
    }
    // A second request on a connection that waits answers the wait first, then itself.
    LineClient both(api);
    ASSERT_TRUE(sendHttp(both, "GET", "/api/v1/pages/wait?timeout=60000"));
    ASSERT_TRUE(sendHttp(both, "GET", "/api/v1/status"));
    EXPECT_EQ(json(readHttp(both))["pages"].toArray(), QJsonArray());
    EXPECT_EQ(json(readHttp(both))["api_port"].toInt(), api);

    LineClient client(program.port());
    ASSERT_NO_FATAL_FAILURE(dialsAndLogsOn(client));
    ASSERT_TRUE(client.send(Block));
    ASSERT_EQ(client.receive("\r", 3'000), QByteArray("\x06\r"));
    EXPECT_EQ(json(get("status"))["records"].toObject()["last_page"].toInt(), 1);
    ASSERT_TRUE(program.terminate());
}

TEST_F(ApiTest, AConnectionPastTheLimitGets503AndTheOthersGoOn)
{
    std::vector<std::unique_ptr<LineClient>> open;
    for (int i = 0; i < 64; ++i) {
        open.push_back(std::make_unique<LineClient>(api));
        ASSERT_TRUE(open.back()->connected());
    }
    ASSERT_TRUE(sendHttp(*open.back(), "GET", "/api/v1/faults"));
    EXPECT_EQ(readHttp(*open.back()).status, 200);
    LineClient extra(api);
    ASSERT_TRUE(sendHttp(extra, "GET", "/api/v1/status"));
    const HttpReply refused = readHttp(extra);
    EXPECT_EQ(refused.status, 503);
    EXPECT_TRUE(refused.body.contains("too many connections")) << refused.body.toStdString();
    // A connection let go makes room again, once the program has seen it go.
    open.front()->close();
    int status = 0;
    const auto deadline = SteadyClock::now() + std::chrono::seconds(3);
    while (status != 200 && SteadyClock::now() < deadline)
        status = get("status").status;
    EXPECT_EQ(status, 200);
}

// Each request is read as it comes, before it is served: one that may not be served gets its
// own status and the connection ends; bounds count each request alone, so pipelined requests
// are all answered; HTTP/1.0 and "Connection: close" end the connection after the answer; a
// request that does not come whole within 10 s gets 408; long polls do not count against the
// 64 connections, only against their own 256.
TEST_F(ApiTest, EachRequestIsReadStrictlyAndOnItsOwnAndSlowOrParkedOnesHoldNoSlot)
{
    // A head that never ends, one byte at first: its deadline runs while the rest goes on.
    LineClient slow(api);
    ASSERT_TRUE(slow.send("G"));
    const auto slowSince = SteadyClock::now();
    struct Case {
        QByteArray request;
        int status;
        const char* error; // in the body; nullptr: none (HEAD)
    };
    const QByteArray host = "Host: 127.0.0.1\r\n";
    const Case cases[] = {
        { "GET /api/v1/status HTTP/9.9\r\n\r\n", 505, "only HTTP/1.1 and HTTP/1.0" },
        { "GET /api/v1/status\r\n\r\n", 400, "request line is not METHOD /path HTTP/1.1" },
        { "GET api/v1/status HTTP/1.1\r\n\r\n", 400, "request line is not" },
        { "HEAD /api/v1/status HTTP/1.1\r\n" + host + "\r\n", 405, nullptr },
        { "PUT /api/v1/faults HTTP/1.1\r\nContent-Length: abc\r\n\r\n{}", 400,
          "not a decimal number" },
        { "PUT /api/v1/faults HTTP/1.1\r\nContent-Length: -5\r\n\r\n{}", 400,
          "not a decimal number" },
        { "PUT /api/v1/faults HTTP/1.1\r\nContent-Length: 99999999999999999999\r\n\r\n", 413,
          "larger than 64 KiB" },
        { "PUT /api/v1/faults HTTP/1.1\r\nContent-Length: 2\r\nContent-Length: 2\r\n\r\n{}", 400,
          "more than one Content-Length" },
        { "PUT /api/v1/faults HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n2\r\n{}\r\n0\r\n\r\n",
          501, "send a Content-Length" },
        { "GET /api/v1/status HTTP/1.1\r\nX: a\r\n folded\r\n\r\n", 400, "folded" },
        { "GET /api/v1/status HTTP/1.1\r\nNo colon here\r\n\r\n", 400, "'Name: value'" },
        { "GET /api/v1/status HTTP/1.1\r\n" + QByteArray("X: y\r\n").repeated(101) + "\r\n", 431,
          "more than 100 header fields" },
        { "GET /api/v1/status HTTP/1.1\r\nX: " + QByteArray(17 * 1024, 'a') + "\r\n\r\n", 431,
          "head is larger than 16 KiB" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request.left(60).toStdString());
        LineClient client(api);
        ASSERT_TRUE(client.send(c.request.toStdString()));
        const HttpReply reply = readHttp(client);
        EXPECT_EQ(reply.status, c.status) << reply.head.toStdString();
        if (c.error != nullptr)
            EXPECT_TRUE(reply.body.contains(c.error)) << reply.body.toStdString();
        else
            EXPECT_TRUE(reply.body.isEmpty()) << reply.body.toStdString();
        client.quietFor(1'500);
        EXPECT_TRUE(client.peerClosed()) << "the connection ends after a refusal";
    }
    EXPECT_FALSE(json(get("faults"))["nak"].toBool()) << "nothing refused changed anything";

    // 3,000 requests in one write, each answered in turn.
    {
        LineClient client(api);
        const QByteArray one = "GET /api/v1/faults HTTP/1.1\r\n" + host + "\r\n";
        ASSERT_TRUE(client.send(one.repeated(3'000).toStdString()));
        int answered = 0;
        for (; answered < 3'000; ++answered) {
            if (readHttp(client).status != 200)
                break;
        }
        EXPECT_EQ(answered, 3'000);
    }
    // Asked to close after the answer: answered, then closed at once.
    for (const QByteArray& request :
         { QByteArray("GET /api/v1/status HTTP/1.0\r\n\r\n"),
           "GET /api/v1/status HTTP/1.1\r\n" + host + "Connection: close\r\n\r\n" }) {
        SCOPED_TRACE(request.toStdString());
        LineClient client(api);
        ASSERT_TRUE(client.send(request.toStdString()));
        EXPECT_EQ(readHttp(client).status, 200);
        client.quietFor(500);
        EXPECT_TRUE(client.peerClosed());
    }

    // 256 long polls, four times the connection bound: the API still answers beside them, and
    // one more wait is refused.
    std::vector<std::unique_ptr<LineClient>> waits;
    for (int i = 0; i < 256; ++i) {
        waits.push_back(std::make_unique<LineClient>(api));
        ASSERT_TRUE(sendHttp(*waits.back(), "GET", "/api/v1/pages/wait?timeout=30000"));
        // Parked before the next comes, so that no more than 64 are ever unparked.
        if (i % 32 == 31) {
            ASSERT_EQ(get("status").status, 200) << i;
        }
    }
    EXPECT_EQ(get("status").status, 200);
    LineClient oneMore(api);
    ASSERT_TRUE(sendHttp(oneMore, "GET", "/api/v1/pages/wait?timeout=30000"));
    const HttpReply refused = readHttp(oneMore);
    EXPECT_EQ(refused.status, 503);
    EXPECT_TRUE(refused.body.contains("too many long polls open (at most 256)"));
    waits.clear();

    // The slow head's end: 408 about 10 s after its first byte.
    const HttpReply late = readHttp(slow, 15'000);
    EXPECT_EQ(late.status, 408);
    EXPECT_TRUE(late.body.contains("did not come whole within 10 s"));
    EXPECT_GE(msBetween(slowSince, SteadyClock::now()), 9'000);
}

// A browser made to send a request by a page of another site: a name rebound to this address, a
// page of another origin, a change as a form or plain text. Each is refused and changes nothing;
// what this machine's own page and programs send goes through.
TEST_F(ApiTest, ARequestABrowserIsMadeToSendFromAnotherSiteIsRefused)
{
    const QByteArray port = QByteArray::number(api);
    const QByteArray here = "Host: 127.0.0.1:" + port + "\r\n";
    const QByteArray jsonBody = "Content-Type: application/json\r\n";
    struct Case {
        QByteArray request; // the request line and headers, without the blank line
        QByteArray body;
        int status;
        const char* error;
    };
    const Case cases[] = {
        { "GET /api/v1/status HTTP/1.1\r\nHost: rebind.attacker.example:" + port,
          {},
          403,
          "Host 'rebind.attacker.example:" },
        { "PUT /api/v1/faults HTTP/1.1\r\nHost: rebind.attacker.example\r\n" + jsonBody.trimmed(),
          R"({"nak": true})", 403, "open http://127.0.0.1:" },
        { "DELETE /api/v1/plan HTTP/1.1\r\nHost: 192.0.2.7:" + port, {}, 403, "not this machine" },
        { "GET /api/v1/status HTTP/1.1\r\n" + here + here.trimmed(),
          {},
          400,
          "more than one Host header" },
        { "PUT /api/v1/faults HTTP/1.1\r\n" + here + jsonBody + "Origin: http://evil.example",
          R"({"nak": true})", 403, "another origin ('http://evil.example')" },
        { "GET /api/v1/pages HTTP/1.1\r\n" + here + "Origin: null", {}, 403, "another origin" },
        { "OPTIONS /api/v1/faults HTTP/1.1\r\n" + here + "Origin: http://evil.example\r\n"
              + "Access-Control-Request-Method: PUT",
          {},
          403,
          "another origin" },
        { "PUT /api/v1/faults HTTP/1.1\r\n" + here
              + "Content-Type: application/x-www-form-urlencoded",
          R"({"nak": true})", 415, "Content-Type: application/json" },
        { "PUT /api/v1/plan HTTP/1.1\r\n" + here + "Content-Type: text/plain",
          R"({"dial": ["busy"]})", 415, "a change needs a JSON body" },
        { "PUT /api/v1/faults HTTP/1.1\r\n" + here.trimmed(), R"({"nak": true})", 415,
          "a change needs a JSON body" },
        { "POST /api/v1/suite/restart HTTP/1.1\r\n" + here + "Content-Type: text/plain", "{}", 415,
          "a change needs a JSON body" },
        // This machine's own: its names and addresses, the page's own origin, JSON with a charset.
        { "PUT /api/v1/faults HTTP/1.1\r\nHost: localhost:" + port + "\r\nOrigin: http://localhost:"
              + port + "\r\nContent-Type: Application/JSON; charset=utf-8",
          R"({"rej": false})", 200, nullptr },
        { "GET /api/v1/status HTTP/1.1\r\nHost: [::1]:" + port, {}, 200, nullptr },
        { "GET /api/v1/status HTTP/1.1\r\nHost: LOCALHOST", {}, 200, nullptr },
        { "GET /api/v1/status HTTP/1.1", {}, 200, nullptr },
    };
    const QByteArray before = get("status").body;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request.toStdString());
        LineClient client(api);
        QByteArray request = c.request + "\r\n";
        if (!c.body.isEmpty())
            request += "Content-Length: " + QByteArray::number(c.body.size()) + "\r\n";
        ASSERT_TRUE(client.send((request + "\r\n" + c.body).toStdString()));
        const HttpReply reply = readHttp(client);
        EXPECT_EQ(reply.status, c.status) << reply.head.toStdString() << reply.body.toStdString();
        if (c.error != nullptr) {
            EXPECT_TRUE(reply.body.contains(c.error)) << reply.body.toStdString();
        }
        // No answer lets another origin read it.
        EXPECT_FALSE(reply.head.toLower().contains("access-control-")) << reply.head.toStdString();
    }
    QJsonObject after = json(get("status"));
    QJsonObject was = QJsonDocument::fromJson(before).object();
    for (const char* key : { "faults", "plan", "profiles" })
        EXPECT_EQ(after[key], was[key]) << key;

    // The page itself: only its own script and style, never inside another site's page.
    const HttpReply page = http(api, "GET", "/");
    ASSERT_EQ(page.status, 200);
    EXPECT_TRUE(page.head.contains("Content-Type: text/html; charset=utf-8"));
    EXPECT_TRUE(page.head.contains("frame-ancestors 'none'"));
    EXPECT_TRUE(page.head.contains("X-Frame-Options: DENY"));
    EXPECT_TRUE(page.body.contains("<script src=\"/page.js\""));
    EXPECT_TRUE(http(api, "GET", "/page.js").head.contains("text/javascript"));
    EXPECT_EQ(http(api, "POST", "/", "{}").status, 405);
}

// The status's long poll answers as soon as something it tells changes (a fault set elsewhere, a
// call coming on) and at its time-out otherwise; the call on the line has its timeline so far.
TEST_F(ApiTest, TheStatusWaitAnswersAChangeAndACallOnTheLineHasItsTimeline)
{
    const long change = json(get("status"))["change"].toInteger();
    auto start = SteadyClock::now();
    const QJsonObject same = json(get("status/wait?timeout=300"));
    EXPECT_GE(msBetween(start, SteadyClock::now()), 290.0);
    EXPECT_EQ(same["change"].toInteger(), change);

    LineClient watcher(api);
    ASSERT_TRUE(
        sendHttp(watcher, "GET",
                 "/api/v1/status/wait?since=" + QByteArray::number(change) + "&timeout=10000"));
    start = SteadyClock::now();
    put("faults", R"({"rej": true})");
    const QJsonObject changed = json(readHttp(watcher));
    EXPECT_LT(msBetween(start, SteadyClock::now()), 1000.0);
    EXPECT_GT(changed["change"].toInteger(), change);
    EXPECT_EQ(changed["faults"].toObject()["rej"], true);
    put("faults", R"({"rej": false})");

    LineClient client(program.port());
    ASSERT_NO_FATAL_FAILURE(dialsAndLogsOn(client));
    const QJsonObject on = json(get("status"));
    const QJsonObject busy = on["busy"].toArray().at(0).toObject();
    const long call = busy["call"].toInteger();
    ASSERT_GT(call, 0) << QJsonDocument(on).toJson().toStdString();
    const HttpReply svg = get("calls/" + QByteArray::number(call) + "/timeline.svg");
    EXPECT_EQ(svg.status, 200) << svg.body.toStdString();
    EXPECT_TRUE(svg.body.startsWith("<svg") && svg.body.contains("ATDT5551234")
                && svg.body.contains("still on at "))
        << svg.body.left(300).toStdString();
    EXPECT_EQ(get("calls/" + QByteArray::number(call + 1) + "/timeline.svg").status, 404);
}

// Anyone who can reach a port bound beyond this machine can steer the simulator: it says so.
TEST(ApiStart, ABindBeyondLoopbackIsWarnedOf)
{
    Program open(console({ QStringLiteral("--api"), QStringLiteral("0"),
                           QStringLiteral("--api-bind"), QStringLiteral("0.0.0.0") }));
    ASSERT_NE(open.waitForApiPort(), 0) << open.report();
    const auto deadline = SteadyClock::now() + std::chrono::seconds(5);
    while (!open.err_.contains("anyone who can reach") && SteadyClock::now() < deadline) {
        open.process_.waitForReadyRead(20);
        open.readAll();
    }
    EXPECT_TRUE(open.err_.contains("warning: the control API listens on 0.0.0.0 port "))
        << open.report();
    Program local(console({ QStringLiteral("--api"), QStringLiteral("0") }));
    ASSERT_NE(local.waitForApiPort(), 0);
    ASSERT_TRUE(local.terminate()) << local.report();
    EXPECT_FALSE(local.err_.contains("warning")) << local.report();
}

TEST(ApiStart, APortThatCannotBeOpenedEndsTheProgram)
{
    Program first(console({ QStringLiteral("--api"), QStringLiteral("0") }));
    ASSERT_TRUE(listens(first));
    const quint16 taken = first.waitForApiPort();
    ASSERT_NE(taken, 0);
    Program second(console({ QStringLiteral("--api"), QString::number(taken) }));
    ASSERT_TRUE(second.finish(10'000)) << second.report();
    EXPECT_EQ(second.process_.exitCode(), 1);
    EXPECT_TRUE(second.err_.contains("cannot serve the control API on 127.0.0.1 port "))
        << second.report();
}

} // namespace
