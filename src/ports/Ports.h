// SPDX-License-Identifier: MIT
// The few interfaces through which the core reaches the world. The Qt shell implements them with
// Qt objects; the tests implement them with fakes running in virtual time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ostrella {

struct TimeOfDay {
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// "hh:mm:ss", two digits each.
std::string formatTimeOfDay(const TimeOfDay& t);

class Clock {
public:
    virtual ~Clock() = default;
    // Monotonic milliseconds; only differences between readings mean anything.
    virtual std::int64_t nowMs() const = 0;
    // Local wall-clock time of day, for display only.
    virtual TimeOfDay localTime() const = 0;
    // Wall-clock ms since the Unix epoch, for records.
    virtual std::int64_t epochMs() const = 0;
};

// A periodic timer the core owns and the shell (or the rig) runs.
class Timer {
public:
    virtual ~Timer() = default;
    virtual bool enabled() const = 0;
    // Enabling a stopped timer starts it (first tick one interval later); enabling a running timer
    // changes nothing; disabling stops it.
    virtual void setEnabled(bool on) = 0;
    virtual int interval() const = 0;
    // A running timer restarts, its next tick one new interval from now.
    virtual void setInterval(int ms) = 0;
};

enum class SocketState { Closed, Connected };

// One line's connection to its client.
class Socket {
public:
    virtual ~Socket() = default;
    // Connected while a client is on the line.
    virtual SocketState state() const = 0;
    // Ends the connection, if there is one.
    virtual void close() = 0;
    // Writes raw bytes to the connected peer; false when they could not be written.
    [[nodiscard]] virtual bool send(std::string_view bytes) = 0;
    // The peer of the current (or last) connection.
    virtual std::string remoteHostIp() const = 0;
};

// The listening socket: it announces each client that calls by a request id, and puts the client
// through to a line when asked.
class ServerSocket {
public:
    virtual ~ServerSocket() = default;
    // Listen on all interfaces; port 0 lets the system choose. Already listening on the port is a
    // success. False with errorString() set when the port cannot be opened.
    [[nodiscard]] virtual bool listen(int port) = 0;
    // Puts the pending client known by requestId through to `line` (a socket of the same host);
    // false when the client is gone.
    [[nodiscard]] virtual bool accept(long requestId, Socket& line) = 0;
    // Closes the pending client known by requestId at once, without putting it through; its
    // address ("" when it is gone already).
    virtual std::string refuse(long requestId) = 0;
    virtual int localPort() const = 0;
    virtual std::string localIp() const = 0;
    virtual std::string errorString() const = 0;
};

// A serial line's modem-control signals, as a modem on a null-modem cable has them.
class ModemLines {
public:
    virtual ~ModemLines() = default;
    // The line's DTR, which the cable takes to the device's DCD and DSR: the carrier.
    virtual void setCarrier(bool on) = 0;
};

// One of the two on-screen logs: newest line at position 0.
class LogView {
public:
    virtual ~LogView() = default;
    // True for a log that takes every line the moment it is logged, stamped with that moment
    // (a stream); false for a list paced by the engine tick.
    virtual bool takesLinesAtOnce() const { return false; }
    virtual void insertTop(const std::string& line) = 0;
    virtual void selectTop() = 0;
    virtual int count() const = 0;
    virtual void removeAt(int index) = 0;
};

// The operator's fault boxes on the Test tab.
enum class Box {
    chkBusy,
    chkNoAnswer,
    chkNoCarrier,
    chkNoDialtone,
    chkNAK,
    chkREJ,
    chkNOResponse,
    chkDisconnect,
};

class TestPanel {
public:
    virtual ~TestPanel() = default;
    virtual bool ticked(Box box) const = 0;
};

class Labels {
public:
    virtual ~Labels() = default;
    // False for labels nobody sees: their texts need not be made.
    virtual bool shown() const { return true; }
    // lbTCPProgress: time of day and engine state.
    virtual void setProgress(const std::string& text) = 0;
    // lbMainFormBanner: the rotating banner.
    virtual void setBanner(const std::string& text) = 0;
};

} // namespace ostrella
