// SPDX-License-Identifier: MIT
// Console mode's log under a steady load: every line written as it happens, stamped with the time
// of its event, none lost; and a large piece logged whole.
#include "StressSupport.h"

#include <QRegularExpression>
#include <chrono>
#include <ctime>
#include <map>

using namespace ostrella::stress;

namespace {

// Seconds after local midnight of a wall-clock time.
int secondOfDay(std::chrono::system_clock::time_point t)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(t);
    std::tm local {};
    localtime_r(&seconds, &local);
    return local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
}

// The received pieces the console logged, with their stamps: "SYS hh:mm:ss :  Event: <ip> Data
// Pkt Rxd <text>".
std::vector<std::pair<int, QByteArray>> receivedLines(const QByteArray& output)
{
    static const QRegularExpression line(
        QStringLiteral("^SYS (\\d\\d):(\\d\\d):(\\d\\d) :  Event: <[^>]*> Data Pkt Rxd <(.*)>$"),
        QRegularExpression::MultilineOption);
    std::vector<std::pair<int, QByteArray>> out;
    auto it = line.globalMatch(QString::fromUtf8(output));
    while (it.hasNext()) {
        const auto m = it.next();
        out.emplace_back(m.captured(1).toInt() * 3600 + m.captured(2).toInt() * 60
                             + m.captured(3).toInt(),
                         m.captured(4).toUtf8());
    }
    return out;
}

} // namespace

// 40 small packets a second for 20 s: each one is logged, stamped at most a second after it was
// sent (the stamp has whole seconds).
TEST_F(StressTest, ASteadyLoadLosesNoConsoleLineAndStampsEachWhenItHappens)
{
    constexpr int Packets = 800;
    constexpr int EveryMs = 25;
    LineClient client(port);
    ASSERT_TRUE(client.connected());
    std::vector<int> sentAt;
    auto due = std::chrono::steady_clock::now();
    for (int i = 0; i < Packets; ++i) {
        while (std::chrono::steady_clock::now() < due)
            client.pump(false, 1);
        char packet[16];
        std::snprintf(packet, sizeof packet, "P%04d\r", i);
        sentAt.push_back(secondOfDay(std::chrono::system_clock::now()));
        ASSERT_TRUE(client.send(packet));
        due += std::chrono::milliseconds(EveryMs);
    }
    const QByteArray lastPacket
        = QByteArray::number(Packets - 1).rightJustified(4, '0').prepend('P') + "<CR>";
    ASSERT_TRUE(program->waitForOutput(lastPacket, 5'000)) << program->report();

    std::map<int, int> stampOf;
    int late = 0;
    for (const auto& [stamp, text] : receivedLines(program->readAll())) {
        static const QRegularExpression packet(QStringLiteral("P(\\d{4})<CR>"));
        auto it = packet.globalMatch(QString::fromUtf8(text));
        while (it.hasNext()) {
            const int id = it.next().captured(1).toInt();
            EXPECT_EQ(stampOf.count(id), 0U) << "packet " << id << " logged twice";
            stampOf[id] = stamp;
        }
    }
    for (int i = 0; i < Packets; ++i) {
        ASSERT_EQ(stampOf.count(i), 1U) << "packet " << i << " was not logged";
        const int lateness = (stampOf[i] - sentAt[static_cast<std::size_t>(i)] + 86400) % 86400;
        if (lateness > 1)
            ++late;
    }
    EXPECT_EQ(late, 0) << "lines stamped more than a second after their packet";
    EXPECT_FALSE(program->out_.contains("lines dropped"));
}

// A piece of 60,000 bytes is logged whole, not cut for display.
TEST_F(StressTest, ALargePieceIsLoggedWhole)
{
    LineClient client(port);
    ASSERT_TRUE(client.connected());
    std::string piece(60'000, 'y');
    piece += '!';
    ASSERT_TRUE(client.send(piece));
    ASSERT_TRUE(program->waitForOutput("y!>", 5'000)) << "the piece's end is logged";
    qsizetype ys = 0;
    for (const auto& [stamp, text] : receivedLines(program->readAll()))
        ys += text.count('y');
    EXPECT_EQ(ys, 60'000);
    EXPECT_FALSE(program->out_.contains("bytes)")) << "no line cut for display";
}
