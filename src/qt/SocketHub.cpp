// SPDX-License-Identifier: MIT
#include "qt/SocketHub.h"

#include <QHostAddress>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ostrella {

namespace {

// A reset or a broken pipe is the peer hanging up, as Qt reports it.
bool isHangUp(int error)
{
    return error == ECONNRESET || error == EPIPE;
}

} // namespace

// The peer of `fd`, an IPv4 peer of a dual-stack listener written plainly ("a.b.c.d").
std::string peerAddressOf(int fd)
{
    sockaddr_storage address {};
    socklen_t length = sizeof address;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return std::string();
    const QHostAddress peer(reinterpret_cast<const sockaddr*>(&address));
    bool isV4 = false;
    const quint32 v4 = peer.toIPv4Address(&isV4);
    return (isV4 ? QHostAddress(v4) : peer).toString().toStdString();
}

// --- HubConnection -------------------------------------------------------------------------------

HubConnection::HubConnection(SocketHub& hub, std::uint64_t id, int fd, std::string peerIp,
                             ConnectionEvents* holder)
    : hub_(hub)
    , id_(id)
    , fd_(fd)
    , peerIp_(std::move(peerIp))
    , holder_(holder)
{
}

bool HubConnection::send(std::string_view bytes)
{
    if (!connected())
        return false;
    if (bytes.empty())
        return true;
    if (out_.size() == outSent_)
        hub_.flushSoon(this);
    out_.append(bytes);
    return true;
}

void HubConnection::release()
{
    holder_ = nullptr;
    if (dead_)
        return;
    if (ended_ || out_.size() == outSent_) {
        hub_.destroy(this);
        return;
    }
    const std::uint64_t id = id_;
    SocketHub* hub = &hub_;
    QTimer::singleShot(SocketHub::CloseGraceMs, hub, [hub, id] {
        const auto it = hub->connections_.find(id);
        if (it != hub->connections_.end() && !it->second->dead_)
            hub->destroy(it->second.get());
    });
}

void HubConnection::ready(std::uint32_t events)
{
    if (events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR))
        readSome();
    if (!dead_ && (events & EPOLLOUT))
        flush();
}

