// SPDX-License-Identifier: MIT
#include "sim/Simulator.h"

namespace ostrella {

Simulator::Simulator(const Ports& ports)
    : log(ports.clock)
    , listener(ports.server, log, ports.systemLog)
    , line(LinePorts { ports.clock, ports.tmrDummyPkts, ports.ComTimer, ports.socket,
                       ports.systemLog, ports.petLog, ports.panel, ports.labels },
           log)
    , banner(ports.clock, ports.labels)
    , recorder(ports.clock)
    , gLogSystem_(&ports.systemLog)
{
    line.engine.setFaultPlan(&plan);
    line.engine.setCallReport(&recorder);
}

bool Simulator::Start(const std::string& listenPort, const StartupLineText& startupLine)
{
    listener.gListenPort = listenPort;
    banner.LoadBanner();
    line.tmrDummyPkts().setEnabled(true);
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

void Simulator::wskMessage_ConnectionRequest(long requestID)
{
    if (line.socket().state() != SocketState::Closed) {
        recorder.callEnded("takeover");
        line.socket().close();
    }
    (void)listener.server().accept(requestID, line.socket());
    line.link.Accepted(requestID);
    recorder.callStarted(line.socket().remoteHostIp(), terminalName(line.engine.callTerminal()),
                         modemProfileName(line.engine.modemProfile()));
}

void Simulator::wskMessage_Close()
{
    recorder.callEnded("hangup");
    line.link.wskMessage_Close();
    listener.listenAgain();
}

void Simulator::wskMessage_Error()
{
    recorder.callEnded("hangup");
    line.link.wskMessage_Error();
    listener.listenAgain();
}

void Simulator::ShutDown()
{
    recorder.callEnded("shutdown");
}

void Simulator::wskMessage_DataArrival(std::string_view bytes)
{
    line.link.wskMessage_DataArrival(bytes);
}

void Simulator::tmrDummyPkts_Timer()
{
    banner.ShowNextBanner();
    line.link.ReportDropped();
    log.FlushLog();
    line.engine.EngineTick();
}

void Simulator::ComTimer_Timer()
{
    line.link.ComTimer_Timer();
}

void Simulator::tmrSystem_Timer()
{
    listener.RetryListen();
}

void Simulator::logSystem(std::string text)
{
    log.LogEvent(gLogSystem_, std::string(), std::move(text));
}

void Simulator::FlushAll()
{
    // Twice: the first ends an overflow episode still open, the second reports it.
    line.link.ReportDropped();
    line.link.ReportDropped();
    while (log.queued() > 0)
        log.FlushLog();
}

} // namespace ostrella
