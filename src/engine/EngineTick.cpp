// SPDX-License-Identifier: MIT
#include "engine/Engine.h"

namespace ostrella {

Engine::Engine(Session& session, LineLink& link, SystemLog& log, const TestPanel& panel,
               const Clock& clock, Timer& tmrDummyPkts, Labels& labels)
    : session_(session)
    , link_(link)
    , log_(log)
    , panel_(panel)
    , clock_(clock)
    , tmrDummyPkts_(tmrDummyPkts)
    , labels_(labels)
{
}

void Engine::logPet(std::string text)
{
    log_.LogEvent(session_.gLogPET, std::string(), std::move(text));
}

void Engine::restartEngineTimer(int intervalMs)
{
    tmrDummyPkts_.setEnabled(false);
    tmrDummyPkts_.setInterval(intervalMs);
    tmrDummyPkts_.setEnabled(true);
}

void Engine::EngineTick()
{
    const LineState state = session_.gLineState;
    labels_.setProgress(formatTimeOfDay(clock_.localTime()) + " " + std::string(stateName(state)));

    switch (state) {
    case LineState::MODEM:
        if (!session_.gRxString.empty())
            tickModem();
        break;
    case LineState::WAIT:
        // "+++" answered one second later; back to the modem's command state.
        if (clock_.nowMs() > session_.gReplyDue) {
            link_.EnterModemState();
            link_.SendData(session_.gReplyText);
            session_.gReplyText.clear();
        }
        break;
    case LineState::WAITCONNECT:
        // The dial result (empty for no answer) goes out when due; the PET side starts either way.
        if (clock_.nowMs() > session_.gReplyDue) {
            session_.gLineState = LineState::WAIT_CR;
            link_.SendData(session_.gReplyText);
            session_.gReplyText.clear();
        }
        break;
    case LineState::IDLE:
        session_.gSevenBitActive = session_.gSevenBitDialled;
        link_.SetAndCompareString(CompareWaitMs, std::string(1, Cr));
        session_.gLineState = LineState::WAIT_CR;
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
        session_.gSevenBitDialled = false;
        session_.gSevenBitActive = false;
        session_.gLineState = LineState::IDLE;
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
