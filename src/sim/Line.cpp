// SPDX-License-Identifier: MIT
#include "sim/Line.h"

namespace ostrella {

Line::Line(const LinePorts& ports, SystemLog& log, Recorder& recorder, int number)
    : judge(ports.clock, recorder.judgeRun())
    , link(log, ports.systemLog, ports.socket, ports.ComTimer)
    , engine(link, log, ports.petLog, ports.panel, ports.clock, ports.tmrDummyPkts, ports.labels)
    , calls(recorder, number)
    , socket_(ports.socket)
    , tmrDummyPkts_(ports.tmrDummyPkts)
    , ComTimer_(ports.ComTimer)
    , number_(number)
{
    link.setCallEvents(&engine);
    link.setTap(&judge);
    engine.setCallReport(&calls);
    calls.setJudge(&judge);
    judge.setFindings(&calls);
    const TestPanel& panel = ports.panel;
    judge.setClosesAfterEot([this, &panel] {
        return engine.callTerminal() == TerminalProfile::Tap18 || panel.ticked(Box::chkDisconnect);
    });
    if (number > 0) {
        link.setLogSource("L" + std::to_string(number));
        engine.setLogSource("L" + std::to_string(number));
    }
    ports.tmrDummyPkts.setInterval(Engine::SlowTickMs);
    ports.ComTimer.setInterval(LineLink::ComTimerInterval);
}

} // namespace ostrella
