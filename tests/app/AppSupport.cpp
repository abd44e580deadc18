// SPDX-License-Identifier: MIT
#include "AppSupport.h"

#include "qt/LogDisplay.h"

#include <QListWidget>
#include <QTest>

namespace ostrella::apptest {

std::unique_ptr<frmHarnwick> openWindow(const std::string& portArgument)
{
    auto window = std::make_unique<frmHarnwick>(frmHarnwick::Options { portArgument, false });
    window->show();
    return window;
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
