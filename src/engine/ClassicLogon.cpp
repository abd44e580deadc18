// SPDX-License-Identifier: MIT
// The classic terminal's idle states and logon: the client's CR is answered "ID=", its ESC "PG1"
// line (any password) with logon-accepted. A block or EOT arriving instead is handed to the block
// side.
#include "engine/ClassicTerminal.h"

namespace ostrella {

namespace {

const std::string IdPrompt = "ID=\r\n";
const std::string LogonAccepted = std::string { Ack, Cr, Esc } + "[p" + Cr;
const std::string LogonRequest = std::string { Esc } + "PG1";

} // namespace

ClassicTerminal::ClassicTerminal(LineContext& line, TerminalEvents& events)
    : line_(line)
    , events_(events)
{
}

bool ClassicTerminal::tick(LineState state)
{
    Session& session = line_.session;
    switch (state) {
    case LineState::IDLE:
        line_.link.setSevenBitActive(session.gSevenBitDialled);
        line_.link.SetAndCompareString(CompareWaitMs, std::string(1, Cr));
        session.gLineState = LineState::WAIT_CR;
        line_.restartEngineTimer(SlowTickMs);
        return true;
    case LineState::WAIT_CR:
        tickWaitCr();
        return true;
    case LineState::PASSWD:
        tickPasswd();
        return true;
    case LineState::STXNO:
        tickStxno();
        return true;
    case LineState::Empty:
        session.gSevenBitDialled = false;
        line_.link.setSevenBitActive(false);
        session.gLineState = LineState::IDLE;
        return true;
    case LineState::MODEM:
    case LineState::WAIT:
    case LineState::WAITCONNECT:
        break;
    }
    return false;
}

void ClassicTerminal::tickWaitCr()
{
    LineLink& link = line_.link;
    switch (link.GetCompStringTest()) {
    case CompResult::Waiting:
        // "+++" left in the last captured packet: the client wants its modem back.
        if (!link.gRxPacket().empty() && LineLink::CompString("+++", link.gRxPacket())) {
            link.SendData("OK\r\n");
            line_.enterModemState();
            link.ClearInputBuffer();
        }
        break;
    case CompResult::Matched:
        if (ReceiveBlock() || ReceiveEot())
            break;
        line_.logPet("  DP: Returning IDentify");
        link.SendData(IdPrompt);
        link.SetAndCompareString(CompareWaitMs, LogonRequest);
        line_.session.gLineState = LineState::PASSWD;
        line_.restartEngineTimer(FastTickMs);
        break;
    case CompResult::NoMatch:
        if (ReceiveBlock() || ReceiveEot())
            break;
        if (!link.gRxPacket().empty())
            line_.logPet("  DP: Bad response look for CR: " + link.gRxPacket());
        line_.session.gLineState = LineState::IDLE;
        break;
    }
}

void ClassicTerminal::tickPasswd()
{
    LineLink& link = line_.link;
    switch (link.GetCompStringTest()) {
    case CompResult::Waiting:
        break;
    case CompResult::Matched:
        // The password after "PG1" is not checked.
        line_.logPet("  DP: Returning LOGONOK");
        link.SendData(LogonAccepted);
        line_.report().loggedOn();
        line_.session.gLineState = LineState::STXNO;
        link.SetAndCompareString(CompareWaitMs, std::string(1, Etx));
        break;
    case CompResult::NoMatch:
        if (ReceiveBlock() || ReceiveEot())
            break;
        line_.logPet("  DP: Bad response look for logon: " + link.gRxPacket());
        line_.session.gLineState = LineState::IDLE;
        break;
    }
}

} // namespace ostrella
