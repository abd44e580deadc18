// SPDX-License-Identifier: MIT
#include "sim/Recorder.h"

#include "engine/PageDecode.h"

#include <algorithm>

namespace ostrella {

std::string_view outcomeText(DialOutcome outcome)
{
    switch (outcome) {
    case DialOutcome::Connect:
        return "CONNECT";
    case DialOutcome::Busy:
        return "BUSY";
    case DialOutcome::NoAnswer:
        return "NO ANSWER";
    case DialOutcome::NoCarrier:
        return "NO CARRIER";
    case DialOutcome::NoDialtone:
        return "NO DIALTONE";
    }
    return "CONNECT";
}

std::string_view replyText(BlockReply reply)
{
    switch (reply) {
    case BlockReply::Ack:
        return "ACK";
    case BlockReply::Nak:
        return "NAK";
    case BlockReply::Rej:
        return "RS";
    case BlockReply::None:
        return "none";
    case BlockReply::Garble:
    case BlockReply::Corrupt:
    case BlockReply::Drop:
        // Plan words, never a block's reply.
        break;
    }
    return "none";
}

std::string_view reasonText(ReplyReason reason)
{
    switch (reason) {
    case ReplyReason::Good:
        return "good";
    case ReplyReason::BadChecksum:
        return "bad-checksum";
    case ReplyReason::NotABlock:
        return "not-a-block";
    case ReplyReason::Box:
        return "box";
    case ReplyReason::Plan:
        return "plan";
    case ReplyReason::FormatError:
        return "format-error";
    case ReplyReason::PagerRule:
        return "pager-rule";
    case ReplyReason::TooLong:
        return "too-long";
    case ReplyReason::PageLimit:
        return "page-limit";
    case ReplyReason::Incomplete:
        return "incomplete";
    }
    return "good";
}

Recorder::Recorder(const Clock& clock)
    : clock_(clock)
{
}

bool Recorder::wantsTimelines() const
{
    return std::any_of(sinks_.begin(), sinks_.end(),
                       [](const RecordSink* sink) { return sink->wantsTimelines(); });
}

CallRecorder::CallRecorder(Recorder& recorder, int line, std::string name)
    : recorder_(recorder)
    , line_(line)
    , lineName_(std::move(name))
{
}

void CallRecorder::callStarted(const std::string& caller, std::string_view terminal,
                               std::string_view modem)
{
    if (judge_ != nullptr)
        judge_->callStarted(terminal == "tap18");
    startMs_ = recorder_.clock_.nowMs();
    if (!recorder_.recording())
        return;
    call_ = CallRecord {};
    call_->id = ++recorder_.lastCall_;
    call_->line = line_;
    call_->lineName = lineName_;
    call_->caller = caller;
    call_->terminal = std::string(terminal);
    call_->modem = modem;
    call_->start = recorder_.clock_.epochMs();
    timelineFindings_.clear();
    afterEot_ = false;
    afterDrop_ = false;
    blockFindings_.clear();
}

void CallRecorder::terminalChanged(std::string_view terminal)
{
    if (judge_ != nullptr)
        judge_->terminalChanged(terminal == "tap18");
    if (call_)
        call_->terminal = std::string(terminal);
}

void CallRecorder::callEnded(const std::string& how)
{
    if (judge_ != nullptr)
        judge_->callEnded(how == "hangup");
    if (!call_)
        return;
    if (judge_ != nullptr)
        call_->transcriptDropped = judge_->transcript().dropped();
    if (wire_ != nullptr) {
        const WireChanges& changes = wire_->changes();
        call_->noiseIn += changes.in;
        call_->noiseOut += changes.out;
        call_->noiseCounted = call_->noiseCounted || wire_->settings().noiseRate > 0.0
            || changes.in > 0 || changes.out > 0;
    }
    call_->end = recorder_.clock_.epochMs();
    call_->ended = how;
    if (how == "hangup" && afterEot_)
        call_->ended = "eot";
    else if (how == "hangup" && afterDrop_)
        call_->ended = "carrier-lost";
    const CallRecord done = std::move(*call_);
    call_.reset();
    recordTimeline(done);
    for (RecordSink* sink : recorder_.sinks_)
        sink->callRecorded(done);
}

void CallRecorder::recordTimeline(const CallRecord& call) const
{
    if (judge_ == nullptr || !recorder_.wantsTimelines())
        return;
    const CallTimeline timeline = timelineOf(call);
    for (RecordSink* sink : recorder_.sinks_) {
        if (sink->wantsTimelines())
            sink->timelineRecorded(timeline);
    }
}

std::optional<CallTimeline> CallRecorder::timelineSoFar() const
{
    if (!call_ || judge_ == nullptr || !recorder_.wantsTimelines())
        return std::nullopt;
    CallTimeline timeline = timelineOf(*call_);
    timeline.open = true;
    return timeline;
}

std::size_t CallRecorder::timelineLength() const
{
    if (!call_ || judge_ == nullptr)
        return 0;
    return judge_->transcript().pieces().size() + timelineFindings_.size();
}

CallTimeline CallRecorder::timelineOf(const CallRecord& call) const
{
    CallTimeline timeline;
    timeline.call = call.id;
    timeline.line = call.line;
    timeline.lineName = call.lineName;
    timeline.start = call.start;
    timeline.lengthMs = recorder_.clock_.nowMs() - startMs_;
    timeline.modem = call.modem;
    timeline.terminal = call.terminal;
    const Transcript& transcript = judge_->transcript();
    timeline.pieces.reserve(transcript.pieces().size());
    for (const TranscriptPiece& piece : transcript.pieces())
        timeline.pieces.push_back(TimelinePiece { piece.timeMs - startMs_, piece.fromClient,
                                                  piece.bytes, piece.changed });
    timeline.findings = timelineFindings_;
    timeline.dropped = transcript.dropped();
    return timeline;
}

PageRecord CallRecorder::newPage()
{
    PageRecord page;
    page.seq = ++recorder_.lastPage_;
    page.call = call_->id;
    page.line = line_;
    page.lineName = lineName_;
    page.time = recorder_.clock_.epochMs();
    page.caller = call_->caller;
    return page;
}

void CallRecorder::dialled(std::string_view number, DialOutcome outcome, bool sevenBit)
{
    if (judge_ != nullptr)
        judge_->dialStarted(sevenBit);
    if (!call_)
        return;
    call_->dials.push_back(DialRecord { std::string(number), std::string(outcomeText(outcome)) });
    call_->sevenBit = call_->sevenBit || sevenBit;
    afterEot_ = false;
    afterDrop_ = false;
}

void CallRecorder::loggedOn()
{
    if (!call_)
        return;
    call_->logon = true;
    afterEot_ = false;
    afterDrop_ = false;
}

void CallRecorder::blockAnswered(std::string_view packet, BlockReply reply, ReplyReason reason)
{
    if (!call_)
        return;
    afterEot_ = false;
    DecodedBlock block = decodeBlock(packet);
    PageRecord page = newPage();
    if (block.isBlock) {
        page.pager = block.fields.empty() ? std::string() : block.fields.front();
        page.message = messageOf(block.fields);
        page.fields = std::move(block.fields);
        page.checksumSent = std::move(block.checksumSent);
        page.checksumComputed = std::move(block.checksumComputed);
    } else {
        // No block to take apart: the packet itself is kept as its one field.
        page.fields = { std::string(packet) };
        if (reason != ReplyReason::Box && reason != ReplyReason::Plan)
            reason = ReplyReason::NotABlock;
    }
    page.reply = replyText(reply);
    page.reason = reasonText(reason);
    recordPage(std::move(page), reply);
}

void CallRecorder::pageAnswered(const TakenPage& taken, BlockReply reply, ReplyReason reason)
{
    if (!call_)
        return;
    afterEot_ = false;
    PageRecord page = newPage();
    page.pager = taken.pager   ? *taken.pager
        : taken.fields.empty() ? std::string()
                               : taken.fields.front();
    page.message = messageOf(taken.fields);
    page.fields = taken.fields;
    page.checksumSent = taken.checksumSent;
    page.checksumComputed = taken.checksumComputed;
    page.reply = replyText(reply);
    page.reason = reasonText(reason);
    if (taken.code != 0)
        page.code = std::to_string(taken.code);
    recordPage(std::move(page), reply);
}

void CallRecorder::recordPage(PageRecord page, BlockReply reply)
{
    page.findings = std::move(blockFindings_);
    blockFindings_.clear();
    switch (reply) {
    case BlockReply::Ack:
        ++call_->ack;
        break;
    case BlockReply::Nak:
        ++call_->nak;
        break;
    case BlockReply::Rej:
        ++call_->rs;
        break;
    case BlockReply::None:
    case BlockReply::Garble:
    case BlockReply::Corrupt:
    case BlockReply::Drop:
        ++call_->none;
        break;
    }
    for (RecordSink* sink : recorder_.sinks_)
        sink->pageRecorded(page);
}

void CallRecorder::dialEnded(bool carrier)
{
    if (judge_ != nullptr)
        judge_->dialEnded(carrier);
}

void CallRecorder::terminalHungUp()
{
    if (judge_ != nullptr)
        judge_->terminalHungUp();
}

void CallRecorder::finding(const Finding& made)
{
    if (!call_ || recorder_.ignored_.contains(made.rule))
        return;
    FindingRecord record;
    record.seq = ++recorder_.lastFinding_;
    record.call = call_->id;
    record.line = line_;
    record.lineName = lineName_;
    record.time = recorder_.clock_.epochMs() - (recorder_.clock_.nowMs() - made.timeMs);
    record.rule = made.rule;
    record.level = levelText(made.level);
    const JudgeRule* rule = findRule(made.rule);
    record.ref = rule != nullptr ? rule->ref : "";
    record.text = made.text;
    record.evidence = made.evidence;
    for (FindingCounts* counts : { &call_->findings, &recorder_.totals_ }) {
        switch (made.level) {
        case FindingLevel::Error:
            ++counts->error;
            break;
        case FindingLevel::Warning:
            ++counts->warning;
            break;
        case FindingLevel::Note:
            ++counts->note;
            break;
        }
    }
    if (made.aboutBlock)
        blockFindings_.push_back(record.rule);
    if (timelineFindings_.size() < MaxTimelineFindings)
        timelineFindings_.push_back(
            TimelineFinding { made.timeMs - startMs_, record.rule, record.level, record.text });
    for (RecordSink* sink : recorder_.sinks_)
        sink->findingRecorded(record);
}

void CallRecorder::eotReceived()
{
    if (call_)
        afterEot_ = true;
}

void CallRecorder::lineChanged(bool inbound, char before, char after)
{
    if (judge_ != nullptr)
        judge_->changed(inbound, before, after);
    if (call_) {
        (inbound ? call_->noiseIn : call_->noiseOut) += 1;
        call_->noiseCounted = true;
    }
}

void CallRecorder::carrierDropped()
{
    if (call_) {
        afterEot_ = false;
        afterDrop_ = true;
    }
}

} // namespace ostrella
