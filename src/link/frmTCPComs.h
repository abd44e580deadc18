// SPDX-License-Identifier: MIT
// The hidden line-link window: the one TCP listener and the one connected client, adapted to the
// core's Socket port. Every Qt socket signal becomes one LineLink event. Never shown.
#pragma once

#include "ports/Ports.h"

#include <QObject>
#include <QTcpSocket>
#include <string>
#include <string_view>

class QTcpServer;
class QTimer;

namespace ostrella {

class LineLink;

class frmTCPComs : public QObject, public Socket {
    Q_OBJECT

public:
    // Largest slice of received bytes handed to the line link in one DataArrival event.
    static constexpr qint64 ReadChunk = 64 * 1024;
    // A replaced or closed connection gets this long to flush its last bytes before it is aborted.
    static constexpr int CloseGraceMs = 2000;

    explicit frmTCPComs(QObject* parent = nullptr);
    ~frmTCPComs() override;

    // Where the socket events go; nullptr drops them (and refuses new clients).
    void setLink(LineLink* link) { link_ = link; }

    // The receive-wait timer ("ComTimer"), owned here; the window wires its tick to the core.
    QTimer* ComTimer() const { return ComTimer_; }

    // The window unloads: the receive-wait timer stops, the client is dropped and the listening
    // ends. Safe to call more than once.
    void Form_Unload();

    // --- Socket ------------------------------------------------------------------------------

    // Connected while a client is accepted, else Listening while the server listens, else Closed.
    SocketState state() const override;
    // Listens on all interfaces; already listening on `port` is a success that changes nothing.
    [[nodiscard]] bool listen(int port) override;
    // Takes the client announced with `requestId` as the one connection.
    [[nodiscard]] bool accept(long requestId) override;
    // Ends the connection (its last bytes are still flushed); the listening goes on.
    void close() override;
    [[nodiscard]] bool send(std::string_view bytes) override;
    int localPort() const override;
    // This machine's first non-loopback IPv4 address; "127.0.0.1" when it has none.
    std::string localIp() const override;
    // The peer of the current (or last) connection, IPv4 written plainly.
    std::string remoteHostIp() const override { return remoteIp_; }
    std::string errorString() const override { return error_; }

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket* socket);
    void onDisconnected(QTcpSocket* socket);
    void onErrorOccurred(QTcpSocket* socket, QAbstractSocket::SocketError error);
    // Hands every byte waiting on `socket` to the line link, in bounded slices.
    void drain(QTcpSocket* socket);
    // Stops listening to `socket`, lets it flush, then deletes it.
    static void retire(QTcpSocket* socket);

    QTcpServer* server_;
    QTimer* ComTimer_;
    QTcpSocket* socket_ = nullptr;
    QTcpSocket* pending_ = nullptr;
    long pendingId_ = 0;
    long lastRequestId_ = 0;
    LineLink* link_ = nullptr;
    std::string remoteIp_;
    std::string error_;
};

} // namespace ostrella
