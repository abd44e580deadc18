// SPDX-License-Identifier: MIT
#include "sim/Simulator.h"

namespace ostrella {

Simulator::Simulator(const Ports& ports)
    : log_(ports.clock)
    , recorder_(ports.clock)
    , listener_(ports.server, log_, ports.systemLog)
    , banner_(ports.clock, ports.labels)
    , gLogSystem_(&ports.systemLog)
{
    const LineSetup setup {
        ports.clock, ports.systemLog, ports.petLog, ports.panel, log_, recorder_
    };
    if (ports.bank != nullptr && ports.bank->wake != nullptr) {
        lines_ = std::make_unique<LineBank>(setup, ports.bank->lines, ports.bank->socket,
                                            *ports.bank->wake, ports.tmrDummyPkts, ports.labels);
    } else {
        lines_ = std::make_unique<OneLine>(setup, ports.tmrDummyPkts, ports.ComTimer, ports.socket,
                                           ports.labels, ports.wireTimer);
    }
    if (ports.devices != nullptr && ports.devices->wake != nullptr && !ports.devices->lines.empty())
        devices_ = std::make_unique<DeviceLines>(setup, *ports.devices);
    forEachLine([this](Line& line) { line.engine.setFaultPlan(&plan_); });
}

bool Simulator::Start(const std::string& listenPort, const StartupLineText& startupLine)
{
    listener_.gListenPort = listenPort;
    banner_.LoadBanner();
    lines_->start();
    const bool listening = listener_.OpenListener(1);
    logSystem(startupLine(listener_.gListenPort));
    if (listening) {
        listener_.logListening();
    } else {
        logSystem("Event: ERROR Listen failed on port <" + listener_.gListenPort + "> "
                  + listener_.listenError());
    }
    return listening;
}

void Simulator::putThrough(long requestID, Line& target)
{
    (void)listener_.server().accept(requestID, target.socket());
    callBegins(requestID, target);
}

void Simulator::setDirector(CallDirector* director)
{
    director_ = director;
    forEachLine([director](Line& line) {
        if (director == nullptr) {
            line.engine.setDialHook({});
            return;
        }
        line.engine.setDialHook(
            [director, &line](std::string_view number) { director->dialling(line, number); });
    });
}

void Simulator::callBegins(long requestID, Line& target)
{
    if (director_ != nullptr)
        director_->callBegins(target);
    target.wire.newCall();
    // A paced line's CONNECT names its rate.
    if (target.wire.rate() > 0)
        target.engine.setLineRate(target.wire.rate());
    target.link.Accepted(requestID);
    target.calls.callStarted(target.socket().remoteHostIp(),
                             terminalName(target.engine.callTerminal()),
                             modemProfileName(target.engine.modemProfile()));
}

void Simulator::wskMessage_ConnectionRequest(long requestID)
{
    if (Line* target = lines_->admit()) {
        putThrough(requestID, *target);
        return;
    }
    const std::string ip = listener_.server().refuse(requestID);
    logSystem("Event: all " + std::to_string(lines_->count()) + " lines busy, refused <" + ip
              + ">");
}

void Simulator::callOver(std::size_t index, bool error)
{
    if (index >= lines_->count())
        return;
    Line& target = lines_->at(index);
    target.endCall("hangup");
    target.wire.callGone();
    if (error)
        target.link.wskMessage_Error();
    else
        target.link.wskMessage_Close();
    if (lines_->release(target))
        listener_.listenAgain();
}

void Simulator::deviceOpened(std::size_t index)
{
    if (index < deviceCount() && devices_->open(index))
        callBegins(devices_->nextRequestId(), devices_->at(index));
}

void Simulator::deviceData(std::size_t index, std::string_view bytes)
{
    if (index >= deviceCount())
        return;
    deviceOpened(index);
    Line& target = devices_->at(index);
    // A pseudo-terminal's program may set its speed once it has opened the line.
    if (target.wire.rate() > 0)
        target.engine.setLineRate(target.wire.rate());
    target.wire.received(bytes);
}

void Simulator::deviceClosed(std::size_t index)
{
    if (index >= deviceCount() || !devices_->busy(index))
        return;
    Line& target = devices_->at(index);
    target.endCall("hangup");
    target.wire.callGone();
    target.link.wskMessage_Close();
    devices_->release(index);
    target.showCarrier();
}

void Simulator::deviceReady(std::size_t index, bool ready)
{
    if (index >= deviceCount())
        return;
    if (devices_->at(index).deviceReady(ready) == Line::DtrAction::HangUp)
        deviceClosed(index);
}

void Simulator::setModemLines(std::size_t index, ModemLines* lines)
{
    if (index < deviceCount())
        devices_->at(index).setModemLines(lines);
}

void Simulator::setDeviceWire(std::size_t index, const WireSettings& settings)
{
    if (index < deviceCount())
        devices_->at(index).wire.setSettings(settings, lines_->count() + index);
}

void Simulator::wskMessage_Close(std::size_t index)
{
    callOver(index, false);
}

void Simulator::wskMessage_Error(std::size_t index)
{
    callOver(index, true);
}

void Simulator::ShutDown()
{
    forEachLine([](Line& line) { line.endCall("shutdown"); });
}

void Simulator::wskMessage_DataArrival(std::size_t index, std::string_view bytes)
{
    if (index < lines_->count())
        lines_->at(index).wire.received(bytes);
}

void Simulator::tmrDummyPkts_Timer()
{
    banner_.ShowNextBanner();
    lines_->reportDropped();
    for (std::size_t i = 0; i < deviceCount(); ++i) {
        if (devices_->busy(i))
            devices_->at(i).link.ReportDropped();
    }
    log_.FlushLog();
    lines_->ticked();
    if (director_ != nullptr)
        director_->tick();
}

void Simulator::setTerminal(TerminalProfile profile)
{
    forEachLine([&](Line& line) { line.engine.setTerminal(profile); });
}

void Simulator::setModemProfile(ModemProfile profile)
{
    forEachLine([&](Line& line) { line.engine.setModemProfile(profile); });
}

void Simulator::setTap18Settings(const Tap18Settings& settings)
{
    forEachLine([&](Line& line) { line.engine.tap18().settings = settings; });
}

void Simulator::setWireSettings(const WireSettings& settings)
{
    for (std::size_t i = 0; i < lines_->count(); ++i)
        lines_->at(i).wire.setSettings(settings, i);
}

void Simulator::logSystem(std::string text)
{
    log_.LogEvent(gLogSystem_, std::string(), std::move(text));
}

void Simulator::FlushAll()
{
    // Twice: the first ends an overflow episode still open, the second reports it.
    for (int pass = 0; pass < 2; ++pass) {
        forEachLine([](Line& line) { line.link.ReportDropped(); });
    }
    while (log_.queued() > 0)
        log_.FlushLog();
}

} // namespace ostrella
