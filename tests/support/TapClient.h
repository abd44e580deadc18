// SPDX-License-Identifier: MIT
// A paging client in virtual time, driven against a rig: it dials the hayes modem, logs on, sends
// its pages as TAP 1.8 blocks and ends the call, reacting to what comes back with TAP's timers.
// It follows TAP 1.8 and redials on failure; each flaw makes it get one point wrong. A tester's
// loop is built in: whenever a run is over it starts another LoopPauseMs later, with the pages
// not yet delivered and new ones up to the run's number.
#pragma once

#include "support/Rig.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace ostrella::test {

struct ClientFlaws {
    // CRs sent while waiting for ID=, one every t1, before the client gives up: TAP's n1 unless
    // set otherwise.
    int crs = 3;
    // After a NAK, the next page (or EOT) instead of the block again.
    bool nakGoesOn = false;
    // A page refused with RS is sent again.
    bool resendRefused = false;
    // The wait for a reply before resending: TAP's t3 unless set shorter.
    std::int64_t replyWaitMs = 10'000;
    // EOT then the hang-up at once, without waiting for ESC EOT CR.
    bool hangUpAtEot = false;
    // How long the client waits for ESC EOT CR after its EOT before it hangs up.
    std::int64_t goodbyeWaitMs = 10'000;
    // The terminal's ESC EOT CR in mid-call is not heeded: the block goes out again.
    bool ignoreDisconnect = false;
    // After a call that did not end well, every page of the run again, ACKed ones too.
    bool resendAll = false;
    // The terminal's ESC EOT CR in mid-call taken for the end of the job: the pages left are
    // dropped.
    bool dropRest = false;
    // How long a dial with no result is waited for before the client gives it up.
    std::int64_t dialWaitMs = 60'000;
};

class TapClient {
public:
    static constexpr std::int64_t StepMs = 10;
    static constexpr std::int64_t LoopPauseMs = 5000;

    TapClient(Rig& rig, ClientFlaws flaws = {}, int pagesPerRun = 2);

    // Runs the rig and the client for `ms` of virtual time.
    void run(std::int64_t ms);
    // Pages ACKed so far.
    int delivered() const { return delivered_; }
    // The number the client dials ("5551234", or "#0401" to choose a case).
    void setNumber(std::string number) { number_ = std::move(number); }

private:
    enum class State {
        Idle,
        Dialling,
        WaitId,
        WaitLogon,
        WaitGoAhead,
        WaitReply,
        WaitGoodbye,
        Held,
    };

    void step();
    void onSim(char c);
    void onLine(const std::string& line);
    void onControl(char c);
    void send(const std::string& bytes);
    void startRun();
    void dial();
    void sendBlock();
    void next();
    void endRun(bool delivered);
    void hangUp();
    void after(std::int64_t ms);
    static std::string block(const std::string& pager, const std::string& message);

    Rig& rig_;
    ClientFlaws flaws_;
    int pagesPerRun_;
    std::string number_ = "5551234";
    State state_ = State::Idle;
    bool connected_ = false;
    std::int64_t due_ = 0;
    std::string line_;
    bool esc_ = false;
    int crs_ = 0;
    int logons_ = 0;
    int tries_ = 0;
    int dials_ = 0;
    // The run's pages: all of them, and those still to send (front: the one in hand).
    std::vector<std::string> runPages_;
    std::deque<std::string> pending_;
    int serial_ = 0;
    int delivered_ = 0;
    bool sawCode_ = false;
};

} // namespace ostrella::test
