// SPDX-License-Identifier: MIT
// The PET terminal's logon: the client's CR is answered "ID=", its ESC "PG1" line (any password)
// with logon-accepted. A block or EOT arriving instead is handed to the block side.
#include "engine/Engine.h"

namespace ostrella {

namespace {

const std::string IdPrompt = "ID=\r\n";
const std::string LogonAccepted = std::string { Ack, Cr, Esc } + "[p" + Cr;
const std::string LogonRequest = std::string { Esc } + "PG1";

} // namespace

void Engine::tickWaitCr()
{
    switch (link_.GetCompStringTest()) {
    case CompResult::Waiting:
        // "+++" left in the last captured packet: the client wants its modem back.
        if (!link_.gRxPacket().empty() && LineLink::CompString("+++", link_.gRxPacket())) {
            link_.SendData("OK\r\n");
            EnterModemState();
            link_.ClearInputBuffer();
        }
        break;
    case CompResult::Matched:
        if (ReceiveBlock() || ReceiveEot())
            break;
        logPet("  DP: Returning IDentify");
        link_.SendData(IdPrompt);
        link_.SetAndCompareString(CompareWaitMs, LogonRequest);
        session.gLineState = LineState::PASSWD;
        restartEngineTimer(FastTickMs);
        break;
    case CompResult::NoMatch:
        if (ReceiveBlock() || ReceiveEot())
            break;
        if (!link_.gRxPacket().empty())
            logPet("  DP: Bad response look for CR: " + link_.gRxPacket());
        session.gLineState = LineState::IDLE;
        break;
    }
}

void Engine::tickPasswd()
{
    switch (link_.GetCompStringTest()) {
    case CompResult::Waiting:
        break;
    case CompResult::Matched:
        // The password after "PG1" is not checked.
        logPet("  DP: Returning LOGONOK");
        link_.SendData(LogonAccepted);
        if (report_ != nullptr)
            report_->loggedOn();
        session.gLineState = LineState::STXNO;
        link_.SetAndCompareString(CompareWaitMs, std::string(1, Etx));
        break;
    case CompResult::NoMatch:
        if (ReceiveBlock() || ReceiveEot())
            break;
        logPet("  DP: Bad response look for logon: " + link_.gRxPacket());
        session.gLineState = LineState::IDLE;
        break;
    }
}

} // namespace ostrella
