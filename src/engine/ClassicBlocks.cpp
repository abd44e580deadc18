// SPDX-License-Identifier: MIT
// The classic terminal's block side: each STX block is answered ACK, NAK or RS (or not at all) as
// the fault policy directs, else by its checksum; EOT hands the line back to the modem.
#include "engine/Checksum.h"
#include "engine/ClassicTerminal.h"
#include "engine/PageDecode.h"

namespace ostrella {

void ClassicTerminal::tickStxno()
{
    LineLink& link = line_.link;
    switch (link.GetCompStringTest()) {
    case CompResult::Waiting:
        break;
    case CompResult::NoMatch:
        if (ReceiveEot()) {
            line_.logPet("  DP: EOT detected");
            line_.session.gSevenBitDialled = false;
            link.setSevenBitActive(false);
        } else {
            line_.session.gLineState = LineState::IDLE;
            if (!link.gRxPacket().empty()) {
                line_.logPet("  DP: Rxd bad STX packet " + link.gRxPacket());
                line_.report().blockAnswered(link.gRxPacket(), BlockReply::None,
                                             ReplyReason::NotABlock);
            }
        }
        break;
    case CompResult::Matched:
        if (!ReceiveBlock()) {
            line_.session.gLineState = LineState::IDLE;
            // A packet with ETX but no STX: where a block was due, and no block.
            if (!link.gRxPacket().empty() && link.gRxPacket().front() != Stx)
                line_.report().blockAnswered(link.gRxPacket(), BlockReply::None,
                                             ReplyReason::NotABlock);
        }
        break;
    }
}

bool ClassicTerminal::ReceiveBlock()
{
    LineLink& link = line_.link;
    if (link.gRxPacket().empty() || link.gRxPacket().front() != Stx)
        return false;
    line_.logPet("  DP: Rxd STX pkt:" + link.gRxPacket());

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
    line_.report().blockAnswered(link.gRxPacket(), reply, reason);

    line_.session.gLineState = LineState::STXNO;
    link.SetAndCompareString(CompareWaitMs, std::string(1, Etx));
    return reply != BlockReply::None;
}

DirectedReply ClassicTerminal::chooseReply()
{
    const auto pagerOf = [this] {
        const DecodedBlock block = decodeBlock(line_.link.gRxPacket());
        return block.fields.empty() ? std::string() : block.fields.front();
    };
    if (const auto directed = line_.faults.blockReply(line_.takeBlockIndex(), pagerOf))
        return *directed;
    if (CheckBlock())
        return { BlockReply::Ack, ReplyReason::Good };
    return { BlockReply::Nak, ReplyReason::BadChecksum };
}

bool ClassicTerminal::ReceiveEot()
{
    LineLink& link = line_.link;
    if (link.gRxPacket().empty() || link.gRxPacket().front() != Eot)
        return false;
    line_.logPet("  DP: Rxd EOT pkt");
    line_.report().eotReceived();
    // The terminal's disconnect message, which real senders wait for after their EOT.
    if (line_.faults.disconnectAfterEot()) {
        line_.logPet("  DP: Sending disconnect");
        link.SendData(std::string { Esc, Eot, Cr });
    }
    line_.enterModemState();
    return true;
}

bool ClassicTerminal::CheckBlock() const
{
    const std::string& packet = line_.link.gRxPacket();
    return !packet.empty() && packet.front() == Stx && BlockChecksum(packet);
}

void ClassicTerminal::SendAck()
{
    line_.logPet("  DP: Sending ACK");
    line_.link.SendData(std::string { Ack, Cr });
}

void ClassicTerminal::SendNak()
{
    line_.logPet("  DP: Sending NAK");
    line_.link.SendData(std::string { Nak, Cr });
}

void ClassicTerminal::SendReject()
{
    line_.logPet("  DP: Sending REJ");
    line_.link.SendData(std::string { Rs, Cr });
}

} // namespace ostrella
