// SPDX-License-Identifier: MIT
// A line on a pseudo-terminal: a program opens the link at PATH as its modem device. Adapted to
// the core's Socket port: the program's first open begins a call and its last close ends it; the
// pseudo-terminal stays between calls. The line holds the terminal's other side open itself, so
// that it never reads as hung up while nobody has it, and learns of the program's opens and closes
// from inotify. The speed the program sets is read back for --bps auto (the driver keeps no
// character size or parity, so the framing is the line's own).
#pragma once

#include "ports/Ports.h"

#include <QObject>
#include <functional>
#include <string>
#include <string_view>

class QSocketNotifier;
class QTimer;

namespace ostrella {

class Simulator;

// A device line's hang-up asked for by the simulator: it hears of it after the step that asked,
// as of a TCP close, unless `callOn()` says a call began again meanwhile.
void hangUpLater(QObject* line, Simulator* sim, std::size_t index, std::function<bool()> callOn);

class PtyLine : public QObject, public Socket {
    Q_OBJECT
public:
    // Largest slice of received bytes handed to the simulator at once, and the most kept waiting
    // for the program to read.
    static constexpr qint64 ReadChunk = 64 * 1024;
    static constexpr std::size_t WriteLimit = 1024 * 1024;

    // `index`: the simulator's device line it serves.
    PtyLine(std::string path, std::size_t index, QObject* parent = nullptr);
    ~PtyLine() override;

    // Makes the pseudo-terminal and its link at the path. False with error() set when it cannot:
    // a path that exists and is not a link this program left is never replaced.
    [[nodiscard]] bool open();
    const std::string& error() const { return error_; }
    const std::string& path() const { return path_; }
    // The terminal's own device ("/dev/pts/3").
    const std::string& device() const { return device_; }
    // The speed the program set, in bit/s (0 before it set one it can be read as).
    unsigned clientRate() const;

    void setSimulator(Simulator* sim) { sim_ = sim; }

    // --- Socket ---------------------------------------------------------------------------------
    // Connected while the program has the device open and the call it began is not over.
    SocketState state() const override;
    // The line hangs up: the call is over. The program keeps its device; what it sends next
    // begins a new call.
    void close() override;
    [[nodiscard]] bool send(std::string_view bytes) override;
    // The path the program opens.
    std::string remoteHostIp() const override { return path_; }

    // Removes the link (if it is still this line's) and closes the terminal. Safe to call twice.
    void shut();

private:
    void onReadable();
    void onWritable();
    void onWatched();
    // True when nobody but this line has the terminal open.
    bool nobodyElse();
    void watch(bool on);
    void callOver();

    std::string path_;
    std::size_t index_;
    std::string device_;
    std::string error_;
    Simulator* sim_ = nullptr;
    int master_ = -1;
    int slave_ = -1;
    int inotify_ = -1;
    int watch_ = -1;
    QSocketNotifier* readNotifier_ = nullptr;
    QSocketNotifier* writeNotifier_ = nullptr;
    QSocketNotifier* watchNotifier_ = nullptr;
    std::string pending_;
    bool opened_ = false;
    bool inCall_ = false;
};

} // namespace ostrella
