// SPDX-License-Identifier: MIT
#include "qt/frmTCPComs.h"

#include "sim/Simulator.h"

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

// --- LineSocket ---------------------------------------------------------------------------------

LineSocket::LineSocket(QObject* parent, std::size_t index)
    : QObject(parent)
    , index_(index)
{
}

LineSocket::~LineSocket()
{
    sim_ = nullptr;
    close();
}

SocketState LineSocket::state() const
{
    return socket_ != nullptr && socket_->state() == QAbstractSocket::ConnectedState
        ? SocketState::Connected
        : SocketState::Closed;
}

void LineSocket::take(QTcpSocket* socket)
{
    close();
    socket_ = socket;
    remoteIp_ = plainAddress(socket->peerAddress());
    QTcpSocket* s = socket;
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
}

void LineSocket::close()
{
    if (socket_ == nullptr)
        return;
    QTcpSocket* s = socket_;
    socket_ = nullptr;
    disconnect(s, nullptr, this, nullptr);
    retire(s);
}

void LineSocket::retire(QTcpSocket* socket)
{
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(CloseGraceMs, socket, [socket] { socket->abort(); });
    socket->disconnectFromHost();
    if (socket->state() == QAbstractSocket::UnconnectedState)
        socket->deleteLater();
}

bool LineSocket::send(std::string_view bytes)
{
    if (state() != SocketState::Connected)
        return false;
    return socket_->write(bytes.data(), static_cast<qint64>(bytes.size())) >= 0;
}

void LineSocket::onReadyRead(QTcpSocket* socket)
{
    if (socket == socket_)
        drain(socket);
}

void LineSocket::drain(QTcpSocket* socket)
{
    while (socket == socket_ && sim_ != nullptr && socket->bytesAvailable() > 0) {
        const QByteArray chunk = socket->read(ReadChunk);
        if (chunk.isEmpty())
            break;
        sim_->wskMessage_DataArrival(
            index_, std::string_view(chunk.constData(), static_cast<std::size_t>(chunk.size())));
    }
}

void LineSocket::onDisconnected(QTcpSocket* socket)
{
    if (socket != socket_)
        return;
    drain(socket);
    if (sim_ != nullptr && socket == socket_)
        sim_->wskMessage_Close(index_);
    if (socket == socket_)
        close();
}

void LineSocket::onErrorOccurred(QTcpSocket* socket, QAbstractSocket::SocketError error)
{
    // The peer hanging up is the normal end of a call; disconnected() reports it.
    if (socket != socket_ || error == QAbstractSocket::RemoteHostClosedError)
        return;
    drain(socket);
    if (sim_ != nullptr && socket == socket_)
        sim_->wskMessage_Error(index_);
    if (socket == socket_)
        close();
}

// --- frmTCPComs ---------------------------------------------------------------------------------

frmTCPComs::frmTCPComs(QObject* parent)
    : QObject(parent)
    , server_(new QTcpServer(this))
    , lines_ { new LineSocket(this) }
{
    setObjectName(QStringLiteral("frmTCPComs"));
    connect(server_, &QTcpServer::newConnection, this, &frmTCPComs::onNewConnection);
    connect(server_, &QTcpServer::acceptError, this, &frmTCPComs::onAcceptError);
}

frmTCPComs::~frmTCPComs()
{
    setSimulator(nullptr);
    Form_Unload();
}

void frmTCPComs::setSimulator(Simulator* sim)
{
    sim_ = sim;
    for (LineSocket* l : lines_)
        l->setSimulator(sim);
}

void frmTCPComs::setLines(std::size_t count)
{
    while (lines_.size() < count)
        lines_.push_back(new LineSocket(this, lines_.size()));
}

bool frmTCPComs::isListening() const
{
    return server_->isListening();
}

void frmTCPComs::Form_Unload()
{
    for (LineSocket* l : lines_)
        l->close();
    server_->close();
}

bool frmTCPComs::listen(int port)
{
    if (port < 0 || port > 65535) {
        error_ = "port " + std::to_string(port) + " is outside 1 to 65535";
        return false;
    }
    if (server_->isListening()) {
        if (port == 0 || server_->serverPort() == port)
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

void frmTCPComs::onAcceptError()
{
    if (acceptFailing_)
        return;
    acceptFailing_ = true;
    if (sim_ != nullptr)
        sim_->logSystem("Event: ERROR Accept failed: " + server_->errorString().toStdString()
                        + ", retrying");
}

void frmTCPComs::retryAccept()
{
    if (acceptFailing_ && server_->isListening())
        server_->resumeAccepting();
}

void frmTCPComs::onNewConnection()
{
    acceptFailing_ = false;
    while (server_->hasPendingConnections()) {
        pending_ = server_->nextPendingConnection();
        pendingId_ = ++lastRequestId_;
        if (sim_ != nullptr)
            sim_->wskMessage_ConnectionRequest(pendingId_);
        if (pending_ != nullptr) {
            pending_->abort();
            pending_->deleteLater();
            pending_ = nullptr;
        }
    }
}

bool frmTCPComs::accept(long requestId, Socket& line)
{
    auto* target = dynamic_cast<LineSocket*>(&line);
    if (target == nullptr || pending_ == nullptr || requestId != pendingId_)
        return false;
    target->take(pending_);
    pending_ = nullptr;
    return true;
}

std::string frmTCPComs::refuse(long requestId)
{
    if (pending_ == nullptr || requestId != pendingId_)
        return std::string();
    const std::string ip = plainAddress(pending_->peerAddress());
    pending_->abort();
    pending_->deleteLater();
    pending_ = nullptr;
    return ip;
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

} // namespace ostrella
