// SPDX-License-Identifier: MIT
// The control API's listening socket, with the bounds Qt's HTTP server lacks. It counts what each
// connection sends towards the request being read: the HTTP parser keeps a request in memory until
// it is complete, so a connection that sends more than a request may hold gets 413 at once and
// the rest of what it sends is dropped. A connection over the limit gets 503 and is closed; one
// silent for IdleMs (longer than the longest wait for a page) is closed. An accept that fails (no
// descriptor free) is said once and retried every AcceptRetryMs until one succeeds.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QTcpServer>
#include <functional>
#include <string>
#include <unordered_map>

class QTcpSocket;
class QTimer;

namespace ostrella {

class ApiTcpServer : public QTcpServer {
public:
    // A connection silent this long is closed.
    static constexpr qint64 IdleMs = 120'000;

    // At most `maxConnections` open at once; a request of more than `maxRequestBytes` (head and
    // body) gets 413.
    ApiTcpServer(int maxConnections, qint64 maxRequestBytes, QObject* parent);

    static constexpr int AcceptRetryMs = 500;
    // Where a failed accept is said ("Event: ERROR API accept failed: reason, retrying").
    void setNotice(std::function<void(std::string)> notice) { notice_ = std::move(notice); }

    // A whole request was read from `socket`: its count starts again.
    void requestDone(QTcpSocket* socket);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    struct Connection {
        // Bytes sent towards the request being read.
        qint64 received = 0;
        // When it last sent anything (ms on the server's clock).
        qint64 lastHeard = 0;
    };

    void countArrival(QTcpSocket* socket);
    // Writes a whole answer of `status` with {"error": text}, then reads and drops what still
    // comes and closes the connection a second later.
    static void refuse(QTcpSocket* socket, const QByteArray& status, const QByteArray& text);
    void closeIdle();
    void onAcceptError();

    static constexpr int LingerMs = 1000;
    static constexpr int IdleCheckMs = 10'000;
    int maxConnections_;
    qint64 maxRequestBytes_;
    QElapsedTimer clock_;
    QTimer* idleCheck_;
    std::unordered_map<QTcpSocket*, Connection> connections_;
    std::function<void(std::string)> notice_;
    bool acceptFailing_ = false;
};

} // namespace ostrella
