// SPDX-License-Identifier: MIT
// The line emulation engine: one EngineTick per engine-timer tick plays the modem, then the PET
// terminal's logon and block side, one state's work per tick. It reads and consumes what the
// client sent, and answers, only through its line link.
#pragma once

#include "engine/CallReport.h"
#include "engine/FaultPlan.h"
#include "engine/HayesModem.h"
#include "engine/ModemProfile.h"
#include "engine/Session.h"
#include "engine/Tap18Terminal.h"
#include "engine/TerminalProfile.h"
#include "link/ControlChars.h"
#include "link/LineLink.h"
#include "log/SystemLog.h"
#include "ports/Ports.h"

#include <string>
#include <string_view>
#include <utility>

namespace ostrella {

class Engine : public CallEvents {
public:
    // The receive wait the engine arms, in ms, and the engine timer's two paces.
    static constexpr long CompareWaitMs = 3000;
    static constexpr int SlowTickMs = 500;
    static constexpr int FastTickMs = 100;

    Engine(LineLink& link, SystemLog& log, LogView& gLogPET, const TestPanel& panel,
           const Clock& clock, Timer& tmrDummyPkts, Labels& labels);

    // The fault plan consulted after the fault boxes, and where the call's events are told;
    // nullptr: none.
    void setFaultPlan(FaultPlan* plan) { plan_ = plan; }
    void setCallReport(CallReport* report) { report_ = report; }
    // What the engine's log lines carry after their time stamp ("L3" for a line of a bank).
    void setLogSource(const std::string& source);
    // The modem the client dials (classic unless set) from the next call on; the modem of the call
    // on the line (taken when the client was put through).
    void setModemProfile(ModemProfile profile) { nextModem_ = profile; }
    ModemProfile nextModemProfile() const { return nextModem_; }
    ModemProfile modemProfile() const { return modemProfile_; }
    // The terminal has hung up on the call: the modem reports NO CARRIER as its profile frames it
    // and takes the line back.
    void carrierLost();
    const HayesModem& hayesModem() const { return hayes_; }

    // The terminal profile for the next call; the profile in force for the call on the line
    // (taken when the client was put through); the tap18 terminal and its settings.
    void setTerminal(TerminalProfile profile) { terminal_ = profile; }
    TerminalProfile terminal() const { return terminal_; }
    TerminalProfile callTerminal() const { return callTerminal_; }
    Tap18Terminal& tap18() { return tap18_; }
    const Tap18Terminal& tap18() const { return tap18_; }

    // A client has been put through: the last dial's seven-bit request is forgotten, the block
    // count starts again and the line is in the modem's command state.
    void NewCall() override;
    // The client has gone. The engine notices nothing: like a terminal that misses the loss of
    // carrier, it keeps its state until the next call or its own time-out.
    void HungUp() override { }
    // Bytes from the client as they arrive: the hayes modem times its escape guard from them.
    void DataArrived(std::string_view bytes) override;

    // The line state becomes MODEM and any pending receive wait is cancelled, so the client's AT
    // commands reach the modem emulator and no stale result is seen later.
    void EnterModemState();

    // One engine step: shows "hh:mm:ss STATE" (the state at the start of the tick) on the progress
    // label, then does the work of the current state only.
    void EngineTick();

    // Block side, called from WAIT CR, PASSWD and STXNO on a captured packet.
    // A packet starting with STX is logged and answered (NAK, REJ, no answer or by its checksum, as
    // the fault boxes say); the ETX wait is re-armed and the state is STXNO. False when the packet
    // is no block or the operator asked for no answer.
    bool ReceiveBlock();
    // A packet starting with EOT: "  DP: Rxd EOT pkt", (with chkDisconnect: "  DP: Sending
    // disconnect" and ESC EOT CR), the line back to MODEM. False otherwise, nothing changed.
    bool ReceiveEot();
    // gRxPacket starts with STX and carries a valid checksum.
    bool CheckBlock() const;
    void SendAck();
    void SendNak();
    void SendReject();

    // The input with every CR and LF removed.
    static std::string StripCrLf(std::string_view text);

    Session session;

private:
    void tickModem();
    void dial(const std::string& rx);
    void tickWaitCr();
    void tickPasswd();
    void tickStxno();
    void restartEngineTimer(int intervalMs);
    // The reply to a block: the fault boxes, then the plan, then the checksum.
    std::pair<BlockReply, ReplyReason> chooseReply();
    void logPet(std::string text);

    LineLink& link_;
    SystemLog& log_;
    LogView* gLogPET_;
    const TestPanel& panel_;
    const Clock& clock_;
    Timer& tmrDummyPkts_;
    Labels& labels_;
    FaultPlan* plan_ = nullptr;
    CallReport* report_ = nullptr;
    std::string logSource_;
    // Blocks received in this call so far.
    std::size_t blockIndex_ = 0;

    friend class Tap18Terminal;
    TerminalProfile terminal_ = TerminalProfile::Classic;
    TerminalProfile callTerminal_ = TerminalProfile::Classic;
    Tap18Terminal tap18_ { *this };

    ModemProfile nextModem_ = ModemProfile::Classic;
    ModemProfile modemProfile_ = ModemProfile::Classic;
    HayesModem hayes_;
};

} // namespace ostrella
