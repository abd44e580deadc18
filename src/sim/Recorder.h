// SPDX-License-Identifier: MIT
// Turns what the engine tells of a call into records: a page record for every packet taken as a
// block, a call record when the connection ends. Completed records go to every sink; with no
// sink nothing is kept.
#pragma once

#include "engine/CallReport.h"
#include "judge/Finding.h"
#include "judge/Judge.h"
#include "link/LineWire.h"
#include "ports/Ports.h"
#include "ports/Records.h"

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace ostrella {

// What the records of all lines share: where completed records go, and their numbering.
class Recorder {
public:
    explicit Recorder(const Clock& clock);

    void addSink(RecordSink* sink) { sinks_.push_back(sink); }
    void removeSink(RecordSink* sink) { std::erase(sinks_, sink); }
    bool recording() const { return !sinks_.empty(); }
    // Whether a sink wants the calls' timelines.
    bool wantsTimelines() const;

    // What the line's judges share.
    JudgeRun& judgeRun() { return judgeRun_; }

    // The rules a team has accepted for its client: their findings are not recorded or counted.
    void setIgnored(std::set<std::string, std::less<>> rules) { ignored_ = std::move(rules); }
    const std::set<std::string, std::less<>>& ignored() const { return ignored_; }
    // The findings recorded since start, by level.
    const FindingCounts& findingTotals() const { return totals_; }

private:
    friend class CallRecorder;

    const Clock& clock_;
    std::vector<RecordSink*> sinks_;
    long lastCall_ = 0;
    long lastPage_ = 0;
    long lastFinding_ = 0;
    std::set<std::string, std::less<>> ignored_;
    FindingCounts totals_;
    JudgeRun judgeRun_;
};

// One line's records: the call on it, as its engine tells it.
class CallRecorder : public CallReport, public FindingEvents {
public:
    // `line`: the line's number in a bank (1, 2, ...), written in its records; 0 for the one line
    // of a simulator without a bank. `name`: the device of a line on a pseudo-terminal or serial
    // port, written in its records instead; "" for a TCP line.
    CallRecorder(Recorder& recorder, int line, std::string name = {});

    // The record id of the call on the line; 0: none open (or nothing recorded).
    long callId() const { return call_ ? call_->id : 0; }
    // When the call on the line began (monotonic ms).
    std::int64_t callStartMs() const { return startMs_; }
    // The open call's timeline so far, when it is kept for the sinks; nothing else.
    std::optional<CallTimeline> timelineSoFar() const;
    // How far the open call's timeline has grown (pieces and findings); it only grows.
    std::size_t timelineLength() const;

    // The line's judge, told of the call's course; nullptr: none.
    void setJudge(Judge* judge) { judge_ = judge; }
    // The line's wire, whose changed characters the call record counts; nullptr: none.
    void setWire(const LineWire* wire) { wire_ = wire; }

    // A client was put through from `caller`: a new call begins, with the terminal profile
    // named `terminal` and the modem profile named `modem` in force.
    void callStarted(const std::string& caller, std::string_view terminal = "classic",
                     std::string_view modem = "classic");
    // The call's terminal was chosen again before the call was put through to it.
    void terminalChanged(std::string_view terminal);
    // The call on the line ended: "hangup", "takeover" or "shutdown" ("eot" when the last thing
    // the terminal saw of it was EOT and the peer then hung up, "carrier-lost" when it was the
    // plan's dropped carrier). Nothing when no call is open.
    void callEnded(const std::string& how);

    void dialled(std::string_view number, DialOutcome outcome, bool sevenBit) override;
    void loggedOn() override;
    void blockAnswered(std::string_view packet, BlockReply reply, ReplyReason reason) override;
    void pageAnswered(const TakenPage& page, BlockReply reply, ReplyReason reason) override;
    void eotReceived() override;
    void dialEnded(bool carrier) override;
    void terminalHungUp() override;
    void carrierDropped() override;
    // A character the plan changed: counted as the line's noise is, and shown to the judge.
    void lineChanged(bool inbound, char before, char after) override;

    // A finding of the judge on the open call: numbered, counted and handed to every sink
    // (nothing when no call is open or its rule is ignored).
    void finding(const Finding& finding) override;

private:
    // The call's timeline, for the sinks that want one.
    void recordTimeline(const CallRecord& call) const;
    // `call`'s timeline as the judge heard it up to now.
    CallTimeline timelineOf(const CallRecord& call) const;
    // Counts the page in its call and hands it to every sink.
    void recordPage(PageRecord page, BlockReply reply);
    // A new page of the open call, numbered, timed and addressed.
    PageRecord newPage();

    Recorder& recorder_;
    int line_;
    std::string lineName_;
    Judge* judge_ = nullptr;
    const LineWire* wire_ = nullptr;
    std::optional<CallRecord> call_;
    // The call's last event was EOT, or the plan's dropped carrier.
    bool afterEot_ = false;
    bool afterDrop_ = false;
    // The rules of the findings on blocks since the call's last page record.
    std::vector<std::string> blockFindings_;
    // When the call began (monotonic ms), and its findings for its timeline (at most
    // MaxTimelineFindings).
    std::int64_t startMs_ = 0;
    std::vector<TimelineFinding> timelineFindings_;
    static constexpr std::size_t MaxTimelineFindings = 1000;
};

// The texts a record carries.
std::string_view outcomeText(DialOutcome outcome);
std::string_view replyText(BlockReply reply);
std::string_view reasonText(ReplyReason reason);

} // namespace ostrella
