// SPDX-License-Identifier: MIT
#include "qt/frmTCPComs.h"

#include "qt/AcceptLoop.h"
#include "sim/Simulator.h"

#include <QHostAddress>
#include <QNetworkInterface>
#include <QTcpServer>
#include <unistd.h>

namespace ostrella {

// --- LineSocket ---------------------------------------------------------------------------------

LineSocket::LineSocket(SocketHub& hub, QObject* parent, std::size_t index)
    : QObject(parent)
    , hub_(hub)
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
    return connection_ != nullptr && connection_->connected() ? SocketState::Connected
                                                              : SocketState::Closed;
}

bool LineSocket::take(int fd)
{
    close();
    connection_ = hub_.adopt(fd, this);
    if (connection_ == nullptr)
        return false;
    remoteIp_ = connection_->peerIp();
    return true;
}

void LineSocket::close()
{
    if (connection_ == nullptr)
        return;
    HubConnection* connection = connection_;
    connection_ = nullptr;
    connection->release();
}

bool LineSocket::send(std::string_view bytes)
{
    return state() == SocketState::Connected && connection_->send(bytes);
}

void LineSocket::received(std::string_view bytes)
{
    if (sim_ != nullptr)
        sim_->wskMessage_DataArrival(index_, bytes);
}

void LineSocket::closedByPeer()
{
    HubConnection* connection = connection_;
    if (sim_ != nullptr)
        sim_->wskMessage_Close(index_);
    if (connection_ == connection)
        close();
}

void LineSocket::failed()
{
    HubConnection* connection = connection_;
    if (sim_ != nullptr)
        sim_->wskMessage_Error(index_);
    if (connection_ == connection)
        close();
}

// --- frmTCPComs ---------------------------------------------------------------------------------

frmTCPComs::frmTCPComs(QObject* parent)
    : QObject(parent)
    , hub_(new SocketHub(this))
    , server_(new QTcpServer(this))
    , accepting_(new AcceptLoop(
          *server_, AcceptRetryMs, [this](int fd) { onIncoming(fd); },
          [this](const std::string& why) { onAcceptError(why); }))
    , lines_ { new LineSocket(*hub_, this) }
{
    setObjectName(QStringLiteral("frmTCPComs"));
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
        lines_.push_back(new LineSocket(*hub_, this, lines_.size()));
}

bool frmTCPComs::isListening() const
{
    return server_->isListening();
}

void frmTCPComs::Form_Unload()
{
    for (LineSocket* l : lines_)
        l->close();
    accepting_->unwatch();
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
        accepting_->unwatch();
        server_->close();
    }
    // Callers who dial at once wait in the system's queue for their turn rather than have their
    // connection attempt dropped (and sent again a second later) when a short queue is full.
    server_->setListenBacklogSize(ListenBacklog);
    if (!server_->listen(QHostAddress::Any, static_cast<quint16>(port))) {
        error_ = server_->errorString().toStdString();
        return false;
    }
    accepting_->watch();
    error_.clear();
    return true;
}

bool frmTCPComs::acceptFailing() const
{
    return accepting_->failing();
}

void frmTCPComs::onAcceptError(const std::string& why)
{
    if (sim_ != nullptr)
        sim_->logSystem("Event: ERROR Accept failed: " + why + ", retrying");
}

void frmTCPComs::onIncoming(int fd)
{
    // A caller that hung up and dialled again is heard hanging up first, so that its line is free.
    hub_->catchUp();
    pending_ = fd;
    pendingId_ = ++lastRequestId_;
    if (sim_ != nullptr)
        sim_->wskMessage_ConnectionRequest(pendingId_);
    if (pending_ >= 0) {
        ::close(pending_);
        pending_ = -1;
    }
}

bool frmTCPComs::accept(long requestId, Socket& line)
{
    auto* target = dynamic_cast<LineSocket*>(&line);
    if (target == nullptr || pending_ < 0 || requestId != pendingId_)
        return false;
    const int fd = pending_;
    pending_ = -1;
    return target->take(fd);
}

std::string frmTCPComs::refuse(long requestId)
{
    if (pending_ < 0 || requestId != pendingId_)
        return std::string();
    const std::string ip = peerAddressOf(pending_);
    ::close(pending_);
    pending_ = -1;
    return ip;
}

int frmTCPComs::localPort() const
{
    return server_->serverPort();
}

std::string frmTCPComs::localIp() const
{
    if (localIpAge_.isValid() && localIpAge_.elapsed() < 1000)
        return localIp_;
    localIpAge_.start();
    localIp_ = "127.0.0.1";
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& iface : interfaces) {
        const auto flags = iface.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp)
            || flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry& entry : iface.addressEntries()) {
            const QHostAddress ip = entry.ip();
            if (ip.protocol() == QAbstractSocket::IPv4Protocol && !ip.isLoopback()) {
                localIp_ = ip.toString().toStdString();
                return localIp_;
            }
        }
    }
    return localIp_;
}

} // namespace ostrella
