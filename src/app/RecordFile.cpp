// SPDX-License-Identifier: MIT
#include "app/RecordFile.h"

#include "sim/RecordJson.h"

#include <QCoreApplication>
#include <QTimer>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace ostrella {

struct RecordFile::Shared {
    std::mutex mutex;
    std::condition_variable work; // a record queued, the file to open, or the end
    std::condition_variable written; // the queue ran empty, or the writer ended
    std::string path;
    int fd = -1;
    bool regular = false; // a torn line can be taken back
    bool openPending = false; // a FIFO the writer opens once it has a reader
    bool stop = false;
    bool ended = false;
    std::deque<std::string> queue; // whole lines, '\n' included
    std::size_t queued = 0;
    bool failing = false;
    long lost = 0;
    bool lossSaid = false;
    std::vector<std::string> notices;

    std::string name() const { return "Record file <" + path + ">"; }

    // Writes all of `line`, or (a regular file) nothing of it; 0, or the error.
    int writeWhole(const std::string& line) const
    {
        const off_t start = regular ? ::lseek(fd, 0, SEEK_CUR) : -1;
        std::size_t done = 0;
        while (done < line.size()) {
            const ssize_t n = ::write(fd, line.data() + done, line.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            const int error = n < 0 ? errno : ENOSPC;
            if (done > 0 && start >= 0 && ::ftruncate(fd, start) == 0)
                (void)::lseek(fd, start, SEEK_SET);
            return error;
        }
        return 0;
    }

    // A regular file deleted (or renamed away and deleted) under the writer is made again at its
    // path, so that what follows is not written to a file nobody can open; true when it was.
    bool renewIfDeleted()
    {
        struct stat info { };
        if (!regular || ::fstat(fd, &info) != 0 || info.st_nlink > 0)
            return false;
        const int again = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
        if (again < 0)
            return false;
        ::close(fd);
        fd = again;
        return true;
    }

    // What was lost while the file could not keep up, said as it does again.
    std::string lostSince() const
    {
        return lost == 0 ? std::string("no record was lost")
                         : std::to_string(lost) + (lost == 1 ? " record was" : " records were")
                + " lost meanwhile";
    }

    void run()
    {
        std::unique_lock lock(mutex);
        for (;;) {
            work.wait(lock, [this] { return stop || openPending || !queue.empty(); });
            if (openPending) {
                lock.unlock();
                // Waits for the FIFO's reader.
                const int opened = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
                const int error = errno;
                lock.lock();
                openPending = false;
                fd = opened;
                if (fd < 0) {
                    notices.push_back("Event: ERROR " + name() + " cannot be opened: "
                                      + std::strerror(error) + "; records are not written");
                    break;
                }
                continue;
            }
            if (queue.empty())
                break; // the end, everything written
            const std::string line = queue.front();
            lock.unlock();
            const bool renewed = renewIfDeleted();
            const int error = writeWhole(line);
            lock.lock();
            if (renewed)
                notices.push_back("Event: " + name()
                                  + " was deleted; it is written anew from the next record");
            if (error == 0) {
                queue.pop_front();
                queued -= line.size();
                if (failing) {
                    failing = false;
                    notices.push_back("Event: " + name() + " is written again; " + lostSince());
                    lost = 0;
                    lossSaid = false;
                } else if (queue.empty() && lost > 0) {
                    notices.push_back("Event: " + name() + " keeps up again; " + lostSince());
                    lost = 0;
                    lossSaid = false;
                }
                if (queue.empty())
                    written.notify_all();
                continue;
            }
            if (!failing) {
                failing = true;
                notices.push_back("Event: ERROR " + name() + " cannot be written: "
                                  + std::strerror(error) + "; records wait (up to "
                                  + std::to_string(QueueLimit / (1024 * 1024))
                                  + " MiB) and are tried again every second");
            }
            if (stop)
                break;
            work.wait_for(lock, std::chrono::milliseconds(RetryMs), [this] { return stop; });
        }
        ended = true;
        written.notify_all();
    }
};

RecordFile::RecordFile()
    : shared_(std::make_shared<Shared>())
{
}

RecordFile::~RecordFile()
{
    noticeTimer_.reset();
    if (!writer_.joinable())
        return;
    drain(DrainMs);
    std::unique_lock lock(shared_->mutex);
    shared_->stop = true;
    shared_->work.notify_all();
    // A writer still held by the file (a FIFO nobody reads) is left behind.
    const bool ended = shared_->written.wait_for(lock, std::chrono::milliseconds(100),
                                                 [this] { return shared_->ended; });
    lock.unlock();
    if (ended)
        writer_.join();
    else
        writer_.detach();
    if (ended && shared_->fd >= 0)
        ::close(shared_->fd);
}

std::string RecordFile::open(const std::string& path)
{
    // Not waiting: a FIFO without a reader says so (ENXIO) rather than holding the start.
    const int fd
        = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0 && errno != ENXIO)
        return std::strerror(errno);
    shared_->path = path;
    if (fd < 0) {
        shared_->openPending = true;
        shared_->notices.push_back("Event: " + shared_->name()
                                   + " is a FIFO without a reader: records wait for one");
    } else {
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags >= 0)
            (void)::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
        struct stat info { };
        shared_->regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
        shared_->fd = fd;
    }
    writer_ = std::thread([shared = shared_] { shared->run(); });
    return std::string();
}

void RecordFile::setReport(Report report)
{
    report_ = std::move(report);
    if (QCoreApplication::instance() == nullptr)
        return;
    noticeTimer_ = std::make_unique<QTimer>();
    noticeTimer_->setInterval(250);
    QObject::connect(noticeTimer_.get(), &QTimer::timeout, [this] { deliverNotices(); });
    noticeTimer_->start();
    QTimer::singleShot(0, noticeTimer_.get(), [this] { deliverNotices(); });
}

void RecordFile::deliverNotices()
{
    std::vector<std::string> notices;
    {
        std::lock_guard lock(shared_->mutex);
        notices.swap(shared_->notices);
    }
    if (report_) {
        for (const std::string& text : notices)
            report_(text);
    }
}

bool RecordFile::drain(int ms)
{
    std::unique_lock lock(shared_->mutex);
    return shared_->written.wait_for(lock, std::chrono::milliseconds(ms), [this] {
        return shared_->queue.empty() || shared_->ended || shared_->failing;
    }) && shared_->queue.empty();
}

void RecordFile::pageRecorded(const PageRecord& page)
{
    writeLine(toJson(page));
}

void RecordFile::callRecorded(const CallRecord& call)
{
    writeLine(toJson(call));
}

void RecordFile::findingRecorded(const FindingRecord& finding)
{
    writeLine(toJson(finding));
}

void RecordFile::writeLine(const std::string& json)
{
    if (!writer_.joinable())
        return;
    bool sayLoss = false;
    {
        std::lock_guard lock(shared_->mutex);
        if (shared_->ended)
            return;
        if (shared_->queued + json.size() + 1 > QueueLimit) {
            ++shared_->lost;
            sayLoss = !shared_->lossSaid;
            shared_->lossSaid = true;
        } else {
            shared_->queue.push_back(json + '\n');
            shared_->queued += json.size() + 1;
            shared_->work.notify_one();
        }
    }
    if (sayLoss && report_)
        report_("Event: ERROR " + shared_->name()
                + " does not keep up: " + std::to_string(QueueLimit / (1024 * 1024))
                + " MiB of records wait, and the next ones are lost until it does");
}

} // namespace ostrella
