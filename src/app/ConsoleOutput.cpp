// SPDX-License-Identifier: MIT
#include "app/ConsoleOutput.h"

#include "qt/LogDisplay.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <unistd.h>

namespace ostrella {

namespace {

// How much of a log line the console shows: every received piece (64 KiB at most) whole.
constexpr std::size_t LineLimit = 128 * 1024;
// At the end, how long the last lines may wait for a slow reader.
constexpr int CloseDrainMs = 1000;

struct Entry {
    std::string mark;
    std::string line;
    bool verbatim = false;
    // Lines dropped just before this one.
    std::uint64_t droppedBefore = 0;
};

// "SYS hh:mm:ss :  Log: N lines dropped, standard output full", stamped like `line`.
std::string dropNotice(const std::string& line, std::uint64_t dropped)
{
    return "SYS " + line.substr(0, std::min<std::size_t>(line.size(), 11))
        + " Log: " + std::to_string(dropped) + (dropped == 1 ? " line" : " lines")
        + " dropped, standard output full\n";
}

} // namespace

struct ConsoleOutput::Shared {
    int fd;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Entry> queue;
    // Bytes queued and not yet written.
    std::size_t bytes = 0;
    // Lines dropped since the last one queued.
    std::uint64_t dropped = 0;
    bool writing = false;
    bool stop = false;
    std::atomic<bool> closed { false };

    // Writes all of `text`; false (and closed) when the output fails.
    bool writeAll(const std::string& text)
    {
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
            if (n >= 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (errno == EINTR)
                continue;
            const int error = errno;
            closed = true;
            std::fprintf(stderr,
                         "ostrella: standard output %s (%s); the console output ends, the "
                         "simulator goes on\n",
                         error == EPIPE ? "closed by its reader" : "cannot be written",
                         std::strerror(error));
            return false;
        }
        return true;
    }

    void run()
    {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return stop || !queue.empty(); });
            if (queue.empty())
                return;
            Entry entry = std::move(queue.front());
            queue.pop_front();
            const std::size_t size = entry.mark.size() + entry.line.size();
            writing = true;
            lock.unlock();

            std::string text;
            if (entry.droppedBefore > 0)
                text = dropNotice(entry.line, entry.droppedBefore);
            text += entry.mark;
            text += entry.verbatim ? entry.line : displayUtf8(entry.line, LineLimit);
            text += '\n';
            const bool ok = !closed && writeAll(text);

            lock.lock();
            writing = false;
            bytes -= size;
            if (!ok) {
                queue.clear();
                bytes = 0;
            }
            changed.notify_all();
        }
    }
};

ConsoleOutput::ConsoleOutput(int fd)
    : shared_(std::make_shared<Shared>())
{
    shared_->fd = fd;
    writer_ = std::thread([shared = shared_] { shared->run(); });
}

ConsoleOutput::~ConsoleOutput()
{
    drain(CloseDrainMs);
    {
        std::lock_guard lock(shared_->mutex);
        shared_->stop = true;
        // Whatever a stalled reader has not taken by now is given up.
        shared_->queue.clear();
        shared_->bytes = 0;
    }
    shared_->changed.notify_all();
    // A writer stuck in a write to a reader that never reads is left behind; it holds its own
    // share of the state and ends with the process.
    const bool idle = [this] {
        std::unique_lock lock(shared_->mutex);
        return shared_->changed.wait_for(lock, std::chrono::milliseconds(100),
                                         [this] { return !shared_->writing; });
    }();
    if (idle)
        writer_.join();
    else
        writer_.detach();
}

bool ConsoleOutput::writeLogLine(std::string mark, std::string line)
{
    return enqueue(std::move(mark), std::move(line), false);
}

bool ConsoleOutput::writeText(std::string text)
{
    return enqueue(std::string(), std::move(text), true);
}

bool ConsoleOutput::enqueue(std::string mark, std::string line, bool verbatim)
{
    if (shared_->closed)
        return false;
    {
        std::lock_guard lock(shared_->mutex);
        const std::size_t size = mark.size() + line.size();
        if (shared_->bytes + size > BufferLimit) {
            ++shared_->dropped;
            return false;
        }
        shared_->bytes += size;
        shared_->queue.push_back(Entry { std::move(mark), std::move(line), verbatim,
                                         std::exchange(shared_->dropped, 0) });
    }
    shared_->changed.notify_all();
    return true;
}

void ConsoleOutput::drain(int ms)
{
    std::unique_lock lock(shared_->mutex);
    shared_->changed.wait_for(lock, std::chrono::milliseconds(ms), [this] {
        return (shared_->queue.empty() && !shared_->writing) || shared_->closed;
    });
}

bool ConsoleOutput::closed() const
{
    return shared_->closed;
}

} // namespace ostrella
