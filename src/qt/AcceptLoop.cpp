// SPDX-License-Identifier: MIT
#include "qt/AcceptLoop.h"

#include <QSocketNotifier>
#include <QTcpServer>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>

namespace ostrella {

namespace {

// Failures that concern the one connection being accepted, not the listener: the next may well
// be accepted.
bool passing(int error)
{
    switch (error) {
    case EINTR:
    case ECONNABORTED:
    case EPROTO:
    case ENETDOWN:
    case ENOPROTOOPT:
    case EHOSTDOWN:
    case ENONET:
    case EHOSTUNREACH:
    case EOPNOTSUPP:
    case ENETUNREACH:
    case EPERM:
        return true;
    default:
        return false;
    }
}

std::string reasonOf(int error)
{
    switch (error) {
    case EMFILE:
    case ENFILE:
    case ENOBUFS:
    case ENOMEM:
        return "Out of resources";
    default:
        return std::strerror(error);
    }
}

} // namespace

AcceptLoop::AcceptLoop(QTcpServer& server, int retryMs, std::function<void(int)> incoming,
                       std::function<void(const std::string&)> failed)
    : QObject(&server)
    , server_(server)
    , retryMs_(retryMs)
    , incoming_(std::move(incoming))
    , failed_(std::move(failed))
    , retry_(new QTimer(this))
{
    retry_->setSingleShot(true);
    connect(retry_, &QTimer::timeout, this, [this] {
        if (notifier_ == nullptr)
            return;
        notifier_->setEnabled(true);
        acceptWaiting();
    });
}

AcceptLoop::~AcceptLoop()
{
    unwatch();
}

void AcceptLoop::watch()
{
    unwatch();
    if (!server_.isListening())
        return;
    // Qt's notifier stays off; this one reads the same descriptor.
    server_.pauseAccepting();
    notifier_ = new QSocketNotifier(server_.socketDescriptor(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &AcceptLoop::acceptWaiting);
}

void AcceptLoop::unwatch()
{
    retry_->stop();
    failing_ = false;
    if (notifier_ == nullptr)
        return;
    // It may be the notifier whose signal is being served.
    notifier_->setEnabled(false);
    notifier_->deleteLater();
    notifier_ = nullptr;
}

void AcceptLoop::acceptWaiting()
{
    for (int i = 0; i < AcceptsAtOnce && notifier_ != nullptr; ++i) {
        const int fd = ::accept4(static_cast<int>(notifier_->socket()), nullptr, nullptr,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            failing_ = false;
            incoming_(fd);
            continue;
        }
        const int error = errno;
        if (error == EAGAIN || error == EWOULDBLOCK)
            return;
        if (passing(error))
            continue;
        notifier_->setEnabled(false);
        retry_->start(retryMs_);
        if (!failing_) {
            failing_ = true;
            failed_(reasonOf(error));
        }
        return;
    }
}

} // namespace ostrella
