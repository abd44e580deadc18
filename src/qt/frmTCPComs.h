// SPDX-License-Identifier: MIT
// The hidden line-link window: the TCP listener and the line's connection, adapted to the core's
// ServerSocket and Socket ports. Every Qt socket signal becomes one simulator event. Never shown.
#pragma once

#include "ports/Ports.h"
#include "qt/SocketHub.h"

#include <QElapsedTimer>
#include <QObject>
#include <string>
#include <string_view>
#include <vector>

class QTcpServer;

namespace ostrella {

class AcceptLoop;
class Simulator;

// One line's connection: at most one at a time, in the listener's SocketHub. The largest slice
// of received bytes handed to the simulator in one DataArrival event is SocketHub::ReadChunk; a
// replaced or closed connection gets SocketHub::CloseGraceMs to flush its last bytes.
class LineSocket : public QObject, public Socket, private ConnectionEvents {
    Q_OBJECT

public:
    // `index`: the line's index in a bank (0 first), named in the events it hands on.
    LineSocket(SocketHub& hub, QObject* parent = nullptr, std::size_t index = 0);
    ~LineSocket() override;

    // Where the connection's events go; nullptr drops them.
    void setSimulator(Simulator* sim) { sim_ = sim; }

    // The line carries the accepted descriptor `fd` from now on (the connection it carried is
    // closed first); false when it cannot be watched (it is closed then).
    bool take(int fd);

    SocketState state() const override;
    // Ends the connection (its last bytes are still flushed).
    void close() override;
    [[nodiscard]] bool send(std::string_view bytes) override;
    // The peer of the current (or last) connection, IPv4 written plainly.
    std::string remoteHostIp() const override { return remoteIp_; }

private:
    void received(std::string_view bytes) override;
    void closedByPeer() override;
    void failed() override;

    SocketHub& hub_;
    HubConnection* connection_ = nullptr;
    Simulator* sim_ = nullptr;
    std::string remoteIp_;
    std::size_t index_;
};

class frmTCPComs : public QObject, public ServerSocket {
    Q_OBJECT

public:
    // Connections the system holds for the listener before they are taken (capped by the
    // system's own limit, net.core.somaxconn).
    static constexpr int ListenBacklog = 4096;

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

    // A failed accept (descriptors exhausted) is tried again this often.
    static constexpr int AcceptRetryMs = 100;
    // True from a failed accept until one succeeds.
    bool acceptFailing() const;

    // --- ServerSocket ------------------------------------------------------------------------

    [[nodiscard]] bool listen(int port) override;
    [[nodiscard]] bool accept(long requestId, Socket& line) override;
    std::string refuse(long requestId) override;
    int localPort() const override;
    // The first IPv4 address of an interface that is up, not loopback ("127.0.0.1" without one).
    // Asked of the system at most once a second: it is named after every call.
    std::string localIp() const override;
    std::string errorString() const override { return error_; }

private:
    // A caller's connection was accepted as descriptor `fd`: the simulator takes it to a line or
    // refuses it at once; else it is closed.
    void onIncoming(int fd);
    // An accept failed: logged once ("Event: ERROR Accept failed: reason, retrying") until
    // accepting works again.
    void onAcceptError(const std::string& why);

    SocketHub* hub_;
    QTcpServer* server_;
    AcceptLoop* accepting_;
    std::vector<LineSocket*> lines_;
    int pending_ = -1;
    long pendingId_ = 0;
    long lastRequestId_ = 0;
    Simulator* sim_ = nullptr;
    std::string error_;
    mutable QElapsedTimer localIpAge_;
    mutable std::string localIp_;
};

} // namespace ostrella
