// SPDX-License-Identifier: MIT
#include "engine/Simulator.h"

#include <algorithm>

namespace ostrella {

std::string ListenPortFromArgument(std::string_view argument)
{
    const bool number = !argument.empty()
        && std::all_of(argument.begin(), argument.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
    return number ? std::string(argument) : std::string("9001");
}

std::string versionText(const Version& v)
{
    return "V" + std::to_string(v.major) + "." + std::to_string(v.minor) + "("
        + std::to_string(v.revision) + ")";
}

std::string MainCaption(const std::string& port, const Version& v)
{
    return "Ostrella on Port " + port + "  Brelk     Version  " + versionText(v) + " 2014";
}

std::string StartupLine(const std::string& port, const Version& v)
{
    return "Main: Ostrella on " + port + " now operational using version  " + versionText(v)
        + " 2014";
}

Simulator::Simulator(const Ports& ports)
    : log(ports.clock)
    , link(session, log, ports.socket, ports.ComTimer)
    , engine(session, link, log, ports.panel, ports.clock, ports.tmrDummyPkts, ports.labels)
    , banner(ports.clock, ports.labels)
    , ports_(ports)
{
    session.gLogSystem = &ports.systemLog;
    session.gLogPET = &ports.petLog;
    ports_.tmrDummyPkts.setInterval(Engine::SlowTickMs);
    ports_.ComTimer.setInterval(LineLink::ComTimerInterval);
}

bool Simulator::Start(const std::string& listenPort, const Version& version)
{
    session.gListenPort = listenPort;
    banner.LoadBanner();
    ports_.tmrDummyPkts.setEnabled(true);
    // The start-up line names the port actually taken, so the listening comes first; the line
    // still shows before the listening line.
    const bool listening = link.listen();
    log.LogEvent(session.gLogSystem, std::string(), StartupLine(session.gListenPort, version));
    if (listening)
        link.logListening();
    return listening;
}

void Simulator::tmrDummyPkts_Timer()
{
    banner.ShowNextBanner();
    link.ReportDropped();
    log.FlushLog();
    engine.EngineTick();
}

void Simulator::ComTimer_Timer()
{
    link.ComTimer_Timer();
}

} // namespace ostrella
