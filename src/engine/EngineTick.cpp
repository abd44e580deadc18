// SPDX-License-Identifier: MIT
#include "engine/Engine.h"

namespace ostrella {

Engine::Engine(LineLink& link, SystemLog& log, LogView& gLogPET, const TestPanel& panel,
               const Clock& clock, Timer& tmrDummyPkts, Labels& labels)
    : link_(link)
    , log_(log)
    , gLogPET_(&gLogPET)
    , panel_(panel)
    , clock_(clock)
    , tmrDummyPkts_(tmrDummyPkts)
    , labels_(labels)
    , hayes_(link, log, gLogPET, panel, clock, session)
{
}

void Engine::logPet(std::string text)
{
    log_.LogEvent(gLogPET_, logSource_, std::move(text));
}

void Engine::setLogSource(const std::string& source)
{
    logSource_ = source;
    hayes_.setLogSource(source);
}

void Engine::NewCall()
{
    session.gSevenBitDialled = false;
    blockIndex_ = 0;
    callTerminal_ = terminal_;
    modemProfile_ = nextModem_;
    tap18_.NewCall();
    hayes_.reset();
    EnterModemState();
}

void Engine::DataArrived(std::string_view bytes)
{
    if (modemProfile_ == ModemProfile::Hayes)
        hayes_.dataArrived(bytes);
}

void Engine::carrierLost()
{
    if (modemProfile_ == ModemProfile::Hayes)
        hayes_.carrierLost();
    else
        link_.SendData("NO CARRIER\r\n");
}

void Engine::EnterModemState()
{
    session.gLineState = LineState::MODEM;
    link_.CancelWait();
}

void Engine::restartEngineTimer(int intervalMs)
{
    tmrDummyPkts_.setEnabled(false);
    tmrDummyPkts_.setInterval(intervalMs);
    tmrDummyPkts_.setEnabled(true);
}

void Engine::EngineTick()
{
    const LineState state = session.gLineState;
    if (labels_.shown())
        labels_.setProgress(formatTimeOfDay(clock_.localTime()) + " "
                            + std::string(stateName(state)));
    if (modemProfile_ == ModemProfile::Hayes && hayes_.EngineTick(plan_, report_)) {
        if (state == LineState::WAITCONNECT && session.gLineState == LineState::WAIT_CR
            && callTerminal_ == TerminalProfile::Tap18)
            tap18_.carrierUp();
        return;
    }
    if (callTerminal_ == TerminalProfile::Tap18 && tap18_.EngineTick(state))
        return;

    switch (state) {
    case LineState::MODEM:
        if (link_.InBufferCount() > 0)
            tickModem();
        break;
    case LineState::WAIT:
        // "+++" answered one second later; back to the modem's command state.
        if (clock_.nowMs() > session.gReplyDue) {
            EnterModemState();
            link_.SendData(session.gReplyText);
            session.gReplyText.clear();
        }
        break;
    case LineState::WAITCONNECT:
        // The dial result (empty for no answer) goes out when due; the PET side starts either way.
        if (clock_.nowMs() > session.gReplyDue) {
            session.gLineState = LineState::WAIT_CR;
            link_.SendData(session.gReplyText);
            session.gReplyText.clear();
        }
        break;
    case LineState::IDLE:
        link_.setSevenBitActive(session.gSevenBitDialled);
        link_.SetAndCompareString(CompareWaitMs, std::string(1, Cr));
        session.gLineState = LineState::WAIT_CR;
        restartEngineTimer(SlowTickMs);
        break;
    case LineState::WAIT_CR:
        tickWaitCr();
        break;
    case LineState::PASSWD:
        tickPasswd();
        break;
    case LineState::STXNO:
        tickStxno();
        break;
    case LineState::Empty:
        session.gSevenBitDialled = false;
        link_.setSevenBitActive(false);
        session.gLineState = LineState::IDLE;
        break;
    }
}

std::string Engine::StripCrLf(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        if (ch != Cr && ch != Lf)
            out.push_back(ch);
    }
    return out;
}

} // namespace ostrella
