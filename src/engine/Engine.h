// SPDX-License-Identifier: MIT
// The line emulation engine: one EngineTick per engine-timer tick runs the modem and then the
// terminal the call was put through to, one state's work per tick. It holds one object of each
// profile over one LineContext and picks the call's modem and terminal when a client is put
// through; the profiles meet only through the events they tell the engine.
#pragma once

#include "engine/ClassicModem.h"
#include "engine/ClassicTerminal.h"
#include "engine/HayesModem.h"
#include "engine/LineContext.h"
#include "engine/LineSides.h"
#include "engine/ModemProfile.h"
#include "engine/StripCrLf.h"
#include "engine/Tap18Terminal.h"
#include "engine/TerminalProfile.h"
#include "link/LineLink.h"

#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace ostrella {

class Engine : public CallEvents, private ModemEvents, private TerminalEvents {
public:
    static constexpr long CompareWaitMs = ostrella::CompareWaitMs;
    static constexpr int SlowTickMs = ostrella::SlowTickMs;
    static constexpr int FastTickMs = ostrella::FastTickMs;

    Engine(LineLink& link, SystemLog& log, LogView& gLogPET, const TestPanel& panel,
           const Clock& clock, Timer& tmrDummyPkts, Labels& labels);
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // The fault plan consulted after the fault boxes, and where the call's events are told;
    // nullptr: none.
    void setFaultPlan(FaultPlan* plan) { line_.faults.setPlan(plan); }
    void setCallReport(CallReport* report) { line_.setReport(report); }
    // The script the modem and the terminal play beside their own rules, in force at once (for
    // the call on the line and later ones, until set again); the script in force.
    void setCallScript(const CallScript& script) { line_.setScript(script); }
    const CallScript& callScript() const { return line_.script(); }
    // Called with the number first thing in every dial, before its outcome is decided (see
    // FaultPolicy::setDialHook); nullptr: none.
    void setDialHook(std::function<void(std::string_view number)> hook)
    {
        line_.faults.setDialHook(std::move(hook));
    }
    // What the engine's log lines carry after their time stamp ("L3" for a line of a bank).
    void setLogSource(const std::string& source) { line_.setLogSource(source); }

    // The modem the client dials (classic unless set) from the next call on; the modem of the call
    // on the line (taken when the client was put through).
    void setModemProfile(ModemProfile profile) { nextModem_ = profile; }
    ModemProfile nextModemProfile() const { return nextModem_; }
    ModemProfile modemProfile() const { return callModem_; }
    const HayesModem& hayesModem() const { return hayes_; }

    // The carrier: on from a dial's CONNECT until the terminal or the call's modem ends the call.
    bool carrier() const { return carrier_ && modem_->holdsCarrier(); }
    // The call's modem's AT&C and AT&D (see ModemSide), and DTR dropped under AT&D1.
    unsigned dcdMode() const { return modem_->dcdMode(); }
    unsigned dtrMode() const { return modem_->dtrMode(); }
    void dtrCommandMode() { modem_->dtrCommandMode(); }

    // The line's data rate in bit/s; 0 (the default): not set. The hayes modem's CONNECT names it
    // from the next CONNECT on ("CONNECT 1200", code 5), and "CONNECT 2400" while it is not set;
    // the classic modem's CONNECT names no rate.
    void setLineRate(unsigned bps) { line_.setLineRate(bps); }
    unsigned lineRate() const { return line_.lineRate(); }

    // The terminal profile for the next call; the profile in force for the call on the line
    // (taken when the client was put through); the tap18 terminal and its settings.
    void setTerminal(TerminalProfile profile) { nextTerminal_ = profile; }
    TerminalProfile terminal() const { return nextTerminal_; }
    TerminalProfile callTerminal() const { return callTerminal_; }
    // The terminal of the call on the line becomes `profile` while the call is still the modem's
    // (no CONNECT has put it through yet), so that a dial (its hook) can choose the terminal it
    // reaches; once a CONNECT has put the call through, nothing changes.
    void setCallTerminal(TerminalProfile profile);
    Tap18Terminal& tap18() { return tap18_; }
    const Tap18Terminal& tap18() const { return tap18_; }

    // A client has been put through: the last dial's seven-bit request is forgotten, the block
    // count starts again, the call's modem and terminal are the ones chosen for it and the line
    // is in the modem's command state.
    void NewCall() override;
    // The client has gone. The engine notices nothing: like a terminal that misses the loss of
    // carrier, it keeps its state until the next call or its own time-out; only a hang-up the
    // call's script has the terminal wait for is called off (see TerminalSide::clientGone).
    void HungUp() override { terminal_->clientGone(); }
    // The call ends under the terminal, before its record is made (see TerminalSide::callCut).
    void callCut() { terminal_->callCut(); }
    // Bytes from the client as they arrive, for the modem (the hayes one answers its commands
    // from them, and times its escape guard).
    void DataArrived(std::string_view bytes) override { modem_->dataArrived(bytes); }

    // The line state becomes MODEM and any pending receive wait is cancelled, so the client's AT
    // commands reach the modem emulator and no stale result is seen later.
    void EnterModemState() { line_.enterModemState(); }

    // One engine step: shows "hh:mm:ss STATE" (the state at the start of the tick) on the progress
    // label, then the call's modem does the state's work, or else its terminal, or else the
    // classic terminal, which keeps the line between calls.
    void EngineTick();

    static std::string StripCrLf(std::string_view text) { return ostrella::StripCrLf(text); }

    Session& session() { return line_.session; }
    const Session& session() const { return line_.session; }

private:
    void putThrough(bool carrier) override
    {
        carrier_ = carrier;
        connected_ = connected_ || carrier;
        terminal_->putThrough(carrier);
    }
    void hungUp() override
    {
        carrier_ = false;
        line_.report().terminalHungUp();
        modem_->carrierLost();
    }

    LineContext line_;
    Labels& labels_;

    ClassicModem classicModem_;
    HayesModem hayes_;
    ClassicTerminal classicTerminal_;
    Tap18Terminal tap18_;

    ModemProfile nextModem_ = ModemProfile::Classic;
    ModemProfile callModem_ = ModemProfile::Classic;
    TerminalProfile nextTerminal_ = TerminalProfile::Classic;
    TerminalProfile callTerminal_ = TerminalProfile::Classic;
    ModemSide* modem_ = &classicModem_;
    TerminalSide* terminal_ = &classicTerminal_;
    bool carrier_ = false;
    // A CONNECT has put this call through to its terminal.
    bool connected_ = false;
};

} // namespace ostrella