void HubConnection::readSome()
{
    // At most one slice a pass: a peer that keeps sending is read again on the next pass, after
    // every other connection with something waiting (a flooding peer's backlog can be megabytes,
    // and reading it whole would hold the other lines up for as long as it takes).
    int waiting = 0;
    if (::ioctl(fd_, FIONREAD, &waiting) != 0)
        waiting = 0;
    std::size_t left = waiting > 0
        ? std::min(static_cast<std::size_t>(waiting), SocketHub::ReadChunk)
        : SocketHub::ReadChunk;
    while (left > 0 && !dead_) {
        const ssize_t n = ::recv(fd_, hub_.buffer_.data(), std::min(left, SocketHub::ReadChunk), 0);
        if (n > 0) {
            left -= std::min(left, static_cast<std::size_t>(n));
            // Bytes for a connection let go are dropped, as it closes.
            if (holder_ != nullptr && !ended_)
                holder_->received(
                    std::string_view(hub_.buffer_.data(), static_cast<std::size_t>(n)));
            continue;
        }
        if (n == 0) {
            ended(false);
            return;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            ended(!isHangUp(errno));
        return;
    }
}

void HubConnection::flush()
{
    while (outSent_ < out_.size() && !ended_) {
        const ssize_t n = ::send(fd_, out_.data() + outSent_, out_.size() - outSent_, MSG_NOSIGNAL);
        if (n > 0) {
            outSent_ += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            watchWrites(true);
            return;
        }
        ended(!isHangUp(errno));
        return;
    }
    out_.clear();
    outSent_ = 0;
    if (!dead_)
        watchWrites(false);
    if (holder_ == nullptr && !dead_)
        hub_.destroy(this);
}

void HubConnection::ended(bool failure)
{
    if (ended_)
        return;
    ended_ = true;
    if (holder_ != nullptr) {
        ConnectionEvents* holder = holder_;
        if (failure)
            holder->failed();
        else
            holder->closedByPeer();
    }
    // A holder that kept it after hearing has nothing to do with it but let it go.
    if (holder_ == nullptr && !dead_)
        hub_.destroy(this);
}

void HubConnection::watchWrites(bool on)
{
    if (on == watchingWrites_)
        return;
    watchingWrites_ = on;
    epoll_event event {};
    event.events = EPOLLIN | EPOLLRDHUP | (on ? EPOLLOUT : 0u);
    event.data.ptr = this;
    ::epoll_ctl(hub_.epoll_, EPOLL_CTL_MOD, fd_, &event);
}

// --- SocketHub -----------------------------------------------------------------------------------

SocketHub::SocketHub(QObject* parent)
    : QObject(parent)
    , buffer_(ReadChunk)
{
    epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
    if (epoll_ < 0)
        return;
    notifier_ = new QSocketNotifier(epoll_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SocketHub::dispatch);
}

SocketHub::~SocketHub()
{
    for (auto& [id, connection] : connections_) {
        if (!connection->dead_) {
            // A last try for what is still to go; the system sends what it takes.
            if (connection->outSent_ < connection->out_.size())
                (void)::send(connection->fd_, connection->out_.data() + connection->outSent_,
                             connection->out_.size() - connection->outSent_,
                             MSG_NOSIGNAL | MSG_DONTWAIT);
            ::close(connection->fd_);
        }
    }
    if (epoll_ >= 0)
        ::close(epoll_);
}

HubConnection* SocketHub::adopt(int fd, ConnectionEvents* holder)
{
    const int flags = ::fcntl(fd, F_GETFL);
    if (epoll_ < 0 || flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
        ::close(fd);
        return nullptr;
    }
    const std::uint64_t id = ++lastId_;
    auto connection = std::unique_ptr<HubConnection>(
        new HubConnection(*this, id, fd, peerAddressOf(fd), holder));
    epoll_event event {};
    event.events = EPOLLIN | EPOLLRDHUP;
    event.data.ptr = connection.get();
    if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event) != 0) {
        ::close(fd);
        return nullptr;
    }
    HubConnection* adopted = connection.get();
    connections_.emplace(id, std::move(connection));
    return adopted;
}

int SocketHub::dispatch()
{
    epoll_event events[EventsAtOnce];
    const int n = ::epoll_wait(epoll_, events, EventsAtOnce, 0);
    for (int i = 0; i < n; ++i) {
        auto* connection = static_cast<HubConnection*>(events[i].data.ptr);
        if (!connection->dead_)
            connection->ready(events[i].events);
    }
    reap();
    return n;
}

void SocketHub::catchUp()
{
    // Every connection ready now is served once: as many passes as it takes to see them all,
    // and no more, so that a peer that keeps sending cannot hold this here.
    const std::size_t passes = connections_.size() / EventsAtOnce + 1;
    for (std::size_t i = 0; i < passes; ++i) {
        if (dispatch() < EventsAtOnce)
            return;
    }
}

void SocketHub::flushSoon(HubConnection* connection)
{
    dirty_.push_back(connection);
    if (!flushQueued_) {
        flushQueued_ = true;
        later(&SocketHub::flushAll);
    }
}

void SocketHub::flushAll()
{
    flushQueued_ = false;
    std::vector<HubConnection*> dirty;
    dirty.swap(dirty_);
    for (HubConnection* connection : dirty) {
        if (!connection->dead_)
            connection->flush();
    }
    reap();
}

void SocketHub::destroy(HubConnection* connection)
{
    if (connection->dead_)
        return;
    connection->dead_ = true;
    connection->holder_ = nullptr;
    ::epoll_ctl(epoll_, EPOLL_CTL_DEL, connection->fd_, nullptr);
    ::close(connection->fd_);
    std::erase(dirty_, connection);
    dead_.push_back(connection->id_);
    if (!reapQueued_) {
        reapQueued_ = true;
        later(&SocketHub::reap);
    }
}

void SocketHub::reap()
{
    reapQueued_ = false;
    for (const std::uint64_t id : dead_)
        connections_.erase(id);
    dead_.clear();
}

void SocketHub::later(void (SocketHub::*step)())
{
    QMetaObject::invokeMethod(this, step, Qt::QueuedConnection);
}

} // namespace ostrella
