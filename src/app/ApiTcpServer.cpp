// SPDX-License-Identifier: MIT
#include "app/ApiTcpServer.h"

#include <QTcpSocket>
#include <QTimer>
#include <vector>

namespace ostrella {

ApiTcpServer::ApiTcpServer(int maxConnections, qint64 maxRequestBytes, QObject* parent)
    : QTcpServer(parent)
    , maxConnections_(maxConnections)
    , maxRequestBytes_(maxRequestBytes)
    , idleCheck_(new QTimer(this))
{
    clock_.start();
    connect(idleCheck_, &QTimer::timeout, this, &ApiTcpServer::closeIdle);
    idleCheck_->start(IdleCheckMs);
    connect(this, &QTcpServer::acceptError, this, &ApiTcpServer::onAcceptError);
}

void ApiTcpServer::onAcceptError()
{
    // Qt stops accepting after a failure other than a passing one; each failure asks again later.
    QTimer::singleShot(AcceptRetryMs, this, [this] {
        if (isListening())
            resumeAccepting();
    });
    if (acceptFailing_)
        return;
    acceptFailing_ = true;
    if (notice_)
        notice_("Event: ERROR API accept failed: " + errorString().toStdString() + ", retrying");
}

void ApiTcpServer::requestDone(QTcpSocket* socket)
{
    if (const auto it = connections_.find(socket); it != connections_.end())
        it->second.received = 0;
}

void ApiTcpServer::incomingConnection(qintptr descriptor)
{
    acceptFailing_ = false;
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        socket->deleteLater();
        return;
    }
    if (static_cast<int>(connections_.size()) >= maxConnections_) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        refuse(socket, "503 Service Unavailable",
               "too many connections (at most " + QByteArray::number(maxConnections_) + ")");
        return;
    }
    connections_[socket] = Connection { 0, clock_.elapsed() };
    connect(socket, &QObject::destroyed, this, [this, socket] { connections_.erase(socket); });
    // Connected before the HTTP server's own reader, so it sees each piece first.
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { countArrival(socket); });
    addPendingConnection(socket);
}

void ApiTcpServer::countArrival(QTcpSocket* socket)
{
    Connection& connection = connections_[socket];
    connection.lastHeard = clock_.elapsed();
    connection.received += socket->bytesAvailable();
    if (connection.received <= maxRequestBytes_)
        return;
    // The parser no longer reads this connection.
    disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
    if (socket->isTransactionStarted())
        socket->commitTransaction();
    refuse(socket, "413 Request Entity Too Large",
           "the request is larger than " + QByteArray::number(maxRequestBytes_ / 1024) + " KiB");
}

void ApiTcpServer::refuse(QTcpSocket* socket, const QByteArray& status, const QByteArray& text)
{
    // What still comes is read and dropped, so the client reads the answer rather than a reset.
    socket->readAll();
    connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
    const QByteArray body = "{\"error\": \"" + text + "\"}";
    socket->write("HTTP/1.1 " + status
                  + "\r\nContent-Type: application/json\r\nConnection: close\r\nContent-Length: "
                  + QByteArray::number(body.size()) + "\r\n\r\n" + body);
    QTimer::singleShot(LingerMs, socket, [socket] { socket->disconnectFromHost(); });
}

void ApiTcpServer::closeIdle()
{
    const qint64 now = clock_.elapsed();
    std::vector<QTcpSocket*> idle;
    for (const auto& [socket, connection] : connections_) {
        if (now - connection.lastHeard > IdleMs)
            idle.push_back(socket);
    }
    for (QTcpSocket* socket : idle)
        socket->disconnectFromHost();
}

} // namespace ostrella
