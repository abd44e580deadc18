// SPDX-License-Identifier: MIT
// The classic terminal profile: the PET terminal as the simulator has always played it, reading
// the line by packets the receive wait cuts by silence. IDLE arms the wait for the client's CR;
// WAIT CR answers it "ID=" (ClassicLogon.cpp); PASSWD takes any ESC "PG1" logon; STXNO answers
// each STX block ACK, NAK or RS (or not at all) as the fault policy and the checksum say, and EOT
// hands the line back to the modem (ClassicBlocks.cpp). It also keeps the line between calls, for
// every profile: whatever state no other side takes is its.
#pragma once

#include "engine/LineContext.h"
#include "engine/LineSides.h"
#include "link/ControlChars.h"

namespace ostrella {

class ClassicTerminal : public TerminalSide {
public:
    explicit ClassicTerminal(LineContext& line);

    // Empty: the seven-bit flags cleared, then IDLE. IDLE: the line's framing from the last dial,
    // the CR wait armed, WAIT CR, the engine timer back at 500 ms. WAIT CR, PASSWD, STXNO: as
    // above. The modem's states are not the terminal's.
    bool tick(LineState state) override;

    // Block side, called from WAIT CR, PASSWD and STXNO on a captured packet.
    // A packet starting with STX is logged and answered (NAK, REJ, no answer or by its checksum, as
    // the fault policy says); the ETX wait is re-armed and the state is STXNO. False when the
    // packet is no block or the operator asked for no answer.
    bool ReceiveBlock();
    // A packet starting with EOT: "  DP: Rxd EOT pkt", (with chkDisconnect: "  DP: Sending
    // disconnect" and ESC EOT CR), the line back to MODEM. False otherwise, nothing changed.
    bool ReceiveEot();
    // gRxPacket starts with STX and carries a valid checksum.
    bool CheckBlock() const;
    void SendAck();
    void SendNak();
    void SendReject();

private:
    void tickWaitCr();
    void tickPasswd();
    void tickStxno();
    // The reply to a block: the fault policy's, else by the checksum.
    DirectedReply chooseReply();

    LineContext& line_;
};

} // namespace ostrella
