// SPDX-License-Identifier: MIT
// What every profile of a line works with: the line link, the clock, the engine timer, the fault
// policy, the call script, the call report, the session and the PET log. The engine builds one per
// line and hands it to each modem and terminal profile, which reach the line only through it and
// never through one another.
#pragma once

#include "engine/CallReport.h"
#include "engine/CallScript.h"
#include "engine/FaultPolicy.h"
#include "engine/Session.h"
#include "link/LineLink.h"
#include "log/SystemLog.h"
#include "ports/Ports.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace ostrella {

// The receive wait the terminals arm, in ms, and the engine timer's two paces.
inline constexpr long CompareWaitMs = 3000;
inline constexpr int SlowTickMs = 500;
inline constexpr int FastTickMs = 100;

class LineContext {
public:
    LineContext(LineLink& lineLink, SystemLog& log, LogView& gLogPET, const TestPanel& panel,
                const Clock& lineClock, Timer& tmrDummyPkts)
        : link(lineLink)
        , clock(lineClock)
        , faults(panel)
        , log_(log)
        , gLogPET_(&gLogPET)
        , tmrDummyPkts_(tmrDummyPkts)
    {
    }
    LineContext(const LineContext&) = delete;
    LineContext& operator=(const LineContext&) = delete;

    LineLink& link;
    const Clock& clock;
    FaultPolicy faults;
    Session session;

    std::int64_t nowMs() const { return clock.nowMs(); }

    // The line's data rate in bit/s; 0 (the default): not set.
    unsigned lineRate() const { return lineRate_; }
    void setLineRate(unsigned bps) { lineRate_ = bps; }

    // A line to the PET log, with the line's source ("L3" on a bank, empty otherwise).
    void logPet(std::string text) { log_.LogEvent(gLogPET_, logSource_, std::move(text)); }
    void setLogSource(std::string source) { logSource_ = std::move(source); }

    // The engine timer restarted at `intervalMs`: its next tick one interval from now.
    void restartEngineTimer(int intervalMs)
    {
        tmrDummyPkts_.setEnabled(false);
        tmrDummyPkts_.setInterval(intervalMs);
        tmrDummyPkts_.setEnabled(true);
    }

    // The line state becomes MODEM and any pending receive wait is cancelled, so the client's AT
    // commands reach the modem and no stale result is seen later.
    void enterModemState()
    {
        session.gLineState = LineState::MODEM;
        link.CancelWait();
    }

    // Where the call's events are told (a report that keeps nothing unless set).
    CallReport& report() { return report_ != nullptr ? *report_ : noReport_; }
    void setReport(CallReport* report) { report_ = report; }

    // The script the modem and the terminal play beside their own rules: the default until set,
    // then the one set, for the call on the line and every later one until set again.
    const CallScript& script() const { return script_; }
    void setScript(const CallScript& script) { script_ = script; }

    // The index (0 first) of the next block of the call, counted for the fault plan and the
    // script; how many blocks the call has had so far.
    std::size_t takeBlockIndex() { return blockIndex_++; }
    std::size_t blocksTaken() const { return blockIndex_; }
    void newCall() { blockIndex_ = 0; }

private:
    class NoReport : public CallReport {
    public:
        void dialled(std::string_view, DialOutcome, bool) override { }
        void loggedOn() override { }
        void blockAnswered(std::string_view, BlockReply, ReplyReason) override { }
        void pageAnswered(const TakenPage&, BlockReply, ReplyReason) override { }
        void eotReceived() override { }
    };

    SystemLog& log_;
    LogView* gLogPET_;
    std::string logSource_;
    Timer& tmrDummyPkts_;
    CallReport* report_ = nullptr;
    NoReport noReport_;
    CallScript script_;
    std::size_t blockIndex_ = 0;
    unsigned lineRate_ = 0;
};

} // namespace ostrella
