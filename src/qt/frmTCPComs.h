// SPDX-License-Identifier: MIT
// The hidden line-link window: the TCP listener and the line's connection, adapted to the core's
// ServerSocket and Socket ports. Every Qt socket signal becomes one simulator event. Never shown.
#pragma once

#include "ports/Ports.h"

#include <QObject>
#include <QTcpSocket>
#include <string>
#include <string_view>
#include <vector>

class QTcpServer;

namespace ostrella {

class Simulator;

// One line's connection: at most one QTcpSocket at a time.
class LineSocket : public QObject, public Socket {
    Q_OBJECT

public:
    // Largest slice of received bytes handed to the simulator in one DataArrival event.
    static constexpr qint64 ReadChunk = 64 * 1024;
    // A replaced or closed connection gets this long to flush its last bytes before it is aborted.
    static constexpr int CloseGraceMs = 2000;

    // `index`: the line's index in a bank (0 first), named in the events it hands on.
    explicit LineSocket(QObject* parent = nullptr, std::size_t index = 0);
    ~LineSocket() override;

    // Where the connection's events go; nullptr drops them.
    void setSimulator(Simulator* sim) { sim_ = sim; }

    // The line carries `socket` from now on (the one it carried is closed first).
    void take(QTcpSocket* socket);

    SocketState state() const override;
    // Ends the connection (its last bytes are still flushed).
    void close() override;
    [[nodiscard]] bool send(std::string_view bytes) override;
    // The peer of the current (or last) connection, IPv4 written plainly.
    std::string remoteHostIp() const override { return remoteIp_; }

private:
    void onReadyRead(QTcpSocket* socket);
    void onDisconnected(QTcpSocket* socket);
    void onErrorOccurred(QTcpSocket* socket, QAbstractSocket::SocketError error);
    // Hands every byte waiting on `socket` to the simulator, in bounded slices.
    void drain(QTcpSocket* socket);
    // Stops listening to `socket`, lets it flush, then deletes it.
    static void retire(QTcpSocket* socket);

    QTcpSocket* socket_ = nullptr;
    Simulator* sim_ = nullptr;
    std::string remoteIp_;
    std::size_t index_;
};

class frmTCPComs : public QObject, public ServerSocket {
    Q_OBJECT

public:
    explicit frmTCPComs(QObject* parent = nullptr);
    ~frmTCPComs() override;

    // Where connection requests go (and the line's events); nullptr drops them and refuses new
    // clients.
    void setSimulator(Simulator* sim);

    // The (first) line's connection; line `index` of a bank.
    LineSocket& line() { return *lines_.front(); }
    LineSocket& line(std::size_t index) { return *lines_.at(index); }
    // A bank of `count` lines (before the simulator is set).
    void setLines(std::size_t count);
    // Connected while the (first) line carries a client, else Closed.
    SocketState state() const { return lines_.front()->state(); }
    bool isListening() const;

    // The window unloads: the client is dropped and the listening ends. Safe to call more than
    // once.
    void Form_Unload();

    // Accepting callers again after an accept failed (descriptors exhausted), on the system
    // timer. True while accepting is failing.
    void retryAccept();
    bool acceptFailing() const { return acceptFailing_; }

    // --- ServerSocket ------------------------------------------------------------------------

    [[nodiscard]] bool listen(int port) override;
    [[nodiscard]] bool accept(long requestId, Socket& line) override;
    std::string refuse(long requestId) override;
    int localPort() const override;
    // This machine's first non-loopback IPv4 address; "127.0.0.1" when it has none.
    std::string localIp() const override;
    std::string errorString() const override { return error_; }

private:
    void onNewConnection();
    // An accept failed: logged once ("Event: ERROR Accept failed: reason, retrying") until
    // accepting works again; Qt stops accepting until retryAccept.
    void onAcceptError();

    QTcpServer* server_;
    std::vector<LineSocket*> lines_;
    QTcpSocket* pending_ = nullptr;
    long pendingId_ = 0;
    long lastRequestId_ = 0;
    Simulator* sim_ = nullptr;
    std::string error_;
    bool acceptFailing_ = false;
};

} // namespace ostrella
