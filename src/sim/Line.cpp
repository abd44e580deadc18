// SPDX-License-Identifier: MIT
#include "sim/Line.h"

namespace ostrella {

Line::Line(const LinePorts& ports, SystemLog& log, Recorder& recorder, int number,
           const std::string& name)
    : judge(ports.clock, recorder.judgeRun())
    , wire(ports.clock, ports.socket, log, ports.systemLog)
    , link(log, ports.systemLog, wire, ports.ComTimer)
    , engine(link, log, ports.petLog, ports.panel, ports.clock, ports.tmrDummyPkts, ports.labels)
    , calls(recorder, number, name)
    , socket_(ports.socket)
    , tmrDummyPkts_(ports.tmrDummyPkts)
    , ComTimer_(ports.ComTimer)
    , number_(number)
    , name_(name)
{
    link.setCallEvents(&engine);
    wire.setLink(&link);
    wire.setTap(&judge);
    wire.setWatcher(&judge);
    wire.setTimer(ports.wireTimer);
    engine.setCallReport(&calls);
    calls.setJudge(&judge);
    calls.setWire(&wire);
    judge.setFindings(&calls);
    const TestPanel& panel = ports.panel;
    judge.setClosesAfterEot([this, &panel] {
        if (engine.callTerminal() == TerminalProfile::Tap18)
            return engine.callScript().afterEot != CallScript::AfterEot::Silent;
        return panel.ticked(Box::chkDisconnect);
    });
    const std::string source = !name.empty() ? name
        : number > 0                         ? "L" + std::to_string(number)
                                             : std::string();
    if (!source.empty()) {
        link.setLogSource(source);
        wire.setLogSource(source);
        engine.setLogSource(source);
    }
    ports.tmrDummyPkts.setInterval(Engine::SlowTickMs);
    ports.ComTimer.setInterval(LineLink::ComTimerInterval);
}

void Line::setModemLines(ModemLines* lines)
{
    modemLines_ = lines;
    carrierShown_.reset();
    showCarrier();
}

void Line::showCarrier()
{
    if (modemLines_ == nullptr)
        return;
    const bool on
        = engine.dcdMode() == 0 || (socket_.state() == SocketState::Connected && engine.carrier());
    if (carrierShown_ != on) {
        carrierShown_ = on;
        modemLines_->setCarrier(on);
    }
}

Line::DtrAction Line::deviceReady(bool ready)
{
    const bool dropped = deviceReady_ && !ready;
    deviceReady_ = ready;
    if (!dropped || socket_.state() != SocketState::Connected)
        return DtrAction::None;
    switch (engine.dtrMode()) {
    case 0:
        return DtrAction::None;
    case 1:
        engine.dtrCommandMode();
        return DtrAction::CommandMode;
    default:
        return DtrAction::HangUp;
    }
}

} // namespace ostrella
