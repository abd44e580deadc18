// SPDX-License-Identifier: MIT
// A line on a serial port, to a device cabled to it as to a modem (a null-modem cable: the line's
// DTR reaches the device's DCD and DSR, the device's DTR reaches the line's DSR). Adapted to the
// core's Socket and ModemLines ports through Qt's serial port module. The port is open for the
// whole run: a call begins with what the device sends while none is on, and ends when the line
// hangs up or the device drops DTR (as AT&D says). The device's DTR is polled, since the module
// signals only changes of the port's own lines.
#pragma once

#include "ports/Ports.h"

#include <QObject>
#include <QSerialPort>
#include <string>
#include <string_view>

class QTimer;

namespace ostrella {

class Simulator;

struct SerialSettings {
    int baud = 2400;
    int dataBits = 7;
    // 'E', 'O' or 'N'.
    char parity = 'E';
    // 'N' none, 'H' RTS/CTS, 'S' XON/XOFF.
    char flow = 'N';
};

class SerialLine : public QObject, public Socket, public ModemLines {
    Q_OBJECT
public:
    static constexpr qint64 ReadChunk = 64 * 1024;
    static constexpr qint64 WriteLimit = 1024 * 1024;
    // How often the device's DTR is read.
    static constexpr int PollMs = 100;

    SerialLine(std::string device, std::size_t index, QObject* parent = nullptr);
    ~SerialLine() override;

    // Opens and sets the port. False with error() set when it cannot.
    [[nodiscard]] bool open(const SerialSettings& settings);
    const std::string& error() const { return error_; }
    const std::string& device() const { return device_; }
    void setSimulator(Simulator* sim) { sim_ = sim; }

    // --- Socket ---------------------------------------------------------------------------------
    SocketState state() const override;
    // The line hangs up: the call is over; the port stays open for the next.
    void close() override;
    [[nodiscard]] bool send(std::string_view bytes) override;
    std::string remoteHostIp() const override { return device_; }

    // --- ModemLines -----------------------------------------------------------------------------
    void setCarrier(bool on) override;

    // Closes the port. Safe to call twice.
    void shut();

private:
    void onReadyRead();
    void onError(QSerialPort::SerialPortError error);
    void poll();

    std::string device_;
    std::size_t index_;
    std::string error_;
    Simulator* sim_ = nullptr;
    QSerialPort* port_;
    QTimer* poll_;
    bool inCall_ = false;
};

} // namespace ostrella
