// SPDX-License-Identifier: MIT
// The classic terminal profile: the PET terminal as the simulator has always played it, reading
// the line by packets the receive wait cuts by silence. IDLE arms the wait for the client's CR;
// WAIT CR answers it "ID=" (ClassicLogon.cpp); PASSWD takes any ESC "PG1" logon; STXNO answers
// each STX block ACK, NAK or RS (or not at all) as the fault policy and the checksum say, and EOT
// hands the line back to the modem (ClassicBlocks.cpp); the plan may have the line garble the
// reply, corrupt the block as read or drop the carrier after the reply, and on a dropped carrier
// the terminal hangs up. It also keeps the line between calls, for every profile: whatever state
// no other side takes is its.
#pragma once

#include "engine/LineContext.h"
#include "engine/LineSides.h"
#include "link/ControlChars.h"

#include <string>

namespace ostrella {

class ClassicTerminal : public TerminalSide {
public:
    ClassicTerminal(LineContext& line, TerminalEvents& events);

    // Empty: the seven-bit flags cleared, then IDLE. IDLE: the line's framing from the last dial,
    // the CR wait armed, WAIT CR, the engine timer back at 500 ms. WAIT CR, PASSWD, STXNO: as
    // above. The modem's states are not the terminal's.
    bool tick(LineState state) override;

    // Block side, called from WAIT CR, PASSWD and STXNO on a captured packet.
    // A packet starting with STX is logged as the terminal reads it (corrupted first when the
    // plan says so) and answered (NAK, REJ, no answer or by its checksum, as the fault policy
    // says); the ETX wait is re-armed and the state is STXNO, or after a planned drop the
    // terminal hangs up. False when the packet is no block or the operator asked for no answer.
    bool ReceiveBlock();
    // A packet starting with EOT: "  DP: Rxd EOT pkt", (with chkDisconnect: "  DP: Sending
    // disconnect" and ESC EOT CR), the line back to MODEM. False otherwise, nothing changed.
    bool ReceiveEot();
    // `packet` starts with STX and carries a valid checksum.
    static bool CheckBlock(const std::string& packet);
    // The replies, garbled while the plan garbles this block's reply.
    void SendAck();
    void SendNak();
    void SendReject();

private:
    void tickWaitCr();
    void tickPasswd();
    void tickStxno();
    void sendReply(char control);
    // The carrier is lost: seven bits off, the modem says NO CARRIER, the line back to MODEM.
    void hangUp();

    LineContext& line_;
    TerminalEvents& events_;
    // The plan's fault of the line for the block being answered.
    LineFault fault_ = LineFault::None;
};

} // namespace ostrella
