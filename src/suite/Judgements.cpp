// SPDX-License-Identifier: MIT
// Each judgement reads the case's calls as they stand and gives a verdict once the client has
// shown what it does, or nothing while it may still act. A reason names times (from the event
// it follows) and, where it helps, the bytes.
#include "suite/Judgements.h"

#include <algorithm>

namespace ostrella::judgements {

namespace {

struct Conn {
    const ConnectionRead* read;
    const CaseCall* call;
    // Where it is in the case: the case's calls' connections in order.
    std::size_t index;
};

std::vector<Conn> connections(const CaseView& view)
{
    std::vector<Conn> all;
    for (const CaseCall* call : view.calls) {
        for (const ConnectionRead& c : call->reading.connections)
            all.push_back(Conn { &c, call, all.size() });
    }
    return all;
}

std::vector<const DialRead*> dials(const CaseView& view)
{
    std::vector<const DialRead*> all;
    for (const CaseCall* call : view.calls) {
        for (const DialRead& d : call->reading.dials)
            all.push_back(&d);
    }
    return all;
}

Decision verdict(Verdict v, std::string reason)
{
    return Decision { v, std::move(reason) };
}

// The connection is over as far as the client is concerned.
bool over(const ConnectionRead& c)
{
    return c.clientLeftAt != Never;
}

int ackedIn(const ConnectionRead& c)
{
    return static_cast<int>(std::count_if(c.blocks.begin(), c.blocks.end(), [](const BlockRead& b) {
        return b.answer == Answer::Accepted;
    }));
}

// The first ACKed block of the connections from `from` on; nullptr: none.
const BlockRead* ackedFrom(const std::vector<Conn>& conns, std::size_t from)
{
    for (std::size_t i = from; i < conns.size(); ++i) {
        for (const BlockRead& b : conns[i].read->blocks) {
            if (b.answer == Answer::Accepted)
                return &b;
        }
    }
    return nullptr;
}

// The case has waited long enough for the call it needs: `ms` with no call, or `ms` since its
// first call ended while calls kept coming without it.
bool waitedOut(const CaseView& view, std::int64_t ms)
{
    return !view.callOn() && (view.idleMs >= ms || view.sinceFirstMs >= ms);
}

std::string howEnded(const ConnectionRead& c)
{
    if (c.eotAt != Never)
        return "EOT";
    return c.clientLeft.empty() ? std::string("nothing") : c.clientLeft;
}

// What the client did after block `i` of `c`: the next block, EOT or leaving.
std::string nextAct(const ConnectionRead& c, std::size_t i, std::int64_t from)
{
    if (i + 1 < c.blocks.size())
        return "the next block " + inSeconds(c.blocks[i + 1].stxAt - from) + " later";
    if (c.eotAt != Never)
        return "EOT " + inSeconds(c.eotAt - from) + " later";
    if (c.clientLeftAt != Never)
        return c.clientLeft + " " + inSeconds(c.clientLeftAt - from) + " later";
    return "nothing";
}

// The first connection that is over (or the case's only one on), for the cases about one call.
const ConnectionRead* firstConn(const std::vector<Conn>& conns)
{
    return conns.empty() ? nullptr : conns.front().read;
}

// Blocks of `c` the same as `block`, after it.
int resendsOf(const ConnectionRead& c, std::size_t i)
{
    int n = 0;
    for (std::size_t k = i + 1; k < c.blocks.size() && c.blocks[k].content == c.blocks[i].content;
         ++k)
        ++n;
    return n;
}

bool repeatsAny(const std::vector<Conn>& conns, std::size_t from, const std::string& content)
{
    for (std::size_t i = from; i < conns.size(); ++i) {
        for (const BlockRead& b : conns[i].read->blocks) {
            if (b.content == content)
                return true;
        }
    }
    return false;
}

// The case's first call ended without reaching the terminal's scripted act.
std::optional<Decision> neverReached(const CaseView& view, std::string_view what)
{
    if (view.callOn() && (view.calls.size() <= 1))
        return std::nullopt;
    return verdict(Verdict::Fail, "the call ended before " + std::string(what));
}

} // namespace

std::optional<Decision> standardCall(const CaseView& view)
{
    const auto conns = connections(view);
    for (const Conn& c : conns) {
        if (!over(*c.read) && view.callOn())
            return std::nullopt;
        if (ackedIn(*c.read) == 0)
            continue;
        const CaseCall& call = *c.call;
        if (call.counts.error > 0)
            return verdict(Verdict::Fail,
                           "delivered, with " + std::to_string(call.counts.error)
                               + " error finding(s): " + call.findings.front());
        if (c.read->eotAt == Never)
            return verdict(Verdict::Fail,
                           "delivered but ended the call without EOT (" + howEnded(*c.read) + ")");
        if (c.read->disconnectAt == Never || c.read->clientLeftAt < c.read->disconnectAt)
            return verdict(Verdict::Fail,
                           "hung up " + inSeconds(c.read->clientLeftAt - c.read->eotAt)
                               + " after EOT, before the terminal's ESC EOT CR");
        return verdict(Verdict::Pass,
                       "delivered " + std::to_string(ackedIn(*c.read)) + " page(s), EOT, left "
                           + inSeconds(c.read->clientLeftAt - c.read->disconnectAt)
                           + " after ESC EOT CR");
    }
    if (view.callOn())
        return std::nullopt;
    return verdict(Verdict::Fail, "the call ended with no page delivered");
}

std::optional<Decision> classicTerminal(const CaseView& view)
{
    const auto conns = connections(view);
    for (const Conn& c : conns) {
        const ConnectionRead& r = *c.read;
        if (ackedIn(r) == 0 || r.eotAt == Never) {
            if (!over(r))
                return std::nullopt;
            continue;
        }
        if (!over(r)) {
            if (c.call->reading.lengthMs - r.eotAt > EndAfterEot + Tolerance)
                return verdict(Verdict::Fail,
                               "still on the line " + inSeconds(EndAfterEot)
                                   + " after EOT (the classic terminal is silent)");
            return std::nullopt;
        }
        const std::int64_t after = r.clientLeftAt - r.eotAt;
        if (after > EndAfterEot + Tolerance)
            return verdict(Verdict::Fail,
                           "ended the call " + inSeconds(after) + " after EOT; allowed "
                               + inSeconds(EndAfterEot));
        return verdict(Verdict::Info,
                       "delivered " + std::to_string(ackedIn(r)) + " page(s), ended the call by "
                           + r.clientLeft + " " + inSeconds(after) + " after EOT");
    }
    if (view.callOn())
        return std::nullopt;
    return verdict(Verdict::Fail, "the call ended with no page delivered and EOT");
}

std::optional<Decision> redialAfterResult(const CaseView& view)
{
    const auto all = dials(view);
    if (all.empty())
        return view.callOn() ? std::nullopt : neverReached(view, "a dial");
    const DialRead& first = *all.front();
    if (first.result.empty()) {
        if (!first.givenUp.empty())
            return verdict(Verdict::Fail,
                           "gave up the dial (" + first.givenUp + ") "
                               + inSeconds(first.givenUpAt - first.at)
                               + " after it, before its result");
        return std::nullopt;
    }
    if (all.size() < 2)
        return waitedOut(view, view.waitMs) ? std::optional(verdict(
                   Verdict::Fail,
                   "did not dial again within " + inSeconds(view.waitMs) + " of " + first.result))
                                            : std::nullopt;
    const auto conns = connections(view);
    const DialRead& again = *all[1];
    // Times are a call's own: a redial in a new call is told without one.
    const bool sameCall = view.calls.front()->reading.dials.size() >= 2;
    const std::string when = sameCall
        ? inSeconds(again.at - first.resultAt) + " after " + first.result
        : "in a new call after " + first.result;
    if (ackedFrom(conns, 0) != nullptr)
        return verdict(Verdict::Pass, "dialled again " + when + ", delivered");
    if (waitedOut(view, view.waitMs))
        return verdict(Verdict::Fail, "dialled again " + when + " but delivered nothing");
    return std::nullopt;
}

std::optional<Decision> silentDial(const CaseView& view)
{
    const auto all = dials(view);
    if (all.empty())
        return view.callOn() ? std::nullopt : neverReached(view, "a dial");
    const DialRead& first = *all.front();
    if (first.givenUp.empty()) {
        const std::int64_t waited = view.calls.front()->reading.lengthMs - first.at;
        if (waited > DialGiveUp + Tolerance)
            return verdict(Verdict::Fail,
                           "still waiting for the dial's result " + inSeconds(waited)
                               + " after it");
        return std::nullopt;
    }
    const std::int64_t waited = first.givenUpAt - first.at;
    if (waited > DialGiveUp + Tolerance)
        return verdict(Verdict::Fail,
                       "gave up the dial (" + first.givenUp + ") only " + inSeconds(waited)
                           + " after it");
    const auto conns = connections(view);
    const std::string how = "gave up the dial (" + first.givenUp + ") after " + inSeconds(waited);
    if (all.size() >= 2 && ackedFrom(conns, 0) != nullptr)
        return verdict(Verdict::Pass, how + ", dialled again, delivered");
    if (waitedOut(view, view.waitMs))
        return verdict(Verdict::Fail,
                       how + ", did not dial again and deliver within " + inSeconds(view.waitMs));
    return std::nullopt;
}

std::optional<Decision> lateId(const CaseView& view)
{
    const auto conns = connections(view);
    const ConnectionRead* c = firstConn(conns);
    if (c == nullptr)
        return neverReached(view, "CONNECT");
    if (!c->logons.empty()) {
        const LogonRead& logon = c->logons.front();
        if (c->prompts.empty() || logon.at < c->prompts.front())
            return verdict(Verdict::Fail,
                           "logged on before ID= (after " + std::to_string(c->crs.size())
                               + " CRs)");
        if (ackedIn(*c) == 0)
            return over(*c)
                ? std::optional(verdict(Verdict::Fail, "logged on but delivered nothing"))
                : std::nullopt;
        const std::int64_t span = c->crs.size() > 1 ? c->crs.back() - c->crs.front() : 0;
        return verdict(Verdict::Pass,
                       "sent " + std::to_string(c->crs.size()) + " CRs over " + inSeconds(span)
                           + ", logged on " + inSeconds(logon.at - c->prompts.front())
                           + " after ID=, delivered");
    }
    const std::int64_t length = conns.front().call->reading.lengthMs - c->connectAt;
    if (over(*c) || length > NoIdWait)
        return verdict(Verdict::Fail,
                       "sent " + std::to_string(c->crs.size())
                           + " CR(s) and no more; ID= needed 3");
    return std::nullopt;
}

std::optional<Decision> neverId(const CaseView& view)
{
    const auto conns = connections(view);
    const ConnectionRead* c = firstConn(conns);
    if (c == nullptr)
        return neverReached(view, "CONNECT");
    const int crs = static_cast<int>(c->crs.size());
    if (!c->logons.empty())
        return verdict(Verdict::Fail,
                       "logged on without ID= (after " + std::to_string(crs) + " CRs)");
    if (crs > 10)
        return verdict(Verdict::Fail, "sent " + std::to_string(crs) + " CRs; n1 is 3");
    if (c->hungUpAt != Never && (!over(*c) || c->clientLeftAt > c->hungUpAt))
        return verdict(Verdict::Fail,
                       "held the line until the terminal hung up "
                           + inSeconds(c->hungUpAt - c->connectAt) + " after CONNECT ("
                           + std::to_string(crs) + " CRs)");
    if (!over(*c))
        return std::nullopt;
    const std::string did = "sent " + std::to_string(crs) + " CR(s), left by " + c->clientLeft + " "
        + inSeconds(c->clientLeftAt - (crs > 0 ? c->crs.back() : c->connectAt)) + " after the last";
    if (crs <= 3)
        return verdict(Verdict::Pass, did);
    return verdict(Verdict::NonStrict, did + "; n1 is 3");
}

std::optional<Decision> logonNak(const CaseView& view)
{
    const auto conns = connections(view);
    const ConnectionRead* c = firstConn(conns);
    if (c == nullptr || c->logons.empty())
        return view.callOn() ? std::nullopt : neverReached(view, "a logon");
    const LogonRead& first = c->logons.front();
    if (first.answer != Answer::Again)
        return first.answer == Answer::None && !over(*c) ? std::nullopt
                                                         : neverReached(view, "the logon's NAK");
    for (const Conn& k : conns) {
        for (const LogonRead& l : k.read->logons) {
            if (&l == &first || l.answer != Answer::Accepted)
                continue;
            if (ackedIn(*k.read) > 0)
                return verdict(Verdict::Pass,
                               "logged on again "
                                   + (k.read == c
                                          ? inSeconds(l.at - first.answerAt) + " after the NAK"
                                          : std::string("in a new call"))
                                   + ", delivered");
            if (over(*k.read))
                return verdict(Verdict::Fail, "logged on again but delivered nothing");
            return std::nullopt;
        }
    }
    if (waitedOut(view, view.waitMs))
        return verdict(Verdict::Fail, "did not log on again after the NAK (" + howEnded(*c) + ")");
    return std::nullopt;
}

std::optional<Decision> logonRefused(const CaseView& view)
{
    const auto conns = connections(view);
    const ConnectionRead* c = firstConn(conns);
    if (c == nullptr || c->logons.empty() || c->logons.front().answer != Answer::Disconnect)
        return view.callOn() ? std::nullopt : neverReached(view, "the logon's refusal");
    if (c->sentAfterDisconnect > 0 || !c->blocks.empty())
        return verdict(Verdict::Fail,
                       "sent " + std::to_string(c->sentAfterDisconnect)
                           + " logon(s) or block(s) after ESC EOT CR");
    if (!over(*c))
        return std::nullopt;
    const std::string did = "sent no block, left by " + c->clientLeft + " "
        + inSeconds(c->clientLeftAt - c->disconnectAt) + " after ESC EOT CR";
    if (conns.size() > 1 || dials(view).size() > 1)
        return verdict(Verdict::Pass, did + "; called again");
    if (view.calls.size() > 1)
        return verdict(Verdict::Pass, did + "; called again");
    if (waitedOut(view, FollowWait))
        return verdict(Verdict::Pass, did + "; did not call again within " + inSeconds(FollowWait));
    return std::nullopt;
}

std::optional<Decision> unaskedId(const CaseView& view)
{
    const auto conns = connections(view);
    const ConnectionRead* c = firstConn(conns);
    if (c == nullptr)
        return neverReached(view, "CONNECT");
    if (c->logons.empty())
        return over(*c)
            ? std::optional(verdict(Verdict::Fail, "never logged on after the unasked ID="))
            : std::nullopt;
    const LogonRead& logon = c->logons.front();
    const auto crsBefore
        = std::count_if(c->crs.begin(), c->crs.end(), [&](std::int64_t t) { return t < logon.at; });
    if (c->prompts.size() > 1 && logon.at > c->prompts[1])
        return verdict(Verdict::NonStrict,
                       "sent " + std::to_string(crsBefore)
                           + " CR(s) and logged on only after ID= came again");
    return verdict(
        Verdict::Pass,
        "logged on "
            + inSeconds(logon.at - (c->prompts.empty() ? c->connectAt : c->prompts.front()))
            + " after the unasked ID=");
}

// The first block got `answer`; the client is to resend it, and it is delivered.
std::optional<Decision> resent(const CaseView& view, Answer answer, std::string_view what)
{
    const auto conns = connections(view);
    const ConnectionRead* c = firstConn(conns);
    if (c == nullptr || c->blocks.empty())
        return view.callOn() ? std::nullopt : neverReached(view, "a block");
    const BlockRead& first = c->blocks.front();
    if (first.answer != answer)
        return first.answer == Answer::None && !over(*c) ? std::nullopt
                                                         : neverReached(view, std::string(what));
    if (c->blocks.size() < 2) {
        if (!over(*c))
            return std::nullopt;
        return verdict(Verdict::Fail,
                       "did not resend after " + std::string(what) + " (" + howEnded(*c) + ")");
    }
    const BlockRead& next = c->blocks[1];
    if (next.content != first.content)
        return verdict(Verdict::Fail, "sent a different block after " + std::string(what));
    if (next.answer == Answer::None && !over(*c))
        return std::nullopt;
    return verdict(next.answer == Answer::Accepted ? Verdict::Pass : Verdict::Fail,
                   "resent the block " + inSeconds(next.stxAt - first.answerAt) + " after "
                       + std::string(what)
                       + (next.answer == Answer::Accepted ? ", ACKed" : ", not ACKed"));
}

std::optional<Decision> blockNak(const CaseView& view)
{
    return resent(view, Answer::Again, "the NAK");
}

std::optional<Decision> corruptBlock(const CaseView& view)
{
    return resent(view, Answer::Again, "the NAK of its corrupted block");
}

std::optional<Decision> everyNak(const CaseView& view)
{
    const auto conns = connections(view);
    const ConnectionRead* c = firstConn(conns);
    if (c == nullptr || c->blocks.empty())
        return view.callOn() ? std::nullopt : neverReached(view, "a block");
    const int resends = resendsOf(*c, 0);
    const std::string count = std::to_string(resends) + " resend(s)";
    if (resends > 5)
        return verdict(Verdict::Fail, count + " of the NAKed block; n2 is 3");
    const std::size_t after = static_cast<std::size_t>(resends) + 1;
    if (after < c->blocks.size())
        return verdict(Verdict::Fail, "went on to another block after " + count);
    if (!over(*c))
        return std::nullopt;
    const std::string did = count + ", then " + howEnded(*c);
    return verdict(resends <= 3 ? Verdict::Pass : Verdict::NonStrict, did);
}

std::optional<Decision> pageRefused(const CaseView& view)
{
    const auto conns = connections(view);
    const ConnectionRead* c = firstConn(conns);
    if (c == nullptr || c->blocks.empty())
        return view.callOn() ? std::nullopt : neverReached(view, "a block");
    const BlockRead& first = c->blocks.front();
    if (first.answer != Answer::Refused)
        return first.answer == Answer::None && !over(*c) ? std::nullopt
                                                         : neverReached(view, "the RS");
    if (resendsOf(*c, 0) > 0)
        return verdict(Verdict::Fail,
                       "resent the refused block " + inSeconds(c->blocks[1].stxAt - first.answerAt)
                           + " after the RS");
    if (c->blocks.size() < 2 && c->eotAt == Never && !over(*c))
        return std::nullopt;
    return verdict(Verdict::Pass, "did not resend; " + nextAct(*c, 0, first.answerAt));
}

std::optional<Decision> noReply(const CaseView& view)
{
    const auto conns = connections(view);
    const ConnectionRead* c = firstConn(conns);
    if (c == nullptr || c->blocks.empty())
        return view.callOn() ? std::nullopt : neverReached(view, "a block");
    const BlockRead& first = c->blocks.front();
    if (c->blocks.size() >= 2) {
        const BlockRead& next = c->blocks[1];
        const std::int64_t after = next.stxAt - first.endAt;
        if (next.content != first.content)
            return verdict(Verdict::Fail,
                           "sent another block " + inSeconds(after)
                               + " after the unanswered one, without resending it");
        if (after < T3 - T3Early)
            return verdict(Verdict::Fail,
                           "resent the block " + inSeconds(after) + " after it; TAP t3 is 10 s");
        if (next.answer == Answer::None && !over(*c))
            return std::nullopt;
        return verdict(next.answer == Answer::Accepted ? Verdict::Pass : Verdict::Fail,
                       "resent the block " + inSeconds(after) + " after it"
                           + (next.answer == Answer::Accepted ? ", ACKed" : ", not ACKed"));
    }
    if (!over(*c) && c->eotAt == Never && c->disconnectAt == Never)
        return std::nullopt;
    if (c->disconnectAt != Never && c->eotAt == Never)
        return verdict(Verdict::Fail,
                       "did not resend; the terminal timed the call out "
                           + inSeconds(c->disconnectAt - first.endAt) + " after the block");
    return verdict(Verdict::NonStrict,
                   "did not resend; ended the call (" + howEnded(*c) + ") "
                       + inSeconds((c->eotAt != Never ? c->eotAt : c->clientLeftAt) - first.endAt)
                       + " after the block");
}

std::optional<Decision> slowAck(const CaseView& view)
{
    const auto conns = connections(view);
    const ConnectionRead* c = firstConn(conns);
    if (c == nullptr || c->blocks.empty())
        return view.callOn() ? std::nullopt : neverReached(view, "a block");
    const BlockRead& first = c->blocks.front();
    if (c->blocks.size() >= 2 && (first.answerAt == Never || c->blocks[1].stxAt < first.answerAt))
        return verdict(Verdict::Fail,
                       "resent the block " + inSeconds(c->blocks[1].stxAt - first.endAt)
                           + " after it, before its ACK");
    if (first.answer == Answer::None)
        return over(*c)
            ? std::optional(verdict(Verdict::Fail, "left before the ACK (" + howEnded(*c) + ")"))
            : std::nullopt;
    return verdict(Verdict::Pass,
                   "waited " + inSeconds(first.answerAt - first.endAt) + " for the ACK; no resend");
}

std::optional<Decision> longReply(const CaseView& view)
{
    const auto conns = connections(view);
    const ConnectionRead* c = firstConn(conns);
    if (c == nullptr || c->blocks.empty())
        return view.callOn() ? std::nullopt : neverReached(view, "a block");
    const BlockRead& first = c->blocks.front();
    if (first.answer != Answer::Accepted)
        return first.answer == Answer::None && !over(*c) ? std::nullopt
                                                         : neverReached(view, "the long reply");
    if (resendsOf(*c, 0) > 0)
        return verdict(Verdict::Fail, "resent the block after the long reply's ACK");
    if (c->blocks.size() < 2 && c->eotAt == Never) {
        if (!over(*c))
            return std::nullopt;
        return verdict(Verdict::Fail, "left by " + c->clientLeft + " after the long reply, no EOT");
    }
    return verdict(Verdict::Pass, "read to the ACK; " + nextAct(*c, 0, first.answerAt));
}

// The call's second block is answered with a disconnect: the client hangs up and delivers that
// page in a later call, without resending the first.
std::optional<Decision> disconnectedSecond(const CaseView& view, std::string_view code)
{
    const auto conns = connections(view);
    const ConnectionRead* c = firstConn(conns);
    if (c == nullptr || c->blocks.empty())
        return view.callOn() ? std::nullopt : neverReached(view, "a block");
    if (c->blocks.size() < 2) {
        if (!over(*c) && c->eotAt == Never)
            return std::nullopt;
        return verdict(Verdict::Info, "the call carried one page; the case needs a second");
    }
    const BlockRead& second = c->blocks[1];
    if (second.answer != Answer::Disconnect)
        return second.answer == Answer::None && !over(*c) ? std::nullopt
                                                          : neverReached(view, std::string(code));
    if (c->sentAfterDisconnect > 0)
        return verdict(Verdict::Fail,
                       "sent " + std::to_string(c->sentAfterDisconnect) + " block(s) after "
                           + std::string(code) + " and ESC EOT CR");
    for (const CaseCall* call : view.calls) {
        if (std::find(call->findings.begin(), call->findings.end(), "page.duplicate")
            != call->findings.end())
            return verdict(Verdict::Fail, "delivered a page again (page.duplicate)");
    }
    if (conns.size() > 1 && repeatsAny(conns, 1, c->blocks[0].content))
        return verdict(Verdict::Fail, "resent the first page, ACKed before the disconnect");
    for (std::size_t i = 1; i < conns.size(); ++i) {
        for (const BlockRead& b : conns[i].read->blocks) {
            if (b.content == second.content && b.answer == Answer::Accepted)
                return verdict(Verdict::Pass,
                               "left " + inSeconds(c->clientLeftAt - second.answerAt) + " after "
                                   + std::string(code)
                                   + "; delivered the second page in a later call");
        }
    }
    if (waitedOut(view, view.waitMs))
        return verdict(Verdict::Fail,
                       "did not deliver the second page within " + inSeconds(view.waitMs));
    return std::nullopt;
}

std::optional<Decision> timeOutDisconnect(const CaseView& view)
{
    return disconnectedSecond(view, "501");
}

std::optional<Decision> pageLimit(const CaseView& view)
{
    return disconnectedSecond(view, "112");
}

std::optional<Decision> checksumDisconnect(const CaseView& view)
{
    const auto conns = connections(view);
    const ConnectionRead* c = firstConn(conns);
    if (c == nullptr || c->blocks.empty())
        return view.callOn() ? std::nullopt : neverReached(view, "a block");
    if (c->sentAfterDisconnect > 0)
        return verdict(Verdict::Fail,
                       "sent " + std::to_string(c->sentAfterDisconnect)
                           + " block(s) after 503 and ESC EOT CR");
    if (!over(*c))
        return std::nullopt;
    if (c->disconnectAt == Never)
        return verdict(Verdict::Pass,
                       "gave up after " + std::to_string(resendsOf(*c, 0)) + " resend(s) ("
                           + howEnded(*c) + ")");
    return verdict(Verdict::Pass,
                   "left by " + c->clientLeft + " " + inSeconds(c->clientLeftAt - c->disconnectAt)
                       + " after 503 and ESC EOT CR");
}

std::optional<Decision> goodbye(const CaseView& view)
{
    const auto conns = connections(view);
    const ConnectionRead* c = firstConn(conns);
    if (c == nullptr || c->eotAt == Never)
        return view.callOn() ? std::nullopt : neverReached(view, "EOT");
    if (c->sentAfterDisconnect > 0)
        return verdict(Verdict::Fail, "sent more after ESC EOT CR");
    if (c->disconnectAt == Never || (over(*c) && c->clientLeftAt < c->disconnectAt))
        return over(*c) ? std::optional(verdict(Verdict::NonStrict,
                                                "left " + inSeconds(c->clientLeftAt - c->eotAt)
                                                    + " after EOT, before the goodbye"))
                        : std::nullopt;
    if (!over(*c)) {
        const std::int64_t held = conns.front().call->reading.lengthMs - c->disconnectAt;
        return held > EndAfterEot + Tolerance ? std::optional(
                   verdict(Verdict::Fail, "still on " + inSeconds(held) + " after ESC EOT CR"))
                                              : std::nullopt;
    }
    const std::int64_t after = c->clientLeftAt - c->disconnectAt;
    if (after > EndAfterEot + Tolerance)
        return verdict(Verdict::Fail, "left " + inSeconds(after) + " after ESC EOT CR");
    return verdict(Verdict::Pass,
                   "read 115 and ESC EOT CR, left by " + c->clientLeft + " " + inSeconds(after)
                       + " after");
}

std::optional<Decision> silentAfterEot(const CaseView& view)
{
    const auto conns = connections(view);
    const ConnectionRead* c = firstConn(conns);
    if (c == nullptr || c->eotAt == Never)
        return view.callOn() ? std::nullopt : neverReached(view, "EOT");
    if (!over(*c) || (c->hungUpAt != Never && c->clientLeftAt > c->hungUpAt)) {
        const std::int64_t held
            = (over(*c) ? c->hungUpAt : conns.front().call->reading.lengthMs) - c->eotAt;
        if (held > EndAfterEot + Tolerance)
            return verdict(Verdict::Fail,
                           "still on the line " + inSeconds(held) + " after EOT; allowed "
                               + inSeconds(EndAfterEot));
        if (!over(*c))
            return std::nullopt;
    }
    const std::int64_t after = c->clientLeftAt - c->eotAt;
    if (after > EndAfterEot + Tolerance)
        return verdict(Verdict::Fail,
                       "left " + inSeconds(after) + " after EOT; allowed "
                           + inSeconds(EndAfterEot));
    for (const BlockRead& b : c->blocks) {
        if (b.answer == Answer::Accepted && repeatsAny(conns, 1, b.content))
            return verdict(Verdict::Fail, "delivered the page again in a later call");
    }
    const std::string did = "left by " + c->clientLeft + " " + inSeconds(after) + " after EOT";
    if (conns.size() > 1 && !view.callOn())
        return verdict(Verdict::Pass, did + "; called again without the page");
    if (waitedOut(view, FollowWait))
        return verdict(Verdict::Pass, did + "; no page again within " + inSeconds(FollowWait));
    return std::nullopt;
}

std::optional<Decision> lateRefusal(const CaseView& view)
{
    const auto conns = connections(view);
    const ConnectionRead* c = firstConn(conns);
    if (c == nullptr || c->eotAt == Never)
        return view.callOn() ? std::nullopt : neverReached(view, "EOT");
    if (!over(*c))
        return std::nullopt;
    const BlockRead* last = nullptr;
    for (const BlockRead& b : c->blocks) {
        if (b.answer == Answer::Accepted)
            last = &b;
    }
    if (last == nullptr)
        return verdict(Verdict::Info, "no page was ACKed before EOT");
    if (repeatsAny(conns, 1, last->content))
        return verdict(Verdict::Info, "delivered the refused page again in a later call");
    if (conns.size() > 1 && !view.callOn())
        return verdict(Verdict::Info, "called again without the refused page");
    if (waitedOut(view, FollowWait))
        return verdict(Verdict::Info,
                       "did not deliver the refused page again within " + inSeconds(FollowWait));
    return std::nullopt;
}

std::optional<Decision> slowLine(const CaseView& view)
{
    const auto conns = connections(view);
    for (const Conn& k : conns) {
        const ConnectionRead& c = *k.read;
        for (std::size_t i = 0; i + 1 < c.blocks.size(); ++i) {
            const BlockRead& b = c.blocks[i];
            if (b.answerAt == Never || c.blocks[i + 1].stxAt < b.answerAt)
                return verdict(Verdict::Fail,
                               "sent a block " + inSeconds(c.blocks[i + 1].stxAt - b.endAt)
                                   + " after the last, before its reply had arrived");
        }
        if (ackedIn(c) > 0 && over(c))
            return verdict(Verdict::Pass,
                           "delivered " + std::to_string(ackedIn(c))
                               + " page(s) at 300 bit/s, each reply awaited");
        if (!over(c))
            return std::nullopt;
    }
    if (view.callOn())
        return std::nullopt;
    return verdict(Verdict::Fail, "the call ended with no page delivered");
}

std::optional<Decision> garbledAck(const CaseView& view)
{
    const auto conns = connections(view);
    const ConnectionRead* c = firstConn(conns);
    if (c == nullptr || c->blocks.empty())
        return view.callOn() ? std::nullopt : neverReached(view, "a block");
    const BlockRead& first = c->blocks.front();
    if (first.answer != Answer::Unreadable)
        return first.answer == Answer::None && !over(*c) ? std::nullopt
                                                         : neverReached(view, "the garbled ACK");
    if (c->blocks.size() < 2)
        return over(*c)
            ? std::optional(verdict(
                Verdict::Fail, "did not resend after the unreadable reply (" + howEnded(*c) + ")"))
            : std::nullopt;
    const BlockRead& next = c->blocks[1];
    const std::int64_t after = next.stxAt - first.endAt;
    if (next.content != first.content)
        return verdict(Verdict::Fail, "went on to another block after the unreadable reply");
    if (next.answer == Answer::None && !over(*c))
        return std::nullopt;
    if (next.answer != Answer::Accepted)
        return verdict(Verdict::Fail,
                       "resent the block " + inSeconds(after) + " after it, not ACKed");
    if (after < T3 - T3Early)
        return verdict(Verdict::NonStrict,
                       "resent the block " + inSeconds(after)
                           + " after it, at the unreadable reply; TAP waits t3 (10 s)");
    return verdict(Verdict::Pass, "resent the block " + inSeconds(after) + " after it, ACKed");
}

std::optional<Decision> carrierLost(const CaseView& view)
{
    const auto conns = connections(view);
    const ConnectionRead* c = firstConn(conns);
    if (c == nullptr || c->blocks.empty())
        return view.callOn() ? std::nullopt : neverReached(view, "a block");
    if (c->hungUpAt == Never)
        return over(*c) ? neverReached(view, "the lost carrier") : std::nullopt;
    const std::string acked = c->blocks.front().content;
    if (repeatsAny(conns, 1, acked))
        return verdict(Verdict::Fail, "sent the page ACKed before the lost carrier again");
    if (conns.size() > 1) {
        const ConnectionRead& again = *conns[1].read;
        if (ackedIn(again) > 0 || again.eotAt != Never) {
            if (!over(again) && view.callOn())
                return std::nullopt;
            const std::string when = conns[1].call == conns[0].call
                ? inSeconds(again.connectAt - c->hungUpAt) + " after the lost carrier"
                : "in a new call after the lost carrier";
            return verdict(
                Verdict::Pass,
                "connected again " + when
                    + (ackedIn(again) > 0 ? ", delivered the rest" : ", nothing left to send"));
        }
    }
    if (waitedOut(view, 60'000))
        return verdict(Verdict::Info,
                       "did not call again within 60.0 s (was the ACKed page its only one?)");
    return std::nullopt;
}

} // namespace ostrella::judgements
