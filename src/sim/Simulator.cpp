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
                                           ports.labels);
    }
    for (std::size_t i = 0; i < lines_->count(); ++i)
        lines_->at(i).engine.setFaultPlan(&plan_);
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
    target.calls.callEnded("hangup");
    if (error)
        target.link.wskMessage_Error();
    else
        target.link.wskMessage_Close();
    if (lines_->release(target))
        listener_.listenAgain();
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
    for (std::size_t i = 0; i < lines_->count(); ++i)
        lines_->at(i).calls.callEnded("shutdown");
}

void Simulator::wskMessage_DataArrival(std::size_t index, std::string_view bytes)
{
    if (index < lines_->count())
        lines_->at(index).link.wskMessage_DataArrival(bytes);
}

void Simulator::tmrDummyPkts_Timer()
{
    banner_.ShowNextBanner();
    lines_->reportDropped();
    log_.FlushLog();
    lines_->ticked();
}

void Simulator::setTerminal(TerminalProfile profile)
{
    for (std::size_t i = 0; i < lines_->count(); ++i)
        lines_->at(i).engine.setTerminal(profile);
}

void Simulator::setModemProfile(ModemProfile profile)
{
    for (std::size_t i = 0; i < lines_->count(); ++i)
        lines_->at(i).engine.setModemProfile(profile);
}

void Simulator::setTap18Settings(const Tap18Settings& settings)
{
    for (std::size_t i = 0; i < lines_->count(); ++i)
        lines_->at(i).engine.tap18().settings = settings;
}

void Simulator::logSystem(std::string text)
{
    log_.LogEvent(gLogSystem_, std::string(), std::move(text));
}

void Simulator::FlushAll()
{
    // Twice: the first ends an overflow episode still open, the second reports it.
    for (int pass = 0; pass < 2; ++pass) {
        for (std::size_t i = 0; i < lines_->count(); ++i)
            lines_->at(i).link.ReportDropped();
    }
    while (log_.queued() > 0)
        log_.FlushLog();
}

} // namespace ostrella
