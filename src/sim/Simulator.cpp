// SPDX-License-Identifier: MIT
#include "sim/Simulator.h"

#include <algorithm>

namespace ostrella {

std::vector<std::unique_ptr<Line>> Simulator::makeLines(const Ports& ports, Simulator* self)
{
    std::vector<std::unique_ptr<Line>> lines;
    if (ports.bank == nullptr || self->hub_ == nullptr) {
        lines.push_back(std::make_unique<Line>(
            LinePorts { ports.clock, ports.tmrDummyPkts, ports.ComTimer, ports.socket,
                        ports.systemLog, ports.petLog, ports.panel, ports.labels },
            self->log, self->recorder));
        return lines;
    }
    const auto count = static_cast<std::size_t>(std::max(ports.bank->lines, 1));
    lines.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        Timer& engine = self->hub_->add([self, i] { self->lines_[i]->engine.EngineTick(); });
        Timer& com = self->hub_->add([self, i] { self->lines_[i]->link.ComTimer_Timer(); });
        lines.push_back(std::make_unique<Line>(
            LinePorts { ports.clock, engine, com, ports.bank->socket(static_cast<int>(i)),
                        ports.systemLog, ports.petLog, ports.panel, self->noLabels_ },
            self->log, self->recorder, static_cast<int>(i + 1)));
    }
    return lines;
}

Simulator::Simulator(const Ports& ports)
    : log(ports.clock)
    , recorder(ports.clock)
    , hub_(ports.bank != nullptr && ports.bank->wake != nullptr
               ? std::make_unique<TimerHub>(ports.clock, *ports.bank->wake)
               : nullptr)
    , lines_(makeLines(ports, this))
    , listener(ports.server, log, ports.systemLog)
    , line(*lines_.front())
    , banner(ports.clock, ports.labels)
    , gLogSystem_(&ports.systemLog)
    , labels_(ports.labels)
    , clock_(ports.clock)
    , simTick_(ports.tmrDummyPkts)
{
    for (auto& l : lines_)
        l->engine.setFaultPlan(&plan);
}

bool Simulator::Start(const std::string& listenPort, const StartupLineText& startupLine)
{
    listener.gListenPort = listenPort;
    banner.LoadBanner();
    if (hub_ == nullptr) {
        line.tmrDummyPkts().setEnabled(true);
    } else {
        simTick_.setInterval(Engine::SlowTickMs);
        simTick_.setEnabled(true);
    }
    const bool listening = listener.OpenListener(1);
    logSystem(startupLine(listener.gListenPort));
    if (listening) {
        listener.logListening();
    } else {
        logSystem("Event: ERROR Listen failed on port <" + listener.gListenPort + "> "
                  + listener.listenError());
    }
    return listening;
}

void Simulator::putThrough(long requestID, Line& target)
{
    (void)listener.server().accept(requestID, target.socket());
    target.link.Accepted(requestID);
    target.calls.callStarted(target.socket().remoteHostIp(),
                             terminalName(target.engine.callTerminal()),
                             modemProfileName(target.engine.modemProfile()));
}

void Simulator::wskMessage_ConnectionRequest(long requestID)
{
    if (hub_ == nullptr) {
        if (line.socket().state() != SocketState::Closed) {
            line.calls.callEnded("takeover");
            line.socket().close();
        }
        putThrough(requestID, line);
        return;
    }
    for (auto& l : lines_) {
        if (l->socket().state() == SocketState::Closed) {
            l->tmrDummyPkts().setEnabled(true);
            putThrough(requestID, *l);
            return;
        }
    }
    const std::string ip = listener.server().refuse(requestID);
    logSystem("Event: all " + std::to_string(lines_.size()) + " lines busy, refused <" + ip + ">");
}

void Simulator::callOver(Line& target)
{
    if (hub_ == nullptr) {
        listener.listenAgain();
        return;
    }
    target.tmrDummyPkts().setEnabled(false);
    target.ComTimer().setEnabled(false);
}

void Simulator::wskMessage_Close(std::size_t index)
{
    if (index >= lines_.size())
        return;
    Line& target = *lines_[index];
    target.calls.callEnded("hangup");
    target.link.wskMessage_Close();
    callOver(target);
}

void Simulator::wskMessage_Error(std::size_t index)
{
    if (index >= lines_.size())
        return;
    Line& target = *lines_[index];
    target.calls.callEnded("hangup");
    target.link.wskMessage_Error();
    callOver(target);
}

void Simulator::ShutDown()
{
    for (auto& l : lines_)
        l->calls.callEnded("shutdown");
}

void Simulator::wskMessage_DataArrival(std::size_t index, std::string_view bytes)
{
    if (index < lines_.size())
        lines_[index]->link.wskMessage_DataArrival(bytes);
}

void Simulator::tmrDummyPkts_Timer()
{
    banner.ShowNextBanner();
    if (hub_ == nullptr) {
        line.link.ReportDropped();
        log.FlushLog();
        line.engine.EngineTick();
        return;
    }
    for (auto& l : lines_)
        l->link.ReportDropped();
    log.FlushLog();
    labels_.setProgress(formatTimeOfDay(clock_.localTime()) + " LINES "
                        + std::to_string(busyLines()) + "/" + std::to_string(lines_.size())
                        + " busy");
}

void Simulator::linesDue()
{
    if (hub_ != nullptr)
        hub_->wake();
}

void Simulator::ComTimer_Timer()
{
    line.link.ComTimer_Timer();
}

void Simulator::tmrSystem_Timer()
{
    listener.RetryListen();
}

std::size_t Simulator::busyLines() const
{
    std::size_t busy = 0;
    for (const auto& l : lines_)
        busy += l->socket().state() == SocketState::Connected ? 1 : 0;
    return busy;
}

void Simulator::setTerminal(TerminalProfile profile)
{
    for (auto& l : lines_)
        l->engine.setTerminal(profile);
}

void Simulator::setModemProfile(ModemProfile profile)
{
    for (auto& l : lines_)
        l->engine.setModemProfile(profile);
}

void Simulator::setTap18Settings(const Tap18Settings& settings)
{
    for (auto& l : lines_)
        l->engine.tap18().settings = settings;
}

void Simulator::logSystem(std::string text)
{
    log.LogEvent(gLogSystem_, std::string(), std::move(text));
}

void Simulator::FlushAll()
{
    // Twice: the first ends an overflow episode still open, the second reports it.
    for (int pass = 0; pass < 2; ++pass) {
        for (auto& l : lines_)
            l->link.ReportDropped();
    }
    while (log.queued() > 0)
        log.FlushLog();
}

} // namespace ostrella
