// SPDX-License-Identifier: MIT
#include "engine/Engine.h"

namespace ostrella {

Engine::Engine(LineLink& link, SystemLog& log, LogView& gLogPET, const TestPanel& panel,
               const Clock& clock, Timer& tmrDummyPkts, Labels& labels)
    : line_(link, log, gLogPET, panel, clock, tmrDummyPkts)
    , labels_(labels)
    , classicModem_(line_, *this)
    , hayes_(line_, *this)
    , classicTerminal_(line_, *this)
    , tap18_(line_, *this)
{
}

void Engine::NewCall()
{
    line_.session.gSevenBitDialled = false;
    carrier_ = false;
    connected_ = false;
    line_.newCall();
    callModem_ = nextModem_;
    // Every profile forgets the last call, whichever had it.
    tap18_.newCall();
    hayes_.newCall();
    modem_ = callModem_ == ModemProfile::Hayes ? static_cast<ModemSide*>(&hayes_) : &classicModem_;
    setCallTerminal(nextTerminal_);
    EnterModemState();
}

void Engine::setCallTerminal(TerminalProfile profile)
{
    if (connected_)
        return;
    callTerminal_ = profile;
    terminal_ = callTerminal_ == TerminalProfile::Tap18 ? static_cast<TerminalSide*>(&tap18_)
                                                        : &classicTerminal_;
}

void Engine::EngineTick()
{
    const LineState state = line_.session.gLineState;
    if (labels_.shown())
        labels_.setProgress(formatTimeOfDay(line_.clock.localTime()) + " "
                            + std::string(stateName(state)));
    if (modem_->tick(state) || terminal_->tick(state))
        return;
    if (terminal_ != &classicTerminal_)
        (void)classicTerminal_.tick(state);
}

} // namespace ostrella
