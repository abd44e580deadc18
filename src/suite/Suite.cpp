// SPDX-License-Identifier: MIT
#include "suite/Suite.h"

#include "sim/RecordStore.h"

#include <algorithm>

namespace ostrella {

namespace {

bool selected(const CaseDefinition& c, const SuiteOptions& options)
{
    const bool chosen = options.cases.empty() || caseMatches(c.id, options.cases);
    return chosen && !caseMatches(c.id, options.excluded);
}

void count(FindingCounts& counts, std::string_view level)
{
    if (level == "error")
        ++counts.error;
    else if (level == "warning")
        ++counts.warning;
    else
        ++counts.note;
}

} // namespace

Suite::Suite(Simulator& simulator, const Clock& clock, SuiteOptions options)
    : simulator_(simulator)
    , clock_(clock)
    , options_(std::move(options))
{
    for (const CaseDefinition& c : suiteCases()) {
        if (selected(c, options_))
            cases_.push_back(&c);
    }
    restart();
    simulator_.addRecordSink(this);
    simulator_.setDirector(this);
}

Suite::~Suite()
{
    simulator_.setDirector(nullptr);
    simulator_.removeRecordSink(this);
}

std::string Suite::checkOptions(const SuiteOptions& options)
{
    if (std::string error = checkCaseFilter(options.cases, "--cases"); !error.empty())
        return error;
    if (std::string error = checkCaseFilter(options.excluded, "--exclude-cases"); !error.empty())
        return error;
    const bool any = std::any_of(suiteCases().begin(), suiteCases().end(),
                                 [&](const CaseDefinition& c) { return selected(c, options); });
    return any ? std::string() : std::string("--cases and --exclude-cases leave no case to play");
}

void Suite::restart()
{
    results_.clear();
    for (const CaseDefinition* c : cases_) {
        CaseResult result;
        result.id = c->id;
        result.title = c->title;
        result.does = c->does;
        result.expects = c->expects;
        result.tolerance = c->tolerance;
        results_.push_back(std::move(result));
    }
    calls_.assign(cases_.size(), {});
    since_.assign(cases_.size(), clock_.nowMs());
    firstEnd_.assign(cases_.size(), Never);
    current_ = 0;
    // Calls on now belong to no case any more.
    ++generation_;
    for (SuiteEvents* listener : listeners_)
        listener->suiteRestarted();
}

std::optional<std::string> Suite::currentCase() const
{
    if (finished())
        return std::nullopt;
    return results_[current_].id;
}

SuiteTotals Suite::totals() const
{
    SuiteTotals totals;
    totals.cases = static_cast<int>(results_.size());
    for (const CaseResult& r : results_) {
        if (!r.verdict)
            continue;
        ++totals.decided;
        switch (*r.verdict) {
        case Verdict::Pass:
            ++totals.pass;
            break;
        case Verdict::NonStrict:
            ++totals.nonStrict;
            break;
        case Verdict::Info:
            ++totals.info;
            break;
        case Verdict::Fail:
            ++totals.fail;
            break;
        case Verdict::NoShow:
            ++totals.noShow;
            break;
        }
        if (verdictFails(*r.verdict, options_.strict, options_.allowNoShow))
            ++totals.failing;
    }
    return totals;
}

std::string Suite::caseOfCall(long call) const
{
    const auto it = callCases_.find(call);
    return it == callCases_.end() ? std::string() : it->second;
}

std::string Suite::keyOf(int line, const std::string& name)
{
    return name.empty() ? "L" + std::to_string(line) : name;
}

void Suite::callBegins(Line& line)
{
    const std::string key = keyOf(line.number(), line.name());
    if (finished()) {
        active_.erase(key);
        standard(line);
        line.engine.setFaultPlan(&simulator_.plan());
        return;
    }
    Active active;
    active.line = &line;
    active.caseIndex = current_;
    active.generation = generation_;
    active_[key] = std::move(active);
    setUp(line, current_, calls_[current_].empty());
}

void Suite::dialling(Line& line, std::string_view number)
{
    const auto it = active_.find(keyOf(line.number(), line.name()));
    if (it == active_.end())
        return;
    Active& active = it->second;
    const auto id = caseOfNumber(number);
    const auto chosen = std::find_if(results_.begin(), results_.end(),
                                     [&](const CaseResult& r) { return id && r.id == *id; });
    if (chosen != results_.end()) {
        const auto index = static_cast<std::size_t>(chosen - results_.begin());
        if (active.caseIndex == index && active.generation == generation_
            && !results_[index].verdict)
            return;
        // A case chosen by its number is played again from its first call.
        if (results_[index].verdict) {
            results_[index].verdict.reset();
            results_[index].reason.clear();
            results_[index].calls.clear();
            results_[index].findings = {};
            results_[index].findingRules.clear();
            calls_[index].clear();
            firstEnd_[index] = Never;
        }
        current_ = index;
        assign(active, index);
        return;
    }
    // The case of this connection was decided while the client held on: its next dial begins
    // the case now played.
    const bool decided = active.generation != generation_ || results_[active.caseIndex].verdict;
    if (decided && !finished())
        assign(active, current_);
}

void Suite::assign(Active& active, std::size_t index)
{
    Line& line = *active.line;
    active.caseIndex = index;
    active.generation = generation_;
    // From the client's piece that began the dial's command line.
    const std::int64_t start = line.calls.callStartMs();
    active.fromMs = clock_.nowMs() - start;
    const auto& pieces = line.judge.transcript().pieces();
    for (auto piece = pieces.rbegin(); piece != pieces.rend(); ++piece) {
        if (piece->fromClient && !piece->changed
            && (piece->bytes.find("AT") != std::string::npos
                || piece->bytes.find("at") != std::string::npos)) {
            active.fromMs = std::min(active.fromMs, piece->timeMs - start);
            break;
        }
    }
    active.call = CaseCall {};
    since_[index] = clock_.nowMs();
    setUp(line, index, calls_[index].empty());
    const TerminalProfile before = line.engine.callTerminal();
    line.engine.setCallTerminal(line.engine.terminal());
    if (line.engine.callTerminal() != before)
        line.calls.terminalChanged(terminalName(line.engine.callTerminal()));
}

CallTimeline Suite::from(const CallTimeline& timeline, std::int64_t fromMs)
{
    if (fromMs <= 0)
        return timeline;
    CallTimeline part;
    part.call = timeline.call;
    part.lengthMs = timeline.lengthMs - fromMs;
    for (const TimelinePiece& piece : timeline.pieces) {
        if (piece.atMs < fromMs)
            continue;
        part.pieces.push_back(piece);
        part.pieces.back().atMs -= fromMs;
    }
    return part;
}

void Suite::setUp(Line& line, std::size_t caseIndex, bool first)
{
    const CaseDefinition& c = *cases_[caseIndex];
    if (!first && !c.everyCall) {
        standard(line);
        return;
    }
    const CaseSetup& setup = c.first;
    // A new plan for each call, so that its dial list starts at the call's first dial.
    auto& plan = plans_[&line];
    plan = std::make_unique<FaultPlan>();
    (void)plan->setDialPlan(setup.dials);
    (void)plan->setBlockPlan(setup.blocks);
    line.engine.setFaultPlan(plan.get());
    line.engine.setModemProfile(ModemProfile::Hayes);
    line.engine.setTerminal(setup.terminal);
    line.engine.setCallScript(setup.script);
    const auto wire = wires_.try_emplace(&line, line.wire.settings()).first->second;
    WireSettings paced = wire;
    if (setup.bps > 0) {
        paced.bps = setup.bps;
        paced.autoRate = false;
    }
    if (!(line.wire.settings() == paced))
        line.wire.setSettings(paced, static_cast<std::size_t>(line.number()));
    line.engine.setLineRate(paced.bps);
}

void Suite::standard(Line& line)
{
    auto& plan = plans_[&line];
    plan = std::make_unique<FaultPlan>();
    line.engine.setFaultPlan(plan.get());
    line.engine.setModemProfile(ModemProfile::Hayes);
    line.engine.setTerminal(TerminalProfile::Tap18);
    line.engine.setCallScript(CallScript {});
    const auto wire = wires_.try_emplace(&line, line.wire.settings()).first->second;
    if (!(line.wire.settings() == wire))
        line.wire.setSettings(wire, static_cast<std::size_t>(line.number()));
    line.engine.setLineRate(wire.bps);
}

void Suite::findingRecorded(const FindingRecord& finding)
{
    const auto it = active_.find(keyOf(finding.line, finding.lineName));
    if (it == active_.end())
        return;
    it->second.call.findings.push_back(finding.rule);
    count(it->second.call.counts, finding.level);
}

void Suite::timelineRecorded(const CallTimeline& timeline)
{
    const auto it = active_.find(keyOf(timeline.line, timeline.lineName));
    if (it != active_.end())
        it->second.timeline = timeline;
}

void Suite::callRecorded(const CallRecord& record)
{
    const auto it = active_.find(keyOf(record.line, record.lineName));
    if (it == active_.end())
        return;
    Active active = std::move(it->second);
    active_.erase(it);
    if (active.generation != generation_ || !active.timeline)
        return;
    const std::size_t index = active.caseIndex;
    active.call.reading = readCall(from(*active.timeline, active.fromMs), true, record.ended);
    // A call that never dialled (a program opening its modem to set it up) is none of the case's.
    if (active.call.reading.dials.empty())
        return;
    auto& calls = results_[index].calls;
    if (std::find(calls.begin(), calls.end(), record.id) == calls.end())
        calls.push_back(record.id);
    callCases_[record.id] = results_[index].id;
    if (callCases_.size() > RecordStore::MaxKept)
        callCases_.erase(callCases_.begin());
    // A case decided while the call was on keeps the call among its own, to be shown with it;
    // the verdict stands.
    if (results_[index].verdict)
        return;
    calls_[index].push_back(std::move(active.call));
    since_[index] = clock_.nowMs();
    if (firstEnd_[index] == Never)
        firstEnd_[index] = since_[index];
    judge(index);
}

CaseView Suite::viewOf(std::size_t index, std::vector<CaseCall>& live) const
{
    CaseView view;
    view.waitMs = options_.caseWaitMs;
    for (const CaseCall& call : calls_[index])
        view.calls.push_back(&call);
    for (const auto& [key, active] : active_) {
        if (active.caseIndex != index || active.generation != generation_)
            continue;
        // The call on now, as far as it has gone.
        CallTimeline timeline;
        const Transcript& transcript = active.line->judge.transcript();
        const std::int64_t start = active.line->calls.callStartMs();
        timeline.lengthMs = clock_.nowMs() - start;
        for (const TranscriptPiece& piece : transcript.pieces())
            timeline.pieces.push_back(TimelinePiece { piece.timeMs - start, piece.fromClient,
                                                      piece.bytes, piece.changed });
        CaseCall call = active.call;
        call.reading = readCall(from(timeline, active.fromMs), false);
        if (!call.reading.dials.empty())
            live.push_back(std::move(call));
    }
    for (const CaseCall& call : live)
        view.calls.push_back(&call);
    view.idleMs = live.empty() ? clock_.nowMs() - since_[index] : Never;
    view.sinceFirstMs = firstEnd_[index] == Never ? Never : clock_.nowMs() - firstEnd_[index];
    return view;
}

void Suite::judge(std::size_t index)
{
    if (results_[index].verdict)
        return;
    std::vector<CaseCall> live;
    live.reserve(active_.size());
    const CaseView view = viewOf(index, live);
    if (view.calls.empty()) {
        if (view.idleMs >= options_.caseWaitMs)
            decide(
                index,
                Decision { Verdict::NoShow, "no call within " + inSeconds(options_.caseWaitMs) });
        return;
    }
    if (auto decision = cases_[index]->judge(view))
        decide(index, std::move(*decision));
    else if (calls_[index].size() >= MaxCallsPerCase)
        decide(index,
               Decision { Verdict::Fail,
                          std::to_string(MaxCallsPerCase) + " calls without the verdict coming" });
}

void Suite::decide(std::size_t index, Decision decision)
{
    CaseResult& result = results_[index];
    result.verdict = decision.verdict;
    result.reason = std::move(decision.reason);
    result.decidedAt = clock_.epochMs();
    result.findings = {};
    result.findingRules.clear();
    const auto add = [&](const CaseCall& call) {
        result.findings.error += call.counts.error;
        result.findings.warning += call.counts.warning;
        result.findings.note += call.counts.note;
        result.findingRules.insert(result.findingRules.end(), call.findings.begin(),
                                   call.findings.end());
    };
    for (const CaseCall& call : calls_[index])
        add(call);
    for (const auto& [key, active] : active_) {
        if (active.caseIndex != index || active.generation != generation_)
            continue;
        add(active.call);
        // The call on now counts as the case's, though it goes on.
        if (const long id = active.line->calls.callId(); id > 0) {
            result.calls.push_back(id);
            callCases_[id] = result.id;
        }
    }
    for (SuiteEvents* listener : listeners_)
        listener->caseDecided(result);
    if (index == current_)
        advance();
}

void Suite::advance()
{
    // The first case in order still open: one chosen by its number may have gone before it.
    current_ = 0;
    while (current_ < results_.size() && results_[current_].verdict)
        ++current_;
    if (current_ < results_.size()) {
        since_[current_] = clock_.nowMs();
        return;
    }
    const SuiteTotals done = totals();
    for (SuiteEvents* listener : listeners_)
        listener->suiteFinished(done);
}

void Suite::tick()
{
    // A case decided by a call chosen by its number may leave an earlier one undecided.
    if (!finished())
        judge(current_);
}

} // namespace ostrella
