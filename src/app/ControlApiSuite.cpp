// SPDX-License-Identifier: MIT
// The control API's test suite: its cases and verdicts, the long poll for a case's verdict and a
// fresh start; and each kept call's timeline as a picture.
#include "app/ApiJson.h"
#include "app/ControlApi.h"
#include "sim/Simulator.h"
#include "suite/CallTimelines.h"
#include "suite/TimelineSvg.h"

#include <QHttpServerRequest>
#include <QRegularExpression>
#include <QTcpSocket>
#include <algorithm>
#include <charconv>

namespace ostrella {

using Status = QHttpServerResponder::StatusCode;

using namespace api;

namespace {

Reply noSuite()
{
    return { Status::NotFound, errorJson("no test suite runs (start the program with --suite)") };
}

// toJson(result) with what the case does, expects and tolerates, and `decided` when given.
std::string caseJson(const CaseResult& result, std::optional<bool> decided = std::nullopt)
{
    std::string json = toJson(result);
    json.pop_back();
    JsonObject more;
    more.text("does", result.does)
        .text("expects", result.expects)
        .text("tolerance", result.tolerance);
    if (decided)
        more.flag("decided", *decided);
    // Both objects are non-empty: the second's members follow the first's.
    return json + "," + more.done().substr(1);
}

const CaseResult* caseOf(const Suite& suite, const std::string& id)
{
    const auto& results = suite.results();
    const auto found = std::find_if(results.begin(), results.end(),
                                    [&id](const CaseResult& r) { return r.id == id; });
    return found != results.end() ? &*found : nullptr;
}

std::string totalsJson(const SuiteTotals& t)
{
    return JsonObject()
        .number("cases", t.cases)
        .number("decided", t.decided)
        .number("pass", t.pass)
        .number("non_strict", t.nonStrict)
        .number("info", t.info)
        .number("fail", t.fail)
        .number("no_show", t.noShow)
        .number("failing", t.failing)
        .done();
}

} // namespace

void ControlApi::setSuite(Suite* suite)
{
    if (suite_ != nullptr) {
        for (auto it = waiters_.begin(); it != waiters_.end();) {
            const auto next = std::next(it);
            if (it->awaited == Awaited::Case)
                finishWait(it);
            it = next;
        }
        suite_->removeListener(this);
    }
    suite_ = suite;
    if (suite_ != nullptr)
        suite_->addListener(this);
}

void ControlApi::caseDecided(const CaseResult& result)
{
    for (auto it = waiters_.begin(); it != waiters_.end();) {
        const auto next = std::next(it);
        if (it->awaited == Awaited::Case && it->caseId == result.id)
            finishWait(it);
        it = next;
    }
}

std::optional<ControlApi::Reply> ControlApi::suiteRoute(const QHttpServerRequest& request,
                                                        QTcpSocket* socket, bool& parked)
{
    using Method = QHttpServerRequest::Method;
    const Method method = request.method();
    const QString path = request.url().path();
    if (path == QLatin1String("/api/v1/suite")) {
        if (method != Method::Get)
            return notAllowed("GET");
        return suite_ != nullptr ? suiteReply() : noSuite();
    }
    if (path == QLatin1String("/api/v1/suite/wait")) {
        if (method != Method::Get)
            return notAllowed("GET");
        return suite_ != nullptr ? waitForCase(request, socket, parked) : noSuite();
    }
    if (path == QLatin1String("/api/v1/suite/restart")) {
        if (method != Method::Post)
            return notAllowed("POST");
        return suite_ != nullptr ? restartSuite() : noSuite();
    }
    static const QRegularExpression timelinePath(
        QStringLiteral("^/api/v1/calls/([^/]+)/timeline\\.svg$"));
    if (const QRegularExpressionMatch match = timelinePath.match(path); match.hasMatch()) {
        if (method != Method::Get)
            return notAllowed("GET");
        return timeline(match.captured(1));
    }
    return std::nullopt;
}

ControlApi::Reply ControlApi::suiteReply() const
{
    std::string cases = "[";
    for (const CaseResult& result : suite_->results()) {
        if (cases.size() > 1)
            cases += ',';
        cases += caseJson(result);
    }
    cases += ']';
    const std::optional<std::string> current = suite_->currentCase();
    JsonObject object(cases.size() + 256);
    object.flag("running", !suite_->finished());
    if (current)
        object.text("current", *current);
    else
        object.raw("current", "null");
    return { Status::Ok,
             object.raw("totals", totalsJson(suite_->totals())).raw("cases", cases).done() };
}

std::string ControlApi::suiteDigest() const
{
    return totalsJson(suite_->totals()) + suite_->currentCase().value_or("-");
}

ControlApi::Reply ControlApi::restartSuite()
{
    suite_->restart();
    const std::size_t cases = suite_->results().size();
    sim_.logSystem("Event: the test suite starts again from " + suite_->results().front().id + " ("
                   + std::to_string(cases) + (cases == 1 ? " case)" : " cases)"));
    return suiteReply();
}

ControlApi::Reply ControlApi::caseReply(const std::string& id) const
{
    if (suite_ == nullptr)
        return noSuite();
    const CaseResult* found = caseOf(*suite_, id);
    if (found == nullptr)
        return { Status::NotFound, errorJson("the suite plays no case '" + id + "'") };
    return { Status::Ok, caseJson(*found, found->verdict.has_value()) };
}

ControlApi::Reply ControlApi::waitForCase(const QHttpServerRequest& request, QTcpSocket* socket,
                                          bool& parked)
{
    Reply error;
    const auto params = queryOf(request, { "case", "timeout" }, error);
    if (!params)
        return error;
    const auto named = params->find("case");
    if (named == params->end() || named->second.isEmpty())
        return badRequest("case: name the case to wait for (case=4.1)");
    const auto timeout = numberParam(*params, "timeout", DefaultWaitMs, error);
    if (!timeout)
        return error;
    if (*timeout > MaxWaitMs)
        return badRequest("timeout: " + std::to_string(*timeout) + " is more than "
                          + std::to_string(MaxWaitMs) + " ms");
    const std::string id = named->second.toStdString();
    const CaseResult* awaited = caseOf(*suite_, id);
    if (awaited == nullptr || awaited->verdict || *timeout == 0)
        return caseReply(id);
    if (std::optional<Reply> full = tooManyWaiters())
        return *full;
    parked = true;
    park(Awaited::Case, request, socket, 0, id, *timeout);
    return { Status::Ok, std::string() };
}

std::optional<CallTimeline> ControlApi::openCallTimeline(long id) const
{
    for (const Line* line : sim_.busy()) {
        if (line->calls.callId() == id)
            return line->calls.timelineSoFar();
    }
    for (std::size_t i = 0; i < sim_.deviceCount(); ++i) {
        if (sim_.deviceAt(i).calls.callId() == id)
            return sim_.deviceAt(i).calls.timelineSoFar();
    }
    return std::nullopt;
}

ControlApi::Reply ControlApi::timeline(const QString& callId) const
{
    const QByteArray digits = callId.toLatin1();
    long id = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), id);
    if (ec != std::errc() || end != digits.data() + digits.size() || id <= 0)
        return { Status::NotFound, errorJson("no such call: '" + callId.toStdString() + "'") };
    const CallTimelines::Call* call = timelines_ != nullptr ? timelines_->find(id) : nullptr;
    if (call == nullptr) {
        if (const std::optional<CallTimeline> open = openCallTimeline(id))
            return { Status::Ok, timelineSvg(*open), nullptr, "image/svg+xml" };
    }
    if (call == nullptr)
        return { Status::NotFound, errorJson("call " + std::to_string(id) + " is not kept") };
    if (!call->timeline)
        return { Status::NotFound,
                 errorJson("call " + std::to_string(id) + "'s timeline is no longer kept") };
    return { Status::Ok, timelineSvg(*call->timeline), nullptr, "image/svg+xml" };
}

} // namespace ostrella
