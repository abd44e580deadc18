// SPDX-License-Identifier: MIT
#include "app/ApiTcpServer.h"

#include "qt/AcceptLoop.h"

#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <vector>

namespace ostrella {

namespace {

// Runs `gone` as its parent is deleted.
class Departure : public QObject {
public:
    Departure(QObject* parent, std::function<void()> gone)
        : QObject(parent)
        , gone_(std::move(gone))
    {
    }
    ~Departure() override { gone_(); }

private:
    std::function<void()> gone_;
};

} // namespace

ApiTcpServer::ApiTcpServer(int maxConnections, api::RequestScanner::Limits limits, QObject* parent)
    : QTcpServer(parent)
    , maxConnections_(maxConnections)
    , limits_(limits)
    , check_(new QTimer(this))
    , accepting_(new AcceptLoop(
          *this, AcceptRetryMs,
          [this](int fd) {
              incomingConnection(fd);
              emit newConnection();
          },
          [this](const std::string& why) {
              if (notice_)
                  notice_("Event: ERROR API accept failed: " + why + ", retrying");
          }))
{
    clock_.start();
    connect(check_, &QTimer::timeout, this, &ApiTcpServer::check);
    check_->start(CheckMs);
}

bool ApiTcpServer::open(const QHostAddress& address, quint16 port)
{
    if (!listen(address, port))
        return false;
    accepting_->watch();
    return true;
}

void ApiTcpServer::setParked(QTcpSocket* socket, bool parked)
{
    const auto it = connections_.find(socket);
    if (it == connections_.end() || it->second.parked == parked)
        return;
    it->second.parked = parked;
    parked_ += parked ? 1 : -1;
}

void ApiTcpServer::answered(QTcpSocket* socket)
{
    const auto it = connections_.find(socket);
    if (it == connections_.end())
        return;
    Connection& c = it->second;
    ++c.answered;
    if (c.scanner.closeAfter() != 0 && c.answered >= c.scanner.closeAfter())
        socket->disconnectFromHost(); // once the answer is written
}

void ApiTcpServer::incomingConnection(qintptr descriptor)
{
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        socket->deleteLater();
        return;
    }
    // Answers go out as they are made, not held back to be joined with the next.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (static_cast<int>(connections_.size()) - parked_ >= maxConnections_) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        refuse(socket, "503 Service Unavailable",
               "too many connections (at most " + QByteArray::number(maxConnections_) + ")");
        return;
    }
    Connection& c
        = connections_.emplace(socket, Connection { api::RequestScanner(limits_) }).first->second;
    c.lastHeard = clock_.elapsed();
    // A child, not a signal: the HTTP server drops every connection of a socket whose request it
    // cannot parse, and the socket must still leave the count as it goes.
    new Departure(socket, [this, socket] {
        if (const auto it = connections_.find(socket); it != connections_.end()) {
            parked_ -= it->second.parked ? 1 : 0;
            connections_.erase(it);
        }
    });
    // Connected before the HTTP server's own reader, so it sees each piece first; and after it,
    // to know what the HTTP server left unread (a pipelined request it reads on its next turn),
    // which is not new the next time round.
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readArrival(socket); });
    addPendingConnection(socket);
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
        if (const auto it = connections_.find(socket); it != connections_.end())
            it->second.leftUnread = socket->bytesAvailable();
    });
}

void ApiTcpServer::readArrival(QTcpSocket* socket)
{
    const auto it = connections_.find(socket);
    if (it == connections_.end())
        return;
    Connection& c = it->second;
    const qint64 now = clock_.elapsed();
    c.lastHeard = now;
    // What is waiting, less what the HTTP server left unread last time: what has come since.
    const qint64 waiting = socket->bytesAvailable();
    const QByteArray fresh = socket->peek(waiting).mid(std::min(c.leftUnread, waiting));
    c.leftUnread = waiting;
    const std::uint64_t before = c.scanner.complete();
    c.scanner.feed(std::string_view(fresh.constData(), static_cast<std::size_t>(fresh.size())));
    if (c.scanner.refused()) {
        c.requestSince = -1; // answered: no 408 to follow
        const api::RequestScanner::Refusal& r = c.scanner.refusal();
        cutOff(socket, QByteArray::number(r.status) + ' ' + QByteArray::fromStdString(r.statusText),
               QByteArray::fromStdString(r.reason), r.status == 405);
        return;
    }
    if (!c.scanner.midRequest())
        c.requestSince = -1;
    else if (c.requestSince < 0 || c.scanner.complete() != before)
        c.requestSince = now;
}

void ApiTcpServer::cutOff(QTcpSocket* socket, const QByteArray& status, const QByteArray& text,
                          bool bodyless)
{
    // The parser no longer reads this connection.
    disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
    if (socket->isTransactionStarted())
        socket->commitTransaction();
    refuse(socket, status, text, bodyless);
}

void ApiTcpServer::refuse(QTcpSocket* socket, const QByteArray& status, const QByteArray& text,
                          bool bodyless)
{
    // What still comes is read and dropped, so the client reads the answer rather than a reset.
    socket->readAll();
    connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
    const QByteArray body = "{\"error\": \"" + text + "\"}";
    socket->write("HTTP/1.1 " + status
                  + "\r\nContent-Type: application/json\r\nConnection: close\r\nContent-Length: "
                  + QByteArray::number(bodyless ? 0 : body.size()) + "\r\n\r\n"
                  + (bodyless ? QByteArray() : body));
    QTimer::singleShot(LingerMs, socket, [socket] { socket->disconnectFromHost(); });
}

void ApiTcpServer::check()
{
    const qint64 now = clock_.elapsed();
    std::vector<QTcpSocket*> idle;
    std::vector<QTcpSocket*> late;
    for (auto& [socket, connection] : connections_) {
        if (connection.requestSince >= 0 && now - connection.requestSince > RequestDeadlineMs) {
            connection.requestSince = -1;
            late.push_back(socket);
        } else if (now - connection.lastHeard > IdleMs) {
            idle.push_back(socket);
        }
    }
    for (QTcpSocket* socket : late)
        cutOff(socket, "408 Request Timeout",
               "the request did not come whole within "
                   + QByteArray::number(RequestDeadlineMs / 1000) + " s");
    for (QTcpSocket* socket : idle) {
        // Deleted here too: the HTTP server no longer does once it gave up on a request.
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater,
                Qt::UniqueConnection);
        socket->disconnectFromHost();
    }
}

} // namespace ostrella
