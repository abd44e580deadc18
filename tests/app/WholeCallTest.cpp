// SPDX-License-Identifier: MIT
// One whole call over real TCP on the real timers, as a paging client lives it: modem, dial,
// logon, blocks, EOT. The banner is watched rotating meanwhile.
#include "AppSupport.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace ostrella;
using namespace ostrella::apptest;

namespace {

// Every text the banner label shows, in order, sampled far more often than it changes.
class BannerWatch {
public:
    explicit BannerWatch(const QLabel& label)
        : label_(label)
    {
        sample();
        QObject::connect(&poll_, &QTimer::timeout, [this] { sample(); });
        poll_.start(20);
    }
    const QStringList& shown() const { return shown_; }

private:
    void sample()
    {
        if (shown_.isEmpty() || shown_.last() != label_.text())
            shown_ << label_.text();
    }

    const QLabel& label_;
    QTimer poll_;
    QStringList shown_;
};

const QByteArray Block("\x02"
                       "123\rABC\r\x03"
                       "17;\r");

} // namespace

TEST(WholeCallOverTcp, ModemDialLogonBlocksAndEotOnRealTimers)
{
    const auto window = openWindow("0");
    const int port = portOf(*window);
    BannerWatch banner(*window->findChild<QLabel*>(QStringLiteral("lbMainFormBanner")));
    Client client;
    ASSERT_TRUE(client.connectTo(port));

    client.send("AT\r");
    EXPECT_EQ(client.receive("OK\r\n"), QByteArray("OK\r\n"));

    QElapsedTimer dial;
    dial.start();
    client.send("ATDT5551234\r");
    ASSERT_EQ(client.receive("CONNECT\r\n", 13000), QByteArray("CONNECT\r\n"));
    EXPECT_GE(dial.elapsed(), 9900) << "the modem connects after 10 s";
    EXPECT_LE(dial.elapsed(), 12500);

    client.send("\r");
    ASSERT_EQ(client.receive("ID=\r\n", 5000), QByteArray("ID=\r\n"));
    client.send("\x1bPG1"
                "000000\r");
    ASSERT_EQ(client.receive("\x1b[p\r", 5000), QByteArray("\x06\r\x1b[p\r"));

    client.send(Block);
    EXPECT_EQ(client.receive("\x06\r", 5000), QByteArray("\x06\r"));

    window->findChild<QCheckBox*>(QStringLiteral("chkNAK"))->setChecked(true);
    client.send(Block);
    EXPECT_EQ(client.receive("\x15\r", 5000), QByteArray("\x15\r")) << "NAK as the box says";
    window->findChild<QCheckBox*>(QStringLiteral("chkNAK"))->setChecked(false);

    client.send("\x04\r");
    ASSERT_TRUE(waitForPetLine(*window, QStringLiteral("  DP: EOT detected"), 5000));
    EXPECT_EQ(client.pending(), QByteArray()) << "EOT gets no answer";
    EXPECT_EQ(window->sim().lineAt(0).state(), LineState::MODEM);

    const QStringList pet = petLog(*window);
    const QString block = shown(Block.toStdString());
    const QStringList expected {
        QStringLiteral("  DP: Returning IDentify"),   QStringLiteral("  DP: Returning LOGONOK"),
        QStringLiteral("  DP: Rxd STX pkt:") + block, QStringLiteral("  DP: Sending ACK"),
        QStringLiteral("  DP: Rxd STX pkt:") + block, QStringLiteral("  DP: Sending NAK"),
        QStringLiteral("  DP: Rxd EOT pkt"),          QStringLiteral("  DP: EOT detected"),
    };
    EXPECT_EQ(pet.mid(pet.size() - expected.size()), expected) << pet.join(u'\n').toStdString();

    // Over the call's dozen seconds the banner went 1, 2, 3, 4, 0, 1, ... from its design caption.
    const auto& texts = window->sim().banner().texts();
    const QStringList seen = banner.shown();
    ASSERT_GE(seen.size(), 7) << seen.join(u'|').toStdString();
    for (qsizetype i = 1; i < seen.size(); ++i)
        EXPECT_EQ(seen[i], QString::fromStdString(texts[static_cast<std::size_t>(i % 5)]))
            << "change " << i;
}
