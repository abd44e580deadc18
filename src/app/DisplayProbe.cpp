// SPDX-License-Identifier: MIT
#include "app/DisplayProbe.h"

#include <QGuiApplication>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace ostrella {

namespace {

using Deadline = std::chrono::steady_clock::time_point;

// What the child writes on its standard error until it closes it (by ending) or the deadline.
std::string readUntilClosed(int fd, Deadline deadline)
{
    std::string said;
    char buf[512];
    pollfd p { fd, POLLIN, 0 };
    while (std::chrono::steady_clock::now() < deadline && ::poll(&p, 1, 100) >= 0) {
        if ((p.revents & (POLLIN | POLLHUP)) == 0)
            continue;
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        said.append(buf, static_cast<std::size_t>(n));
    }
    return said;
}

// The child's exit status once it has ended, waiting for it up to the deadline: its standard
// error closes a moment before it can be reaped. False when it is still running then.
bool reapBy(pid_t child, Deadline deadline, int& status)
{
    for (;;) {
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child || done < 0)
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

} // namespace

bool displayAvailable()
{
    for (const char* name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" }) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0')
            return true;
    }
    return false;
}

std::string windowUnavailableReason(int argc, char* argv[], int probeMs)
{
    std::fflush(stdout);
    std::fflush(stderr);
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return std::string();
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return std::string();
    }
    if (child == 0) {
        ::dup2(pipeFds[1], STDERR_FILENO);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        QGuiApplication probe(argc, argv);
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    const Deadline deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(probeMs);
    const std::string said = readUntilClosed(pipeFds[0], deadline);
    ::close(pipeFds[0]);
    int status = 0;
    if (!reapBy(child, deadline, status)) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        return "the display did not answer within " + std::to_string(probeMs / 1000) + " s";
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return std::string();
    // Qt's first line names the cause ("could not connect to display :97").
    const std::string first = said.substr(0, said.find('\n'));
    return first.empty() ? std::string("the window system could not be started") : first;
}

} // namespace ostrella
