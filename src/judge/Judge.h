// SPDX-License-Identifier: MIT
// The judge of one line: it reads the call's byte stream both ways with its times, keeps the
// transcript, and tells a finding for each rule of TAP 1.8 and of the modem dialogue the client
// breaks. It only watches: nothing it does reaches the line.
#pragma once

#include "judge/Finding.h"
#include "judge/Transcript.h"
#include "link/LineWire.h"
#include "ports/Ports.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace ostrella {

// What the judges of all lines share in a run: the pages ACKed so far, to tell a page delivered
// again in a later call. At most MaxPages are remembered; the oldest go first.
class JudgeRun {
public:
    static constexpr std::size_t MaxPages = 100'000;

    // A number for a new call, unique in the run.
    long newCall() { return ++lastCall_; }
    // The call that last had this page ACKed; 0: none remembered.
    long deliveredIn(std::string_view page) const;
    void delivered(std::string_view page, long call);

private:
    std::unordered_map<std::size_t, long> calls_;
    std::deque<std::size_t> order_;
    long lastCall_ = 0;
};

class Judge : public LineTap, public WireWatcher {
public:
    Judge(const Clock& clock, JudgeRun& run);
    ~Judge() override;
    Judge(const Judge&) = delete;
    Judge& operator=(const Judge&) = delete;

    // Where findings go; nullptr: nowhere.
    void setFindings(FindingEvents* events) { events_ = events; }
    // Whether the terminal of the call sends ESC EOT CR after the client's EOT, asked at the EOT.
    void setClosesAfterEot(std::function<bool()> closes) { closesAfterEot_ = std::move(closes); }

    // A client has been put through, to the tap18 terminal or another.
    void callStarted(bool tap18Terminal);
    // The call's terminal was chosen again (at a dial, before the call was put through).
    void terminalChanged(bool tap18Terminal);
    // The modem has taken a dial; `sevenBit` when the call is to use seven-bit framing.
    void dialStarted(bool sevenBit);
    // The dial's result has gone out; `carrier` when it connected.
    void dialEnded(bool carrier);
    // The terminal hung up on the call.
    void terminalHungUp();
    // The deadlines due by now (called on the line's engine ticks).
    void poll();
    // The call ended: `byClient` when the client hung up (not a shut-down or a takeover).
    void callEnded(bool byClient);

    void received(std::string_view bytes) override;
    void sent(std::string_view bytes) override;
    // A character the line changed on its way: kept in the transcript, so that what the client
    // did after it is read with it.
    void changed(bool inbound, char before, char after) override;

    const Transcript& transcript() const { return transcript_; }

private:
    struct State;

    const Clock& clock_;
    JudgeRun& run_;
    FindingEvents* events_ = nullptr;
    std::function<bool()> closesAfterEot_;
    Transcript transcript_;
    std::unique_ptr<State> state_;
};

} // namespace ostrella
