// SPDX-License-Identifier: MIT
#include "ScaleClients.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace ostrella::scalebench {

using harness::msBetween;

Driver::Driver(quint16 port, std::size_t clients, bool silent)
    : port_(port)
    , silent_(silent)
    , clients_(clients)
    , epoll_(::epoll_create1(EPOLL_CLOEXEC))
{
}

Driver::~Driver()
{
    for (Client& c : clients_) {
        if (c.fd >= 0)
            ::close(c.fd);
    }
    ::close(epoll_);
}

void Driver::start(SteadyClock::duration spread)
{
    const auto now = SteadyClock::now();
    const auto n = static_cast<long>(clients_.size());
    for (std::size_t i = 0; i < clients_.size(); ++i)
        due_.push({ now + spread * static_cast<long>(i) / n, i });
}

std::size_t Driver::open() const
{
    return static_cast<std::size_t>(
        std::count_if(clients_.begin(), clients_.end(),
                      [](const Client& c) { return c.fd >= 0 && !c.connecting; }));
}

void Driver::run(SteadyClock::time_point end, const std::function<bool()>& done)
{
    std::array<epoll_event, 256> events {};
    auto nextScan = SteadyClock::now();
    for (;;) {
        auto now = SteadyClock::now();
        if (now >= end || (done && done()))
            return;
        while (!due_.empty() && due_.top().first <= now) {
            const std::size_t i = due_.top().second;
            due_.pop();
            connect(i);
        }
        if (now >= nextScan) {
            checkDeadlines(now);
            // The program's standard error pipe, on the thread that holds it.
            if (QThread::currentThread() == QCoreApplication::instance()->thread())
                QCoreApplication::processEvents();
            nextScan = now + 250ms;
        }
        auto wake = std::min(end, nextScan);
        if (!due_.empty())
            wake = std::min(wake, due_.top().first);
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(wake - now).count();
        const int n = ::epoll_wait(epoll_, events.data(), static_cast<int>(events.size()),
                                   static_cast<int>(std::max<long>(0, wait)));
        for (int k = 0; k < n; ++k)
            onEvent(static_cast<std::size_t>(events[static_cast<std::size_t>(k)].data.u64),
                    events[static_cast<std::size_t>(k)].events);
    }
}

