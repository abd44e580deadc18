// SPDX-License-Identifier: MIT
// When a report that is rewritten whole after each change gets written: at once when the last
// write was at least the interval ago, otherwise once the interval has passed, so a run of many
// short calls stays cheap; one write is still due at the end (flush).
#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <functional>

namespace ostrella {

class RewritePace {
public:
    // `write` writes the report; it calls writing() first.
    RewritePace(int intervalMs, std::function<void()> write)
        : intervalMs_(intervalMs)
        , write_(std::move(write))
    {
        timer_.setSingleShot(true);
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { write_(); });
    }

    // The report changed; `open`: it has a file to go to.
    void changed(bool open)
    {
        due_ = true;
        if (!open || timer_.isActive())
            return;
        const qint64 since = lastWrite_.isValid() ? lastWrite_.elapsed() : intervalMs_;
        if (since >= intervalMs_)
            write_();
        else
            timer_.start(static_cast<int>(intervalMs_ - since));
    }
    // Writes now when a write is due.
    void flush(bool open)
    {
        if (due_ && open)
            write_();
    }
    // A write begins: nothing is due until the next change.
    void writing()
    {
        timer_.stop();
        due_ = false;
        lastWrite_.start();
    }

private:
    int intervalMs_;
    std::function<void()> write_;
    bool due_ = false;
    QElapsedTimer lastWrite_;
    QTimer timer_;
};

} // namespace ostrella
