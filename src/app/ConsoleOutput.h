// SPDX-License-Identifier: MIT
// Console mode's standard output, which never holds up the line: lines go into a bounded buffer
// and are written whenever the reader takes them, a little at a time and only when a write cannot
// block. A reader that falls 4 MiB behind loses lines (counted); a reader that has gone ends the
// console output (one line on standard error) while the simulator goes on.
#pragma once

#include <QObject>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class QSocketNotifier;

namespace ostrella {

class ConsoleOutput : public QObject {
    Q_OBJECT

public:
    static constexpr std::size_t BufferLimit = 4 * 1024 * 1024;

    explicit ConsoleOutput(int fd, QObject* parent = nullptr);
    ~ConsoleOutput() override;

    // Queues `line` and a newline and writes what can be written now. False when the buffer
    // cannot take it: the line is dropped and counted. When lines were dropped before it, it is
    // preceded by `noticePrefix` + "Log: N lines dropped, standard output full".
    bool writeLine(std::string_view line, std::string_view noticePrefix = {});

    // At the end: writes what is buffered, waiting at most `ms` for the reader.
    void drain(int ms);

    // The reader has gone (or the output failed): nothing more is written.
    bool closed() const { return closed_; }
    std::size_t buffered() const { return buffer_.size() - offset_; }

private:
    // Writes while a write cannot block; arms the notifier when something is left.
    void writeSome();
    void fail(int error);

    int fd_;
    std::string buffer_;
    std::size_t offset_ = 0;
    std::uint64_t dropped_ = 0;
    bool closed_ = false;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace ostrella
