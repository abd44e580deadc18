// SPDX-License-Identifier: MIT
// One whole call over real TCP on the real timers, as a paging client lives it: modem, dial,
// logon, blocks, EOT. The banner is watched rotating meanwhile, and the pages and the call land
// in the Pages tab and its records.
#include "AppSupport.h"
#include "qt/PagesModel.h"
#include "support/Fakes.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QRegularExpression>
#include <QTableView>
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

    // A message with a control character and an eight-bit one, as the Pages tab shows them.
    const QByteArray cafe = QByteArray::fromStdString(test::blockWithChecksum("\x02"
                                                                              "5678\rHello\x07"
                                                                              "caf\xe9\r\x03"));
    client.send(cafe);
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
        QStringLiteral("  DP: Returning IDentify"),
        QStringLiteral("  DP: Returning LOGONOK"),
        QStringLiteral("  DP: Rxd STX pkt:") + shown(cafe.toStdString()),
        QStringLiteral("  DP: Sending ACK"),
        QStringLiteral("  DP: Rxd STX pkt:") + block,
        QStringLiteral("  DP: Sending NAK"),
        QStringLiteral("  DP: Rxd EOT pkt"),
        QStringLiteral("  DP: EOT detected"),
    };
    EXPECT_EQ(pet.mid(pet.size() - expected.size()), expected) << pet.join(u'\n').toStdString();

    // Over the call's dozen seconds the banner went 1, 2, 3, 4, 0, 1, ... from its design caption.
    const auto& texts = window->sim().banner().texts();
    const QStringList seen = banner.shown();
    ASSERT_GE(seen.size(), 7) << seen.join(u'|').toStdString();
    for (qsizetype i = 1; i < seen.size(); ++i)
        EXPECT_EQ(seen[i], QString::fromStdString(texts[static_cast<std::size_t>(i % 5)]))
            << "change " << i;

    // The Pages tab, newest first: the NAKed block, then the ACKed one.
    auto* table = child<QTableView>(*window, "tblPages");
    ASSERT_EQ(table->model()->rowCount(), 2);
    const auto cell
        = [&](int row, int column) { return table->model()->index(row, column).data().toString(); };
    const QRegularExpression timeOfDay(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d$"));
    EXPECT_TRUE(timeOfDay.match(cell(1, PagesModel::Time)).hasMatch())
        << cell(1, PagesModel::Time).toStdString();
    EXPECT_EQ(cell(1, PagesModel::Call), QStringLiteral("1"));
    EXPECT_EQ(cell(1, PagesModel::Pager), QStringLiteral("5678"));
    EXPECT_EQ(cell(1, PagesModel::Message), QStringLiteral(u"Hello<BEL>caf\u00e9"));
    EXPECT_EQ(cell(1, PagesModel::Reply), QStringLiteral("ACK"));
    EXPECT_EQ(cell(1, PagesModel::Reason), QStringLiteral("good"));
    EXPECT_EQ(cell(0, PagesModel::Pager), QStringLiteral("123"));
    EXPECT_EQ(cell(0, PagesModel::Reply), QStringLiteral("NAK"));

    // The call's record once the client hangs up.
    client.disconnectFromHost();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->pagesModel().callCount() == 1; }, 3000));
    const std::string lines = window->pagesModel().jsonLines();
    const QJsonObject call
        = QJsonDocument::fromJson(
              QByteArray::fromStdString(lines.substr(lines.rfind('\n', lines.size() - 2) + 1)))
              .object();
    EXPECT_EQ(call[QStringLiteral("type")].toString(), QStringLiteral("call"));
    EXPECT_EQ(call[QStringLiteral("ended")].toString(), QStringLiteral("eot"));
    EXPECT_EQ(call[QStringLiteral("pages")][QStringLiteral("ACK")].toInt(), 1);
    EXPECT_EQ(call[QStringLiteral("pages")][QStringLiteral("NAK")].toInt(), 1);
}
