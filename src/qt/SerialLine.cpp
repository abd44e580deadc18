// SPDX-License-Identifier: MIT
#include "qt/SerialLine.h"

#include "qt/PtyLine.h"
#include "sim/Simulator.h"

#include <QTimer>

namespace ostrella {

SerialLine::SerialLine(std::string device, std::size_t index, QObject* parent)
    : QObject(parent)
    , device_(std::move(device))
    , index_(index)
    , port_(new QSerialPort(this))
    , poll_(new QTimer(this))
{
    connect(port_, &QSerialPort::readyRead, this, &SerialLine::onReadyRead);
    connect(port_, &QSerialPort::errorOccurred, this, &SerialLine::onError);
    poll_->setInterval(PollMs);
    connect(poll_, &QTimer::timeout, this, &SerialLine::poll);
}

SerialLine::~SerialLine()
{
    shut();
}

bool SerialLine::open(const SerialSettings& settings)
{
    port_->setPortName(QString::fromStdString(device_));
    if (!port_->open(QIODevice::ReadWrite)) {
        error_ = "cannot open " + device_ + ": " + port_->errorString().toStdString();
        return false;
    }
    const bool set = port_->setBaudRate(settings.baud)
        && port_->setDataBits(settings.dataBits == 7 ? QSerialPort::Data7 : QSerialPort::Data8)
        && port_->setParity(settings.parity == 'E'       ? QSerialPort::EvenParity
                                : settings.parity == 'O' ? QSerialPort::OddParity
                                                         : QSerialPort::NoParity)
        && port_->setStopBits(QSerialPort::OneStop)
        && port_->setFlowControl(settings.flow == 'H'       ? QSerialPort::HardwareControl
                                     : settings.flow == 'S' ? QSerialPort::SoftwareControl
                                                            : QSerialPort::NoFlowControl);
    if (!set) {
        error_ = "cannot set " + device_ + ": " + port_->errorString().toStdString();
        port_->close();
        return false;
    }
    // No carrier until a call connects.
    (void)port_->setDataTerminalReady(false);
    poll_->start();
    return true;
}

SocketState SerialLine::state() const
{
    return inCall_ && port_->isOpen() ? SocketState::Connected : SocketState::Closed;
}

void SerialLine::close()
{
    if (!inCall_)
        return;
    inCall_ = false;
    hangUpLater(this, sim_, index_, [this] { return inCall_; });
}

bool SerialLine::send(std::string_view bytes)
{
    if (state() != SocketState::Connected || port_->bytesToWrite() > WriteLimit)
        return false;
    return port_->write(bytes.data(), static_cast<qint64>(bytes.size()))
        == static_cast<qint64>(bytes.size());
}

void SerialLine::setCarrier(bool on)
{
    if (port_->isOpen())
        (void)port_->setDataTerminalReady(on);
}

void SerialLine::onReadyRead()
{
    while (port_->bytesAvailable() > 0) {
        const QByteArray bytes = port_->read(ReadChunk);
        if (bytes.isEmpty() || sim_ == nullptr)
            return;
        inCall_ = true;
        sim_->deviceData(
            index_, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    }
}

void SerialLine::poll()
{
    if (sim_ == nullptr || !port_->isOpen())
        return;
    const bool ready = (port_->pinoutSignals() & QSerialPort::DataSetReadySignal) != 0;
    sim_->deviceReady(index_, ready);
}

void SerialLine::onError(QSerialPort::SerialPortError error)
{
    // A port without modem lines (a pseudo-terminal) refuses to say or set them: that is no
    // fault of the line. A device that went away is.
    if (error != QSerialPort::ResourceError)
        return;
    poll_->stop();
    const bool was = inCall_;
    inCall_ = false;
    if (sim_ != nullptr) {
        sim_->logSystem("Event: ERROR " + device_ + ": " + port_->errorString().toStdString());
        if (was)
            sim_->deviceClosed(index_);
    }
    port_->close();
}

void SerialLine::shut()
{
    poll_->stop();
    if (port_->isOpen()) {
        (void)port_->setDataTerminalReady(false);
        port_->close();
    }
}

} // namespace ostrella
