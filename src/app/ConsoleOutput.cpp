// SPDX-License-Identifier: MIT
#include "app/ConsoleOutput.h"

#include <QDeadlineTimer>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace ostrella {

namespace {

// A pipe that reports itself writable takes at least this much without blocking, and so does a
// terminal (it reports writable only with most of its buffer free).
constexpr std::size_t WriteSlice = 512;

bool writable(int fd, int ms)
{
    pollfd p { fd, POLLOUT, 0 };
    return ::poll(&p, 1, ms) == 1 && (p.revents & POLLOUT) != 0;
}

} // namespace

ConsoleOutput::ConsoleOutput(int fd, QObject* parent)
    : QObject(parent)
    , fd_(fd)
{
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Write, this);
    notifier_->setEnabled(false);
    connect(notifier_, &QSocketNotifier::activated, this, &ConsoleOutput::writeSome);
}

ConsoleOutput::~ConsoleOutput() = default;

bool ConsoleOutput::writeLine(std::string_view line, std::string_view noticePrefix)
{
    if (closed_)
        return false;
    std::string notice;
    if (dropped_ > 0) {
        notice = std::string(noticePrefix) + "Log: " + std::to_string(dropped_)
            + (dropped_ == 1 ? " line" : " lines") + " dropped, standard output full\n";
    }
    if (buffered() + notice.size() + line.size() + 1 > BufferLimit) {
        ++dropped_;
        return false;
    }
    dropped_ = 0;
    if (offset_ > 0 && offset_ >= buffer_.size() / 2) {
        buffer_.erase(0, offset_);
        offset_ = 0;
    }
    buffer_ += notice;
    buffer_.append(line);
    buffer_.push_back('\n');
    writeSome();
    return true;
}

void ConsoleOutput::writeSome()
{
    while (!closed_ && buffered() > 0 && writable(fd_, 0)) {
        const std::size_t n = std::min(WriteSlice, buffered());
        const ssize_t written = ::write(fd_, buffer_.data() + offset_, n);
        if (written < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
                continue;
            fail(errno);
            return;
        }
        offset_ += static_cast<std::size_t>(written);
    }
    if (buffered() == 0) {
        buffer_.clear();
        offset_ = 0;
    }
    notifier_->setEnabled(!closed_ && buffered() > 0);
}

void ConsoleOutput::drain(int ms)
{
    QDeadlineTimer deadline(ms);
    while (!closed_ && buffered() > 0 && !deadline.hasExpired()) {
        if (writable(fd_, static_cast<int>(std::max<qint64>(1, deadline.remainingTime()))))
            writeSome();
    }
}

void ConsoleOutput::fail(int error)
{
    closed_ = true;
    buffer_.clear();
    offset_ = 0;
    notifier_->setEnabled(false);
    std::fprintf(stderr,
                 "ostrella: standard output %s (%s); the console output ends, the "
                 "simulator goes on\n",
                 error == EPIPE ? "closed by its reader" : "cannot be written",
                 std::strerror(error));
}

} // namespace ostrella
