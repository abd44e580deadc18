// SPDX-License-Identifier: MIT
// The PET terminal's block side: each STX block is answered ACK, NAK or RS (or not at all) as the
// fault boxes direct; EOT hands the line back to the modem.
#include "engine/Checksum.h"
#include "engine/Engine.h"

namespace ostrella {

void Engine::tickStxno()
{
    switch (link_.GetCompStringTest()) {
    case CompResult::Waiting:
        break;
    case CompResult::NoMatch:
        if (ReceiveEot()) {
            logPet("  DP: EOT detected");
            session.gSevenBitDialled = false;
            link_.setSevenBitActive(false);
        } else {
            session.gLineState = LineState::IDLE;
            if (!link_.gRxPacket().empty())
                logPet("  DP: Rxd bad STX packet " + link_.gRxPacket());
        }
        break;
    case CompResult::Matched:
        if (!ReceiveBlock())
            session.gLineState = LineState::IDLE;
        break;
    }
}

bool Engine::ReceiveBlock()
{
    if (link_.gRxPacket().empty() || link_.gRxPacket().front() != Stx)
        return false;
    logPet("  DP: Rxd STX pkt:" + link_.gRxPacket());

    bool answered = true;
    if (panel_.ticked(Box::chkNAK))
        SendNak();
    else if (panel_.ticked(Box::chkREJ))
        SendReject();
    else if (panel_.ticked(Box::chkNOResponse))
        answered = false;
    else if (CheckBlock())
        SendAck();
    else
        SendNak();

    session.gLineState = LineState::STXNO;
    link_.SetAndCompareString(CompareWaitMs, std::string(1, Etx));
    return answered;
}

bool Engine::ReceiveEot()
{
    if (link_.gRxPacket().empty() || link_.gRxPacket().front() != Eot)
        return false;
    logPet("  DP: Rxd EOT pkt");
    // The terminal's disconnect message, which real senders wait for after their EOT.
    if (panel_.ticked(Box::chkDisconnect)) {
        logPet("  DP: Sending disconnect");
        link_.SendData(std::string { Esc, Eot, Cr });
    }
    EnterModemState();
    return true;
}

bool Engine::CheckBlock() const
{
    return !link_.gRxPacket().empty() && link_.gRxPacket().front() == Stx
        && BlockChecksum(link_.gRxPacket());
}

void Engine::SendAck()
{
    logPet("  DP: Sending ACK");
    link_.SendData(std::string { Ack, Cr });
}

void Engine::SendNak()
{
    logPet("  DP: Sending NAK");
    link_.SendData(std::string { Nak, Cr });
}

void Engine::SendReject()
{
    logPet("  DP: Sending REJ");
    link_.SendData(std::string { Rs, Cr });
}

} // namespace ostrella
