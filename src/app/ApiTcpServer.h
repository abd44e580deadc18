// SPDX-License-Identifier: MIT
// The control API's listening socket, with the bounds Qt's HTTP server lacks. It reads what each
// connection sends before the HTTP server does (api::RequestScanner): a request that may not be
// served (malformed, too large, an unknown version, a chunked body, HEAD) is answered with its
// own status at once, the rest of what the connection sends is dropped, and it is closed. A
// request whose head and body have not all come within RequestDeadlineMs of its first byte gets
// 408; a connection silent for IdleMs (longer than the longest wait for a page) is closed; one
// whose request asked for it (HTTP/1.0, "Connection: close") is closed once that request is
// answered. At most `maxConnections` are open at once, long polls left out (they have their own
// bound); one more gets 503 and is closed. An accept that fails (no descriptor free) is said once
// and retried every AcceptRetryMs until one succeeds.
#pragma once

#include "api/RequestScanner.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QTcpServer>
#include <functional>
#include <string>
#include <unordered_map>

class QTcpSocket;
class QTimer;

namespace ostrella {

class AcceptLoop;

class ApiTcpServer : public QTcpServer {
public:
    // A connection silent this long is closed.
    static constexpr qint64 IdleMs = 120'000;
    // A request must have come whole within this of its first byte.
    static constexpr qint64 RequestDeadlineMs = 10'000;
    static constexpr int AcceptRetryMs = 500;

    ApiTcpServer(int maxConnections, api::RequestScanner::Limits limits, QObject* parent);

    // Listens on `address`:`port` and accepts from then on; false as QTcpServer::listen.
    bool open(const QHostAddress& address, quint16 port);

    // Where a failed accept is said ("Event: ERROR API accept failed: reason, retrying").
    void setNotice(std::function<void(std::string)> notice) { notice_ = std::move(notice); }

    // `socket`'s request waits for something to happen (a long poll), or no longer does.
    void setParked(QTcpSocket* socket, bool parked);
    // A request of `socket` was answered.
    void answered(QTcpSocket* socket);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    struct Connection {
        api::RequestScanner scanner;
        // When it last sent anything (ms on the server's clock).
        qint64 lastHeard = 0;
        // When the request still coming began; -1 between requests.
        qint64 requestSince = -1;
        std::uint64_t answered = 0;
        // Bytes the HTTP server left unread when it last read, seen already.
        qint64 leftUnread = 0;
        bool parked = false;
    };

    void readArrival(QTcpSocket* socket);
    // Writes a whole answer of `status` with {"error": text} (no body for a HEAD), then reads and
    // drops what still comes and closes the connection a second later.
    static void refuse(QTcpSocket* socket, const QByteArray& status, const QByteArray& text,
                       bool bodyless = false);
    // Stops the HTTP server reading `socket` and refuses it.
    void cutOff(QTcpSocket* socket, const QByteArray& status, const QByteArray& text,
                bool bodyless = false);
    void check();

    static constexpr int LingerMs = 1000;
    static constexpr int CheckMs = 1000;
    int maxConnections_;
    api::RequestScanner::Limits limits_;
    QElapsedTimer clock_;
    QTimer* check_;
    AcceptLoop* accepting_;
    std::unordered_map<QTcpSocket*, Connection> connections_;
    int parked_ = 0;
    std::function<void(std::string)> notice_;
};

} // namespace ostrella
