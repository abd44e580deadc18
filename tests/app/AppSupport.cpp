// SPDX-License-Identifier: MIT
#include "AppSupport.h"

#include "qt/LogDisplay.h"

#include <QDateTime>
#include <QListWidget>
#include <QTest>

namespace ostrella::apptest {

std::unique_ptr<frmHarnwick> openWindow(const std::string& portArgument, int lines)
{
    auto window
        = std::make_unique<frmHarnwick>(frmHarnwick::Options { portArgument, false, lines });
    window->show();
    return window;
}

std::int64_t localMs(int hour, int minute, int second, int ms)
{
    return QDateTime(QDate(2026, 12, 8), QTime(hour, minute, second, ms)).toMSecsSinceEpoch();
}

FindingRecord finding(long seq, const std::string& rule, const std::string& level, long call,
                      const std::string& evidence)
{
    FindingRecord f;
    f.seq = seq;
    f.call = call;
    f.time = localMs(9, 5, 2, 40);
    f.rule = rule;
    f.level = level;
    f.ref = "TAP 1.8 " + rule;
    f.text = "text of " + rule;
    f.evidence = evidence;
    return f;
}

QTimer& engineTimer(frmHarnwick& window)
{
    return *child<QTimer>(window, "tmrDummyPkts");
}

PageRecord page(long seq, const std::string& pager, const std::string& message)
{
    PageRecord p;
    p.seq = seq;
    p.call = 1;
    p.time = localMs(9, 5, 1, 23);
    p.caller = "127.0.0.1";
    p.pager = pager;
    p.message = message;
    p.fields = { pager, message };
    p.checksumSent = "17;";
    p.checksumComputed = "17;";
    p.reply = "ACK";
    p.reason = "good";
    return p;
}

int portOf(frmHarnwick& window)
{
    return std::stoi(window.host().port());
}

QString versionWord()
{
    return QStringLiteral("V%1.%2(%3)")
        .arg(OSTRELLA_VERSION_MAJOR)
        .arg(OSTRELLA_VERSION_MINOR)
        .arg(OSTRELLA_VERSION_REVISION);
}

QStringList logTexts(const QListWidget& list)
{
    // "hh:mm:ss" " : " the (empty) source " " and then the text.
    constexpr int StampLength = 12;
    QStringList texts;
    for (int row = list.count() - 1; row >= 0; --row)
        texts << list.item(row)->text().mid(StampLength);
    return texts;
}

QStringList systemLog(frmHarnwick& window)
{
    return logTexts(*window.findChild<QListWidget*>(QStringLiteral("lbxSystemLog")));
}

QStringList petLog(frmHarnwick& window)
{
    return logTexts(*window.findChild<QListWidget*>(QStringLiteral("lbxPETLOG")));
}

bool waitForSystemLine(frmHarnwick& window, const QString& text, int timeoutMs)
{
    return QTest::qWaitFor([&] { return systemLog(window).contains(text); }, timeoutMs);
}

bool waitForPetLine(frmHarnwick& window, const QString& text, int timeoutMs)
{
    return QTest::qWaitFor([&] { return petLog(window).contains(text); }, timeoutMs);
}

QString shown(const std::string& bytes)
{
    return displayText(bytes);
}

Client::Client()
{
    connect(&socket_, &QTcpSocket::readyRead, this, [this] { received_ += socket_.readAll(); });
}

bool Client::connectTo(int port, int timeoutMs)
{
    socket_.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
    return socket_.waitForConnected(timeoutMs);
}

void Client::send(const QByteArray& bytes)
{
    socket_.write(bytes);
    socket_.flush();
}

QByteArray Client::receive(const QByteArray& expected, int timeoutMs)
{
    (void)QTest::qWaitFor([&] { return received_.contains(expected); }, timeoutMs);
    return std::exchange(received_, QByteArray());
}

bool Client::waitDisconnected(int timeoutMs)
{
    return QTest::qWaitFor([&] { return socket_.state() == QAbstractSocket::UnconnectedState; },
                           timeoutMs);
}

void Client::disconnectFromHost()
{
    socket_.disconnectFromHost();
}

} // namespace ostrella::apptest
