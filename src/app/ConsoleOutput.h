// SPDX-License-Identifier: MIT
// Console mode's standard output, which never holds up the line. The event loop only hands each
// line to a bounded queue (4 MiB); a writer thread of its own shows and writes the lines, and may
// wait for a slow or paused reader as long as it likes. A reader that falls that far behind loses
// lines (counted, and said by the next line that gets through); a reader that has gone ends the
// console output (one line on standard error) while the simulator goes on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

namespace ostrella {

class ConsoleOutput {
public:
    static constexpr std::size_t BufferLimit = 4 * 1024 * 1024;

    explicit ConsoleOutput(int fd);
    // Waits up to a second for the queue to empty, then leaves the writer behind.
    ~ConsoleOutput();
    ConsoleOutput(const ConsoleOutput&) = delete;
    ConsoleOutput& operator=(const ConsoleOutput&) = delete;

    // Queues a log line: `mark` ("SYS ") and `line` ("hh:mm:ss : ..." with the raw bytes), shown
    // with control characters named when written. False when the queue cannot take it: the line
    // is dropped and counted, and the next line queued is preceded by
    // "SYS hh:mm:ss :  Log: N lines dropped, standard output full".
    bool writeLogLine(std::string mark, std::string line);
    // Queues a line of text to be written as it is.
    bool writeText(std::string text);

    // Waits up to `ms` for every queued line to be written.
    void drain(int ms);

    // The reader has gone (or the output failed): nothing more is written.
    bool closed() const;

private:
    struct Shared;
    bool enqueue(std::string mark, std::string line, bool verbatim);

    std::shared_ptr<Shared> shared_;
    std::thread writer_;
};

} // namespace ostrella
