// SPDX-License-Identifier: MIT
// The control API's records: the kept pages, calls and findings, and the long polls that wait for
// a page or a finding.
#include "app/ApiJson.h"
#include "app/ApiTcpServer.h"
#include "app/ControlApi.h"
#include "sim/RecordJson.h"

#include <QHttpServerRequest>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>

namespace ostrella {

using Status = QHttpServerResponder::StatusCode;

using namespace api;

namespace {

// {"<name>": [...]}: the kept records after the request's `since` (all without it), as `fetch`
// gives them for a number.
template<typename Fetch>
Reply recordsSince(const QHttpServerRequest& request, const char* name, Fetch fetch)
{
    Reply error;
    const auto params = queryOf(request, { "since" }, error);
    if (!params)
        return error;
    const auto since = numberParam(*params, "since", 0, error);
    if (!since)
        return error;
    return { QHttpServerResponder::StatusCode::Ok, listJson(name, fetch(*since)) };
}

} // namespace

std::optional<ControlApi::Reply> ControlApi::recordsRoute(const QHttpServerRequest& request,
                                                          QTcpSocket* socket, bool& parked)
{
    using Method = QHttpServerRequest::Method;
    const Method method = request.method();
    const QString path = request.url().path();
    const auto deleted = [](std::size_t count) {
        return Reply { Status::Ok,
                       JsonObject().number("deleted", static_cast<long>(count)).done() };
    };
    if (path == QLatin1String("/api/v1/pages")) {
        if (method == Method::Delete)
            return deleted(records_.clearPages());
        return method == Method::Get ? pages(request) : notAllowed("GET, DELETE");
    }
    if (path == QLatin1String("/api/v1/pages/wait")) {
        return method == Method::Get ? waitFor(Awaited::Page, request, socket, parked)
                                     : notAllowed("GET");
    }
    if (path == QLatin1String("/api/v1/calls")) {
        if (method == Method::Delete)
            return deleted(records_.clearCalls());
        return method == Method::Get ? calls(request) : notAllowed("GET, DELETE");
    }
    if (path == QLatin1String("/api/v1/findings")) {
        if (method == Method::Delete)
            return deleted(records_.clearFindings());
        return method == Method::Get ? findings(request) : notAllowed("GET, DELETE");
    }
    if (path == QLatin1String("/api/v1/findings/wait")) {
        return method == Method::Get ? waitFor(Awaited::Finding, request, socket, parked)
                                     : notAllowed("GET");
    }
    return std::nullopt;
}

ControlApi::Reply ControlApi::pages(const QHttpServerRequest& request) const
{
    return recordsSince(request, "pages",
                        [this](long since) { return records_.pagesSince(since); });
}

ControlApi::Reply ControlApi::calls(const QHttpServerRequest& request) const
{
    return recordsSince(request, "calls",
                        [this](long since) { return records_.callsSince(since); });
}

ControlApi::Reply ControlApi::findings(const QHttpServerRequest& request) const
{
    return recordsSince(request, "findings",
                        [this](long since) { return records_.findingsSince(since); });
}

std::string ControlApi::awaitedJson(Awaited awaited, long since) const
{
    switch (awaited) {
    case Awaited::Page:
        return listJson("pages", records_.pagesSince(since));
    case Awaited::Finding:
        return listJson("findings", records_.findingsSince(since));
    case Awaited::Case:
    case Awaited::Change:
        break;
    }
    return std::string();
}

ControlApi::Reply ControlApi::waitFor(Awaited awaited, const QHttpServerRequest& request,
                                      QTcpSocket* socket, bool& parked)
{
    Reply error;
    const auto params = queryOf(request, { "since", "timeout" }, error);
    if (!params)
        return error;
    const auto newest = [this, awaited]() -> long {
        switch (awaited) {
        case Awaited::Page:
            return records_.lastPageSeq();
        case Awaited::Finding:
            return records_.lastFindingSeq();
        case Awaited::Change:
            return static_cast<long>(changeNumber());
        case Awaited::Case:
            break;
        }
        return 0;
    };
    const auto since = numberParam(*params, "since", newest(), error);
    if (!since)
        return error;
    const auto timeout = numberParam(*params, "timeout", DefaultWaitMs, error);
    if (!timeout)
        return error;
    if (*timeout > MaxWaitMs)
        return badRequest("timeout: " + std::to_string(*timeout) + " is more than "
                          + std::to_string(MaxWaitMs) + " ms");
    const bool newer = awaited == Awaited::Change ? *since < newest()
        : awaited == Awaited::Page                ? !records_.pagesSince(*since).empty()
                                                  : !records_.findingsSince(*since).empty();
    if (newer || *timeout == 0)
        return answerOf(awaited, *since, std::string());
    if (std::optional<Reply> full = tooManyWaiters())
        return *full;
    parked = true;
    park(awaited, request, socket, *since, std::string(), *timeout);
    if (awaited == Awaited::Change && !changeCheck_->isActive())
        changeCheck_->start();
    return { Status::Ok, std::string() };
}

void ControlApi::park(Awaited awaited, const QHttpServerRequest& request, QTcpSocket* socket,
                      long since, std::string caseId, long timeoutMs)
{
    const quint64 id = ++lastWaiter_;
    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    // Never answered before the time-out the client asked for.
    timer->setTimerType(Qt::PreciseTimer);
    waiters_.push_back(Waiter { id, socket, makeResponder(request, socket), since, timer, awaited,
                                std::move(caseId) });
    if (server_ != nullptr)
        server_->setParked(socket, true);
    connect(timer, &QTimer::timeout, this, [this, id] { finishWait(id, true); });
    // A client that goes away stops waiting; nothing is written to its connection.
    connect(socket, &QTcpSocket::disconnected, timer, [this, id] { finishWait(id, false); });
    timer->start(static_cast<int>(timeoutMs));
}

std::optional<ControlApi::Reply> ControlApi::tooManyWaiters() const
{
    if (waiters_.size() < MaxWaiters)
        return std::nullopt;
    return Reply { Status::ServiceUnavailable,
                   errorJson("too many long polls open (at most " + std::to_string(MaxWaiters)
                             + ")") };
}

ControlApi::Reply ControlApi::answerOf(Awaited awaited, long since, const std::string& caseId) const
{
    switch (awaited) {
    case Awaited::Page:
    case Awaited::Finding:
        return { Status::Ok, awaitedJson(awaited, since) };
    case Awaited::Case:
        return caseReply(caseId);
    case Awaited::Change:
        return status();
    }
    return { Status::Ok, std::string() };
}

void ControlApi::onKept(Awaited awaited)
{
    const long newest
        = awaited == Awaited::Page ? records_.lastPageSeq() : records_.lastFindingSeq();
    for (auto it = waiters_.begin(); it != waiters_.end();) {
        const auto next = std::next(it);
        if (it->awaited == awaited && it->since < newest)
            finishWait(it);
        it = next;
    }
}

void ControlApi::finishWait(std::list<Waiter>::iterator waiter, bool answer)
{
    QTcpSocket* socket = waiter->socket;
    if (server_ != nullptr && socket != nullptr)
        server_->setParked(socket, false);
    if (answer && socket != nullptr && socket->state() == QAbstractSocket::ConnectedState) {
        send(waiter->responder, answerOf(waiter->awaited, waiter->since, waiter->caseId));
        if (server_ != nullptr)
            server_->answered(socket);
    }
    // Its own signal may be running: the timer goes once that is over.
    waiter->timer->stop();
    waiter->timer->deleteLater();
    waiters_.erase(waiter);
}

void ControlApi::finishWait(quint64 id, bool answer)
{
    const auto it = std::find_if(waiters_.begin(), waiters_.end(),
                                 [id](const Waiter& w) { return w.id == id; });
    if (it != waiters_.end())
        finishWait(it, answer);
}

void ControlApi::finishWaitOn(QTcpSocket* socket)
{
    for (auto it = waiters_.begin(); it != waiters_.end(); ++it) {
        if (it->socket == socket) {
            finishWait(it);
            return;
        }
    }
}

} // namespace ostrella
