// SPDX-License-Identifier: MIT
// A bank of lines in a real run: twenty callers at once, each on its own line, all get CONNECT
// and an ACK for their block; the twenty-first is refused with its log line; a caller that hangs
// up and calls again at once gets its line, even with hundreds of other lines' bytes waiting.
#include "support/ProcessAssertions.h"
#include "support/ProcessHarness.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace ostrella::harness;

constexpr int Lines = 20;

// Sends `bytes` on every client, then waits for `expected` from each.
void everyClient(std::vector<std::unique_ptr<LineClient>>& clients, const std::string& bytes,
                 const QByteArray& expected, int ms)
{
    for (auto& c : clients)
        ASSERT_TRUE(c->send(bytes));
    for (std::size_t i = 0; i < clients.size(); ++i)
        ASSERT_TRUE(clients[i]->receive(expected, ms).endsWith(expected)) << "client " << i;
}

} // namespace

TEST(BankOfLines, TwentyCallersAtOnceEachGetTheirCallAndTheNextIsRefused)
{
    Program program(console({ QStringLiteral("--lines"), QString::number(Lines),
                              QStringLiteral("--api"), QStringLiteral("0") }));
    ASSERT_TRUE(listens(program));
    const quint16 api = program.waitForApiPort();
    ASSERT_NE(api, 0) << program.report();
    std::vector<std::unique_ptr<LineClient>> clients;
    for (int i = 0; i < Lines; ++i) {
        clients.push_back(std::make_unique<LineClient>(program.port()));
        ASSERT_TRUE(clients.back()->connected());
    }
    ASSERT_TRUE(program.waitForOutput("L20 Event: Connect request id = 20 from <127.0.0.1>"))
        << program.report();

    LineClient refused(program.port());
    refused.receive("never", 3'000);
    EXPECT_TRUE(refused.peerClosed());
    EXPECT_TRUE(program.waitForOutput("Event: all 20 lines busy, refused <127.0.0.1>"));

    for (auto& c : clients)
        ASSERT_TRUE(c->send("ATDT5551234\r"));
    // The API names the state of every busy line while they dial, not only line 1's.
    QJsonObject status;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (std::chrono::steady_clock::now() < deadline) {
        status = QJsonDocument::fromJson(http(api, "GET", "/api/v1/status").body).object();
        const QJsonArray lines = status["busy"].toArray();
        if (std::all_of(lines.begin(), lines.end(), [](const QJsonValue& l) {
                return l.toObject()["state"] == QStringLiteral("WAITCONNECT");
            }))
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(status["busy_lines"].toInt(), Lines);
    const QJsonArray busy = status["busy"].toArray();
    ASSERT_EQ(busy.size(), Lines);
    for (int i = 0; i < Lines; ++i) {
        EXPECT_EQ(busy[i].toObject()["line"].toInt(), i + 1);
        EXPECT_EQ(busy[i].toObject()["state"].toString(), QStringLiteral("WAITCONNECT")) << i;
    }
    for (std::size_t i = 0; i < clients.size(); ++i)
        ASSERT_TRUE(clients[i]->receive("CONNECT\r\n", 13'000).endsWith("CONNECT\r\n")) << i;
    ASSERT_NO_FATAL_FAILURE(everyClient(clients, "\r", "ID=\r\n", 5'000));
    ASSERT_NO_FATAL_FAILURE(everyClient(clients, "\x1bPG1000000\r", "\x1b[p\r", 3'000));
    ASSERT_NO_FATAL_FAILURE(everyClient(clients,
                                        "\x02"
                                        "123\rABC\r\x03"
                                        "17;\r",
                                        "\x06\r", 3'000));
    // Each line's page record names its line.
    for (int line = 1; line <= Lines; ++line)
        EXPECT_TRUE(program.waitForOutput(" : L" + QByteArray::number(line) + " #", 3'000)) << line;
    EXPECT_EQ(program.countOf("PAGE "), Lines);

    // A freed line takes the next caller.
    clients[3]->close();
    ASSERT_TRUE(program.waitForOutput("CALL ", 3'000));
    LineClient next(program.port());
    EXPECT_TRUE(program.waitForOutput("L4 Event: Connect request id = 22 from <127.0.0.1>"))
        << program.report();
    // A caller that hangs up and calls again at once is heard hanging up first: its line is free.
    clients[4]->close();
    LineClient again(program.port());
    EXPECT_TRUE(program.waitForOutput("L5 Event: Connect request id = 23 from <127.0.0.1>"))
        << program.report();
    EXPECT_EQ(program.countOf("lines busy"), 1);
    ASSERT_TRUE(program.terminate());
}

TEST(BankOfLines, ACallerWhoRedialsWhileHundredsOfLinesHaveBytesWaitingGetsItsLine)
{
    // More lines with bytes waiting than the program takes from the system at one look.
    constexpr int Many = 600;
    Program program(console({ QStringLiteral("--lines"), QString::number(Many) }));
    ASSERT_TRUE(listens(program));
    std::vector<std::unique_ptr<LineClient>> clients;
    for (int i = 0; i < Many; ++i) {
        clients.push_back(std::make_unique<LineClient>(program.port()));
        ASSERT_TRUE(clients.back()->connected());
    }
    ASSERT_TRUE(program.waitForOutput("L600 Event: Connect request id = 600 from <127.0.0.1>"))
        << program.report();
    // While the program is held, every other line's AT arrives, then the last caller hangs up and
    // dials again: its hang-up is the last of 600 things waiting when its new call is taken.
    ::kill(static_cast<pid_t>(program.pid()), SIGSTOP);
    for (int i = 0; i + 1 < Many; ++i)
        ASSERT_TRUE(clients[static_cast<std::size_t>(i)]->send("AT\r"));
    clients.back()->close();
    LineClient again(program.port());
    ::kill(static_cast<pid_t>(program.pid()), SIGCONT);
    EXPECT_TRUE(program.waitForOutput("L600 Event: Connect request id = 601 from <127.0.0.1>"))
        << program.report();
    for (int i = 0; i + 1 < Many; ++i)
        ASSERT_TRUE(
            clients[static_cast<std::size_t>(i)]->receive("OK\r\n", 3'000).endsWith("OK\r\n"))
            << "client " << i;
    EXPECT_EQ(program.countOf("lines busy"), 0);
    ASSERT_TRUE(program.terminate());
}
