// SPDX-License-Identifier: MIT
// The test suite: the simulator plays the catalogue's cases to a client, one after the other,
// and judges each from the calls it took. A case begins with the first call after the previous
// one was decided and takes every call until its verdict is known; a dial of "#0401" plays case
// 4.1 whatever the order. It directs the lines' calls (profiles, script, plan, wire) and reads
// the records and timelines of the calls it directed; it changes nothing else.
#pragma once

#include "sim/Simulator.h"
#include "suite/CaseResult.h"
#include "suite/Catalogue.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ostrella {

struct SuiteOptions {
    // The cases to play and to leave out, by whole id segments ("4,5.1"); "": every case.
    std::string cases;
    std::string excluded;
    // How long a case waits for a call (no-show) and for a call it still needs.
    std::int64_t caseWaitMs = 120'000;
    // Non-strict and info count as failures; a no-show does not.
    bool strict = false;
    bool allowNoShow = false;
};

struct SuiteTotals {
    int cases = 0;
    int decided = 0;
    int pass = 0;
    int nonStrict = 0;
    int info = 0;
    int fail = 0;
    int noShow = 0;
    // Cases whose verdict fails the run under the options.
    int failing = 0;
};

// Told of the suite's course.
class SuiteEvents {
public:
    virtual ~SuiteEvents() = default;
    virtual void caseDecided(const CaseResult& result) = 0;
    // Every selected case has its verdict.
    virtual void suiteFinished(const SuiteTotals& totals) = 0;
    // restart() forgot every verdict.
    virtual void suiteRestarted() { }
};

class Suite : public CallDirector, public RecordSink {
public:
    // Calls a case may take; at the next it fails, so a case the client never lets its judgement
    // decide still ends.
    static constexpr std::size_t MaxCallsPerCase = 50;

    Suite(Simulator& simulator, const Clock& clock, SuiteOptions options);
    ~Suite() override;
    Suite(const Suite&) = delete;
    Suite& operator=(const Suite&) = delete;

    // The selection's error ("--cases: no case 9.9"), "" when it chooses at least one case.
    static std::string checkOptions(const SuiteOptions& options);

    void addListener(SuiteEvents* listener) { listeners_.push_back(listener); }
    void removeListener(SuiteEvents* listener) { std::erase(listeners_, listener); }

    // Every verdict forgotten; the first case is current again (calls on now stay with the case
    // they began in, and count for nothing). The listeners hear of it.
    void restart();

    const std::vector<CaseResult>& results() const { return results_; }
    // The case now played; nothing once every case is decided.
    std::optional<std::string> currentCase() const;
    bool finished() const { return current_ >= results_.size(); }
    SuiteTotals totals() const;
    const SuiteOptions& options() const { return options_; }
    // The case a call took (its id); "" for a call of none.
    std::string caseOfCall(long call) const;

    // CallDirector.
    void callBegins(Line& line) override;
    void dialling(Line& line, std::string_view number) override;
    void tick() override;

    // RecordSink.
    void pageRecorded(const PageRecord& /*page*/) override { }
    void callRecorded(const CallRecord& call) override;
    void findingRecorded(const FindingRecord& finding) override;
    bool wantsTimelines() const override { return true; }
    void timelineRecorded(const CallTimeline& timeline) override;

private:
    struct Played;
    // A call on a line the suite directs.
    struct Active {
        Line* line = nullptr;
        std::size_t caseIndex = 0;
        long generation = 0;
        // Where in the call (ms from its connection) the case took it over: a client that dials
        // again on the same connection after a case was decided begins the next case there.
        std::int64_t fromMs = 0;
        CaseCall call;
        std::optional<CallTimeline> timeline;
    };
    // `active` given to case `index` from now on, as its first call or a later one.
    void assign(Active& active, std::size_t index);
    // The part of `timeline` from `fromMs` on, timed from there.
    static CallTimeline from(const CallTimeline& timeline, std::int64_t fromMs);

    static std::string keyOf(int line, const std::string& name);
    void setUp(Line& line, std::size_t caseIndex, bool first);
    void standard(Line& line);
    // Case `index` judged from its calls as they stand; decided when the judgement says.
    void judge(std::size_t index);
    void decide(std::size_t index, Decision decision);
    void advance();
    CaseView viewOf(std::size_t index, std::vector<CaseCall>& live) const;

    Simulator& simulator_;
    const Clock& clock_;
    SuiteOptions options_;
    std::vector<const CaseDefinition*> cases_;
    std::vector<CaseResult> results_;
    // Each case's ended calls.
    std::vector<std::vector<CaseCall>> calls_;
    // When each case last became current or had a call end, and when its first call ended.
    std::vector<std::int64_t> since_;
    std::vector<std::int64_t> firstEnd_;
    std::size_t current_ = 0;
    long generation_ = 0;
    std::map<std::string, Active> active_;
    // Each line's plan for the suite's calls, and its wire as the operator set it.
    std::map<const Line*, std::unique_ptr<FaultPlan>> plans_;
    std::map<const Line*, WireSettings> wires_;
    std::map<long, std::string> callCases_;
    std::vector<SuiteEvents*> listeners_;
};

} // namespace ostrella