// Starts a non-blocking connection for client i; it is established when the socket is writable.
void Driver::connect(std::size_t i)
{
    Client& c = clients_[i];
    Client fresh;
    fresh.calls = c.calls;
    c = std::move(fresh);
    c.since = SteadyClock::now();
    c.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (c.fd < 0) {
        ++counts.connectFailed;
        due_.push({ c.since + RetryAfter, i });
        return;
    }
    const int one = 1;
    ::setsockopt(c.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port_);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    c.connecting = true;
    if (::connect(c.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0
        && errno != EINPROGRESS) {
        ++counts.connectFailed;
        hangUp(i, true, RetryAfter);
        return;
    }
    epoll_event event { EPOLLOUT, {} };
    event.data.u64 = i;
    ::epoll_ctl(epoll_, EPOLL_CTL_ADD, c.fd, &event);
}

// Closes client i's connection; with `callAgain` (call mode only) it connects again `after` on.
void Driver::hangUp(std::size_t i, bool callAgain, SteadyClock::duration after)
{
    Client& c = clients_[i];
    if (c.fd >= 0)
        ::close(c.fd); // also leaves the epoll set
    c.fd = -1;
    c.connecting = false;
    if (!callAgain || silent_)
        return;
    if (after == SteadyClock::duration::zero())
        connect(i);
    else
        due_.push({ SteadyClock::now() + after, i });
}

void Driver::onEvent(std::size_t i, std::uint32_t events)
{
    Client& c = clients_[i];
    if (c.fd < 0)
        return;
    if (!c.connecting) {
        onReadable(i);
        return;
    }
    int error = 0;
    socklen_t length = sizeof error;
    if ((events & EPOLLERR) != 0 || ::getsockopt(c.fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0
        || error != 0) {
        ++counts.connectFailed;
        hangUp(i, true, RetryAfter);
        return;
    }
    c.connecting = false;
    epoll_event event { EPOLLIN | EPOLLRDHUP, {} };
    event.data.u64 = i;
    ::epoll_ctl(epoll_, EPOLL_CTL_MOD, c.fd, &event);
    if (!silent_)
        sendStep(i);
}

// Reads what has arrived on client i; a close by the program counts as refused (nothing came
// back on the connection yet) or dropped, and the client calls again after RetryAfter.
void Driver::onReadable(std::size_t i)
{
    Client& c = clients_[i];
    std::array<char, 4096> buffer {};
    for (;;) {
        const ssize_t n = ::recv(c.fd, buffer.data(), buffer.size(), 0);
        if (n > 0) {
            c.got.append(buffer.data(), static_cast<std::size_t>(n));
            c.gotAny = true;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        ++(c.gotAny ? counts.dropped : counts.refused);
        hangUp(i, true, RetryAfter);
        return;
    }
    if (silent_) {
        c.got.clear();
        return;
    }
    answered(i, SteadyClock::now());
}

// Takes the awaited reply off what client i has received, if it is all there: notes its delay
// and sends the next step, or EOT and hangs up (calling again at once) after the last one.
// Anything else than the reply counts as a wrong reply and ends the call.
void Driver::answered(std::size_t i, SteadyClock::time_point at)
{
    Client& c = clients_[i];
    const Step& step = CallSteps[c.step];
    const std::size_t compared = std::min(c.got.size(), step.expect.size());
    if (std::string_view(c.got).substr(0, compared) != step.expect.substr(0, compared)) {
        if (reported_++ < 5)
            std::fprintf(stderr, "client %zu, %s: unexpected reply '%s'\n", i,
                         ReplyNames[static_cast<std::size_t>(step.reply)],
                         QByteArray::fromStdString(c.got).toPercentEncoding().constData());
        ++counts.wrongReply;
        hangUp(i, true, RetryAfter);
        return;
    }
    if (compared < step.expect.size())
        return;
    const double ms = msBetween(c.since, at);
    delays[static_cast<std::size_t>(step.reply)].push_back(ms);
    if (c.calls > 0)
        steady[static_cast<std::size_t>(step.reply)].push_back(ms);
    c.got.erase(0, step.expect.size());
    if (++c.step < CallSteps.size()) {
        sendStep(i);
        return;
    }
    if (::send(c.fd, Eot.data(), Eot.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(Eot.size())) {
        ++counts.calls;
        ++c.calls;
        if (at >= lateFrom_)
            ++counts.lateCalls;
    } else {
        ++counts.dropped;
    }
    hangUp(i, true, SteadyClock::duration::zero());
}

// Sends client i's current step (a few bytes: one write into an empty socket buffer, so a short
// write means the connection is gone).
void Driver::sendStep(std::size_t i)
{
    Client& c = clients_[i];
    const std::string_view bytes = CallSteps[c.step].send;
    c.since = SteadyClock::now();
    if (::send(c.fd, bytes.data(), bytes.size(), MSG_NOSIGNAL)
        != static_cast<ssize_t>(bytes.size())) {
        ++(c.gotAny ? counts.dropped : counts.refused);
        hangUp(i, true, RetryAfter);
    }
}

// Fails the clients that have waited longer than ReplyDeadline for a connection or a reply
// (silent clients only wait for the connection).
void Driver::checkDeadlines(SteadyClock::time_point now)
{
    for (std::size_t i = 0; i < clients_.size(); ++i) {
        const Client& c = clients_[i];
        if (c.fd < 0 || (silent_ && !c.connecting) || now - c.since < ReplyDeadline)
            continue;
        if (reported_++ < 5)
            std::fprintf(stderr, "client %zu: no %s within 30 s\n", i,
                         c.connecting
                             ? "connection"
                             : ReplyNames[static_cast<std::size_t>(CallSteps[c.step].reply)]);
        ++counts.timedOut;
        hangUp(i, true, RetryAfter);
    }
}

} // namespace ostrella::scalebench
