// SPDX-License-Identifier: MIT
// The classic terminal's block side: each STX block is answered ACK, NAK or RS (or not at all) as
// the fault policy directs, else by its checksum, with the plan's faults of the line played around
// the answer; EOT hands the line back to the modem.
#include "engine/Checksum.h"
#include "engine/ClassicTerminal.h"
#include "engine/PageDecode.h"
#include "engine/PlanFaults.h"

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
    // The block as the terminal reads it: as it came, unless the plan corrupts it. The plan
    // chooses by the pager of the block as it came.
    std::string packet = link.gRxPacket();
    const BlockDecision decision = line_.faults.block(line_.takeBlockIndex(), [&packet] {
        const DecodedBlock block = decodeBlock(packet);
        return block.fields.empty() ? std::string() : block.fields.front();
    });
    if (decision.fault == LineFault::Corrupt)
        (void)corruptBlock(line_, packet);
    line_.logPet("  DP: Rxd STX pkt:" + packet);

    DirectedReply answer { BlockReply::Nak, ReplyReason::BadChecksum };
    if (decision.directed)
        answer = *decision.directed;
    else if (CheckBlock(packet))
        answer = { BlockReply::Ack, ReplyReason::Good };
    fault_ = decision.fault;
    switch (answer.reply) {
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
    // The plan's line faults are never a directed reply.
    case BlockReply::Garble:
    case BlockReply::Corrupt:
    case BlockReply::Drop:
        break;
    }
    fault_ = LineFault::None;
    line_.report().blockAnswered(packet, answer.reply, answer.reason);

    if (decision.fault == LineFault::Drop) {
        dropCarrier(line_);
        hangUp();
        return true;
    }
    line_.session.gLineState = LineState::STXNO;
    link.SetAndCompareString(CompareWaitMs, std::string(1, Etx));
    return answer.reply != BlockReply::None;
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

bool ClassicTerminal::CheckBlock(const std::string& packet)
{
    return !packet.empty() && packet.front() == Stx && BlockChecksum(packet);
}

void ClassicTerminal::SendAck()
{
    line_.logPet("  DP: Sending ACK");
    sendReply(Ack);
}

void ClassicTerminal::SendNak()
{
    line_.logPet("  DP: Sending NAK");
    sendReply(Nak);
}

void ClassicTerminal::SendReject()
{
    line_.logPet("  DP: Sending REJ");
    sendReply(Rs);
}

void ClassicTerminal::sendReply(char control)
{
    const std::string reply { control, Cr };
    line_.link.SendData(fault_ == LineFault::Garble ? garbledReply(line_, reply) : reply);
}

void ClassicTerminal::hangUp()
{
    line_.session.gSevenBitDialled = false;
    line_.link.setSevenBitActive(false);
    events_.hungUp();
    line_.enterModemState();
}

} // namespace ostrella
