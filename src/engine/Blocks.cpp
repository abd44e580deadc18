// SPDX-License-Identifier: MIT
// The PET terminal's block side: each STX block is answered ACK, NAK or RS (or not at all) as the
// fault boxes direct; EOT hands the line back to the modem.
#include "engine/Checksum.h"
#include "engine/Engine.h"
#include "engine/PageDecode.h"

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
            if (!link_.gRxPacket().empty()) {
                logPet("  DP: Rxd bad STX packet " + link_.gRxPacket());
                if (report_ != nullptr)
                    report_->blockAnswered(link_.gRxPacket(), BlockReply::None,
                                           ReplyReason::NotABlock);
            }
        }
        break;
    case CompResult::Matched:
        if (!ReceiveBlock()) {
            session.gLineState = LineState::IDLE;
            // A packet with ETX but no STX: where a block was due, and no block.
            if (report_ != nullptr && !link_.gRxPacket().empty()
                && link_.gRxPacket().front() != Stx)
                report_->blockAnswered(link_.gRxPacket(), BlockReply::None, ReplyReason::NotABlock);
        }
        break;
    }
}

bool Engine::ReceiveBlock()
{
    if (link_.gRxPacket().empty() || link_.gRxPacket().front() != Stx)
        return false;
    logPet("  DP: Rxd STX pkt:" + link_.gRxPacket());

    const auto [reply, reason] = chooseReply();
    switch (reply) {
    case BlockReply::Ack:
        SendAck();
        break;
    case BlockReply::Nak:
        SendNak();
        break;
    case BlockReply::Rej:
        SendReject();
        break;
    case BlockReply::None:
        break;
    }
    ++blockIndex_;
    if (report_ != nullptr)
        report_->blockAnswered(link_.gRxPacket(), reply, reason);

    session.gLineState = LineState::STXNO;
    link_.SetAndCompareString(CompareWaitMs, std::string(1, Etx));
    return reply != BlockReply::None;
}

std::pair<BlockReply, ReplyReason> Engine::chooseReply()
{
    if (panel_.ticked(Box::chkNAK))
        return { BlockReply::Nak, ReplyReason::Box };
    if (panel_.ticked(Box::chkREJ))
        return { BlockReply::Rej, ReplyReason::Box };
    if (panel_.ticked(Box::chkNOResponse))
        return { BlockReply::None, ReplyReason::Box };
    if (plan_ != nullptr && !plan_->empty()) {
        const DecodedBlock block = decodeBlock(link_.gRxPacket());
        const std::string pager = block.fields.empty() ? std::string() : block.fields.front();
        if (const auto planned = plan_->blockReply(pager, blockIndex_))
            return { *planned, ReplyReason::Plan };
    }
    if (CheckBlock())
        return { BlockReply::Ack, ReplyReason::Good };
    return { BlockReply::Nak, ReplyReason::BadChecksum };
}

bool Engine::ReceiveEot()
{
    if (link_.gRxPacket().empty() || link_.gRxPacket().front() != Eot)
        return false;
    logPet("  DP: Rxd EOT pkt");
    if (report_ != nullptr)
        report_->eotReceived();
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
