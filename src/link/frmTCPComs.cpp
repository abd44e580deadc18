// SPDX-License-Identifier: MIT
#include "link/frmTCPComs.h"

#include "link/LineLink.h"

#include <QHostAddress>
#include <QNetworkInterface>
#include <QTcpServer>
#include <QTimer>

namespace ostrella {

namespace {

// IPv4 peers of a dual-stack listener arrive as "::ffff:a.b.c.d"; show them as "a.b.c.d".
std::string plainAddress(const QHostAddress& address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return (isV4 ? QHostAddress(v4) : address).toString().toStdString();
}

} // namespace

frmTCPComs::frmTCPComs(QObject* parent)
    : QObject(parent)
    , server_(new QTcpServer(this))
    , ComTimer_(new QTimer(this))
{
    setObjectName(QStringLiteral("frmTCPComs"));
    ComTimer_->setObjectName(QStringLiteral("ComTimer"));
    connect(server_, &QTcpServer::newConnection, this, &frmTCPComs::onNewConnection);
}

frmTCPComs::~frmTCPComs()
{
    link_ = nullptr;
    Form_Unload();
}

void frmTCPComs::Form_Unload()
{
    if (link_ != nullptr)
        link_->Form_Unload();
    ComTimer_->stop();
    close();
    server_->close();
}

SocketState frmTCPComs::state() const
{
    if (socket_ != nullptr && socket_->state() == QAbstractSocket::ConnectedState)
        return SocketState::Connected;
    return server_->isListening() ? SocketState::Listening : SocketState::Closed;
}

bool frmTCPComs::listen(int port)
{
    if (port < 0 || port > 65535) {
        error_ = "port " + std::to_string(port) + " is outside 1 to 65535";
        return false;
    }
    if (server_->isListening()) {
        if (server_->serverPort() == port)
            return true;
        server_->close();
    }
    if (!server_->listen(QHostAddress::Any, static_cast<quint16>(port))) {
        error_ = server_->errorString().toStdString();
        return false;
    }
    error_.clear();
    return true;
}

void frmTCPComs::onNewConnection()
{
    while (server_->hasPendingConnections()) {
        pending_ = server_->nextPendingConnection();
        pendingId_ = ++lastRequestId_;
        if (link_ != nullptr)
            link_->wskMessage_ConnectionRequest(pendingId_);
        if (pending_ != nullptr) {
            pending_->abort();
            pending_->deleteLater();
            pending_ = nullptr;
        }
    }
}

bool frmTCPComs::accept(long requestId)
{
    if (pending_ == nullptr || requestId != pendingId_)
        return false;
    close();
    socket_ = pending_;
    pending_ = nullptr;
    remoteIp_ = plainAddress(socket_->peerAddress());
    QTcpSocket* s = socket_;
    connect(s, &QTcpSocket::readyRead, this, [this, s] { onReadyRead(s); });
    connect(s, &QTcpSocket::disconnected, this, [this, s] { onDisconnected(s); });
    connect(s, &QTcpSocket::errorOccurred, this,
            [this, s](QAbstractSocket::SocketError e) { onErrorOccurred(s, e); });
    // Bytes or a hang-up that came before these connections are reported once this event is over.
    if (s->bytesAvailable() > 0 || s->state() != QAbstractSocket::ConnectedState) {
        QTimer::singleShot(0, this, [this, s] {
            if (s->state() == QAbstractSocket::ConnectedState)
                onReadyRead(s);
            else
                onDisconnected(s);
        });
    }
    return true;
}

void frmTCPComs::close()
{
    if (socket_ == nullptr)
        return;
    QTcpSocket* s = socket_;
    socket_ = nullptr;
    disconnect(s, nullptr, this, nullptr);
    retire(s);
}

void frmTCPComs::retire(QTcpSocket* socket)
{
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(CloseGraceMs, socket, [socket] { socket->abort(); });
    socket->disconnectFromHost();
    if (socket->state() == QAbstractSocket::UnconnectedState)
        socket->deleteLater();
}

bool frmTCPComs::send(std::string_view bytes)
{
    if (state() != SocketState::Connected)
        return false;
    return socket_->write(bytes.data(), static_cast<qint64>(bytes.size())) >= 0;
}

int frmTCPComs::localPort() const
{
    return server_->serverPort();
}

std::string frmTCPComs::localIp() const
{
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& iface : interfaces) {
        const auto flags = iface.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp)
            || flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry& entry : iface.addressEntries()) {
            const QHostAddress ip = entry.ip();
            if (ip.protocol() == QAbstractSocket::IPv4Protocol && !ip.isLoopback())
                return ip.toString().toStdString();
        }
    }
    return "127.0.0.1";
}

void frmTCPComs::onReadyRead(QTcpSocket* socket)
{
    if (socket == socket_)
        drain(socket);
}

void frmTCPComs::drain(QTcpSocket* socket)
{
    while (socket == socket_ && link_ != nullptr && socket->bytesAvailable() > 0) {
        const QByteArray chunk = socket->read(ReadChunk);
        if (chunk.isEmpty())
            break;
        link_->wskMessage_DataArrival(
            std::string_view(chunk.constData(), static_cast<std::size_t>(chunk.size())));
    }
}

void frmTCPComs::onDisconnected(QTcpSocket* socket)
{
    if (socket != socket_)
        return;
    drain(socket);
    if (link_ != nullptr && socket == socket_)
        link_->wskMessage_Close();
    if (socket == socket_)
        close();
}

void frmTCPComs::onErrorOccurred(QTcpSocket* socket, QAbstractSocket::SocketError error)
{
    // The peer hanging up is the normal end of a call; disconnected() reports it.
    if (socket != socket_ || error == QAbstractSocket::RemoteHostClosedError)
        return;
    drain(socket);
    if (link_ != nullptr && socket == socket_)
        link_->wskMessage_Error();
    if (socket == socket_)
        close();
}

} // namespace ostrella
