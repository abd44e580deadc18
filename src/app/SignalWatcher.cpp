// SPDX-License-Identifier: MIT
#include "app/SignalWatcher.h"

#include <QSocketNotifier>
#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <iterator>
#include <unistd.h>

namespace ostrella {

namespace {

int pipeFds[2] = { -1, -1 };

constexpr int EndingSignals[] = { SIGINT, SIGTERM, SIGHUP };
constexpr int IgnoredSignals[] = { SIGUSR1, SIGUSR2, SIGALRM };

const char* nameOf(int signalNumber)
{
    switch (signalNumber) {
    case SIGUSR1:
        return "SIGUSR1";
    case SIGUSR2:
        return "SIGUSR2";
    case SIGALRM:
        return "SIGALRM";
    default:
        return "a signal";
    }
}

void onSignal(int signalNumber)
{
    const unsigned char n = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(pipeFds[1], &n, 1);
}

} // namespace

SignalWatcher::SignalWatcher(QObject* parent)
    : QObject(parent)
{
    if (::pipe(pipeFds) != 0)
        return;
    for (int fd : pipeFds)
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    notifier_ = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SignalWatcher::onReadable);

    struct sigaction action { };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int n : EndingSignals)
        ::sigaction(n, &action, nullptr);
    for (int n : IgnoredSignals)
        ::sigaction(n, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    // A file size limit makes the write fail (EFBIG), which the file's writer says, rather than
    // end the program.
    ::signal(SIGXFSZ, SIG_IGN);
}

SignalWatcher::~SignalWatcher()
{
    for (int n : EndingSignals)
        ::signal(n, SIG_DFL);
    for (int n : IgnoredSignals)
        ::signal(n, SIG_IGN);
    for (int& fd : pipeFds) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void SignalWatcher::onReadable()
{
    unsigned char n = 0;
    while (::read(pipeFds[0], &n, 1) == 1) {
        if (std::find(std::begin(IgnoredSignals), std::end(IgnoredSignals), n)
            != std::end(IgnoredSignals))
            emit signalIgnored(QLatin1String(nameOf(n)));
        else
            emit terminationRequested(n);
    }
}

} // namespace ostrella
