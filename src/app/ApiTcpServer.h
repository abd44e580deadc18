// SPDX-License-Identifier: MIT
// The control API's listening socket, with the bounds Qt's HTTP server lacks.
#pragma once

#include <QByteArray>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <unordered_map>

namespace ostrella {

// The API's listening socket. It counts what each connection sends towards the request being
// read: the HTTP parser keeps a request in memory until it is complete, so a connection that
// sends more than a request may hold gets 413 at once and the rest of what it sends is dropped.
class ApiTcpServer : public QTcpServer {
public:
    // At most `maxConnections` open at once; a request of more than `maxRequestBytes` (head and
    // body) gets 413.
    ApiTcpServer(int maxConnections, qint64 maxRequestBytes, QObject* parent)
        : QTcpServer(parent)
        , maxConnections_(maxConnections)
        , maxRequestBytes_(maxRequestBytes)
    {
    }

    // A whole request was read from `socket`: its count starts again.
    void requestDone(QTcpSocket* socket) { received_[socket] = 0; }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)
            || static_cast<int>(received_.size()) >= maxConnections_) {
            socket->abort();
            socket->deleteLater();
            return;
        }
        received_[socket] = 0;
        connect(socket, &QObject::destroyed, this, [this, socket] { received_.erase(socket); });
        // Connected before the HTTP server's own reader, so it sees each piece first.
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { countArrival(socket); });
        addPendingConnection(socket);
    }

private:
    void countArrival(QTcpSocket* socket)
    {
        qint64& count = received_[socket];
        count += socket->bytesAvailable();
        if (count <= maxRequestBytes_)
            return;
        // The parser no longer reads this connection; what still comes is read and dropped, so
        // the client reads the answer rather than a reset, and the connection closes soon after.
        disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
        if (socket->isTransactionStarted())
            socket->commitTransaction();
        socket->readAll();
        connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
        const QByteArray body = QByteArray("{\"error\": \"the request is larger than ")
            + QByteArray::number(maxRequestBytes_ / 1024) + " KiB\"}";
        socket->write("HTTP/1.1 413 Request Entity Too Large\r\n"
                      "Content-Type: application/json\r\nConnection: close\r\nContent-Length: "
                      + QByteArray::number(body.size()) + "\r\n\r\n" + body);
        QTimer::singleShot(LingerMs, socket, [socket] { socket->disconnectFromHost(); });
    }

    static constexpr int LingerMs = 1000;
    int maxConnections_;
    qint64 maxRequestBytes_;
    std::unordered_map<QTcpSocket*, qint64> received_;
};

} // namespace ostrella
