// SPDX-License-Identifier: MIT
#include "app/ControlApi.h"

#include "app/ApiGuard.h"
#include "app/ApiJson.h"
#include "app/ApiTcpServer.h"
#include "engine/LineState.h"
#include "sim/RecordJson.h"
#include "sim/Simulator.h"
#include "suite/Suite.h"

#include <QHostAddress>
#include <QHttpServerRequest>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>
#include <algorithm>
#include <cstdlib>
#include <optional>
#include <unordered_map>
#include <vector>

namespace ostrella {

using Status = QHttpServerResponder::StatusCode;

using namespace api;

namespace {

// With a bank: how late the lines' timer ticks have run, {"median", "p99", "max", "ticks"} in ms;
// null without one.
std::string tickLatenessJson(const Simulator& sim)
{
    const TimerHub* hub = sim.hub();
    if (hub == nullptr)
        return "null";
    return JsonObject()
        .number("median", static_cast<long>(hub->latenessQuantile(0.5)))
        .number("p99", static_cast<long>(hub->latenessQuantile(0.99)))
        .number("max", static_cast<long>(hub->latenessQuantile(1)))
        .number("ticks", static_cast<long>(hub->ticksRun()))
        .done();
}

// [{"line":2,"state":"WAITCONNECT","call":7},...]: every line with a caller on it, lowest first
// (the one line of a simulator without a bank is line 1), with the id its call record will have.
std::string busyLinesJson(const std::vector<const Line*>& busy)
{
    std::string json = "[";
    for (const Line* line : busy) {
        if (json.size() > 1)
            json += ',';
        json += JsonObject()
                    .number("line", std::max(line->number(), 1))
                    .text("state", stateName(line->state()))
                    .number("call", line->calls.callId())
                    .done();
    }
    return json + "]";
}

// The lines on pseudo-terminals and serial ports: each by its name, with its device, whether a
// call is on it and its state.
std::string deviceLinesJson(const Simulator& sim)
{
    std::string json = "[";
    for (std::size_t i = 0; i < sim.deviceCount(); ++i) {
        const Line& line = sim.deviceAt(i);
        if (json.size() > 1)
            json += ',';
        json += JsonObject()
                    .text("line", line.name())
                    .text("device", line.socket().remoteHostIp())
                    .flag("busy", sim.deviceBusy(i))
                    .text("state", stateName(line.state()))
                    .done();
    }
    return json + "]";
}

} // namespace

ControlApi::ControlApi(Simulator& sim, Hooks hooks, QObject* parent)
    : QAbstractHttpServer(parent)
    , sim_(sim)
    , hooks_(std::move(hooks))
{
    records_.setPageListener([this](const PageRecord&) { onKept(Awaited::Page); });
    records_.setFindingListener([this](const FindingRecord&) { onKept(Awaited::Finding); });
    sim_.addRecordSink(&records_);
    changeCheck_ = new QTimer(this);
    changeCheck_->setInterval(ChangeCheckMs);
    connect(changeCheck_, &QTimer::timeout, this, &ControlApi::noteChanges);
}

// Waiting requests are dropped unanswered; their connections close with the server.
ControlApi::~ControlApi()
{
    if (suite_ != nullptr)
        suite_->removeListener(this);
    sim_.removeRecordSink(&records_);
}

std::string ControlApi::listen(const std::string& address, int port)
{
    const QHostAddress host = address == "localhost"
        ? QHostAddress(QHostAddress::LocalHost)
        : QHostAddress(QString::fromStdString(address));
    if (host.isNull())
        return "'" + address + "' is not an IP address";
    if (port < 0 || port > 65535)
        return "'" + std::to_string(port) + "' is not a port number from 0 to 65535";
    auto* server = new ApiTcpServer(
        MaxConnections, { MaxHeadBytes, MaxHeaders, static_cast<std::uint64_t>(MaxBodyBytes) },
        this);
    if (!server->open(host, static_cast<quint16>(port))) {
        const std::string why = server->errorString().toStdString();
        delete server;
        return why;
    }
    server_ = server;
    server_->setNotice([this](std::string text) { sim_.logSystem(std::move(text)); });
    bind(server_);
    sim_.logSystem("HTTP Control API: API Port <" + std::to_string(server_->serverPort())
                   + "> Address <" + host.toString().toStdString() + "> ");
    return std::string();
}

int ControlApi::port() const
{
    return server_ != nullptr ? server_->serverPort() : 0;
}

bool ControlApi::onLoopback() const
{
    return server_ == nullptr || server_->serverAddress().isLoopback();
}

bool ControlApi::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    finishWaitOn(socket);
    bool parked = false;
    std::optional<Reply> refused = refusal(request, socket->localAddress(), port());
    if (!refused && request.body().size() > MaxBodyBytes)
        refused = Reply { Status::PayloadTooLarge,
                          errorJson("the body is larger than " + std::to_string(MaxBodyBytes / 1024)
                                    + " KiB") };
    if (!refused)
        refused = unknownQuery(request);
    Reply reply = refused ? *refused : route(request, socket, parked);
    // What a change request did is told to the status's watchers at once.
    if (!refused && request.method() != QHttpServerRequest::Method::Get)
        noteChanges();
    if (!parked) {
        {
            QHttpServerResponder responder = makeResponder(request, socket);
            send(responder, reply);
        }
        if (server_ != nullptr)
            server_->answered(socket);
    }
    return true;
}

std::optional<ControlApi::Reply> ControlApi::unknownQuery(const QHttpServerRequest& request)
{
    // The API's paths that take parameters (GET only); every other is asked with none.
    static const QLatin1String withQuery[] = {
        QLatin1String("/api/v1/pages"),         QLatin1String("/api/v1/calls"),
        QLatin1String("/api/v1/findings"),      QLatin1String("/api/v1/pages/wait"),
        QLatin1String("/api/v1/findings/wait"), QLatin1String("/api/v1/status/wait"),
        QLatin1String("/api/v1/suite/wait"),
    };
    const QString path = request.url().path();
    const QUrlQuery query = request.query();
    // A timeline's picture takes any: the page asks afresh with a query of its own each time.
    if (query.isEmpty() || !path.startsWith(QLatin1String("/api/"))
        || path.endsWith(QLatin1String("/timeline.svg")))
        return std::nullopt;
    if (request.method() == QHttpServerRequest::Method::Get
        && std::find(std::begin(withQuery), std::end(withQuery), path) != std::end(withQuery))
        return std::nullopt;
    const auto items = query.queryItems(QUrl::FullyDecoded);
    return badRequest("unknown parameter '"
                      + (items.isEmpty() ? query.toString() : items.front().first).toStdString()
                      + "'");
}

void ControlApi::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket)
{
    {
        QHttpServerResponder responder = makeResponder(request, socket);
        send(responder, { Status::NotFound, errorJson("no such path") });
    }
    if (server_ != nullptr)
        server_->answered(socket);
}

ControlApi::Reply ControlApi::route(const QHttpServerRequest& request, QTcpSocket* socket,
                                    bool& parked)
{
    using Method = QHttpServerRequest::Method;
    const Method method = request.method();
    const QString path = request.url().path();
    const auto allow = [method](std::initializer_list<Method> methods) {
        return std::find(methods.begin(), methods.end(), method) != methods.end();
    };

    if (path == QLatin1String("/api/v1/status")) {
        return allow({ Method::Get }) ? status() : notAllowed("GET");
    }
    if (path == QLatin1String("/api/v1/status/wait")) {
        return allow({ Method::Get }) ? waitFor(Awaited::Change, request, socket, parked)
                                      : notAllowed("GET");
    }
    if (std::optional<Reply> reply = webPage(path))
        return allow({ Method::Get }) ? *reply : notAllowed("GET");
    if (std::optional<Reply> reply = recordsRoute(request, socket, parked))
        return *reply;
    if (std::optional<Reply> reply = suiteRoute(request, socket, parked))
        return *reply;
    if (path == QLatin1String("/api/v1/ignore")) {
        if (method == Method::Put)
            return putIgnore(request.body());
        return allow({ Method::Get }) ? Reply { Status::Ok, ignoreJson() } : notAllowed("GET, PUT");
    }
    if (path == QLatin1String("/api/v1/faults")) {
        if (method == Method::Put)
            return putFaults(request.body());
        return allow({ Method::Get }) ? Reply { Status::Ok, faultsJson() } : notAllowed("GET, PUT");
    }
    if (path == QLatin1String("/api/v1/plan")) {
        if (method == Method::Put)
            return putPlan(request.body());
        if (method == Method::Delete)
            return deletePlan();
        return allow({ Method::Get }) ? Reply { Status::Ok, planJson() }
                                      : notAllowed("GET, PUT, DELETE");
    }
    if (path == QLatin1String("/api/v1/profiles")) {
        if (method == Method::Put)
            return putProfiles(request.body());
        return allow({ Method::Get }) ? Reply { Status::Ok, profilesJson() }
                                      : notAllowed("GET, PUT");
    }
    return { Status::NotFound, errorJson("no such path: " + path.toStdString()) };
}

ControlApi::Reply ControlApi::status() const
{
    const std::string counts
        = JsonObject()
              .number("pages", static_cast<long>(records_.pageCount()))
              .number("calls", static_cast<long>(records_.callCount()))
              .number("last_page", records_.lastPageSeq())
              .number("last_call", records_.lastCallId())
              .number("pages_dropped", static_cast<long>(records_.pagesDropped()))
              .number("calls_dropped", static_cast<long>(records_.callsDropped()))
              .number("findings", static_cast<long>(records_.findingCount()))
              .number("last_finding", records_.lastFindingSeq())
              .number("findings_dropped", static_cast<long>(records_.findingsDropped()))
              .done();
    const std::string& linePort = sim_.listener().gListenPort;
    // The state named first is the lowest busy line's (line 1's when none is busy).
    const std::vector<const Line*> busy = sim_.busy();
    const Line& first = busy.empty() ? sim_.lineAt(0) : *busy.front();
    return { Status::Ok,
             JsonObject(512 + 32 * busy.size())
                 .text("version", versionNumber())
                 .number("line_port", std::strtol(linePort.c_str(), nullptr, 10))
                 .number("api_port", port())
                 .text("state", stateName(first.state()))
                 .flag("connected", !busy.empty())
                 .number("lines", static_cast<long>(sim_.lineCount()))
                 .number("busy_lines", static_cast<long>(busy.size()))
                 .raw("busy", busyLinesJson(busy))
                 .raw("devices", deviceLinesJson(sim_))
                 .raw("tick_lateness_ms", tickLatenessJson(sim_))
                 .raw("faults", faultsJson())
                 .raw("plan", planJson())
                 .raw("profiles", profilesJson())
                 .raw("records", counts)
                 .raw("findings", toJson(sim_.findingTotals()))
                 .number("change", static_cast<long>(changeNumber()))
                 .done() };
}

std::size_t ControlApi::changeNumber() const
{
    std::string digest = changeDigest();
    if (digest != digest_) {
        digest_ = std::move(digest);
        ++change_;
    }
    return change_;
}

std::string ControlApi::changeDigest() const
{
    const std::vector<const Line*> busy = sim_.busy();
    std::string digest = busyLinesJson(busy) + deviceLinesJson(sim_) + faultsJson() + planJson()
        + profilesJson() + ignoreJson() + toJson(sim_.findingTotals());
    for (const long n : { static_cast<long>(records_.pageCount()), records_.lastPageSeq(),
                          static_cast<long>(records_.callCount()), records_.lastCallId(),
                          static_cast<long>(records_.findingCount()), records_.lastFindingSeq() })
        digest += ' ' + std::to_string(n);
    // A call on a line changes as it goes.
    for (const Line* line : busy)
        digest += ' ' + std::to_string(line->calls.timelineLength());
    for (std::size_t i = 0; i < sim_.deviceCount(); ++i)
        digest += ' ' + std::to_string(sim_.deviceAt(i).calls.timelineLength());
    if (suite_ != nullptr)
        digest += suiteDigest();
    return digest;
}

void ControlApi::noteChanges()
{
    const auto watching = [this] {
        return std::any_of(waiters_.begin(), waiters_.end(),
                           [](const Waiter& w) { return w.awaited == Awaited::Change; });
    };
    if (watching()) {
        const long newest = static_cast<long>(changeNumber());
        for (auto it = waiters_.begin(); it != waiters_.end();) {
            const auto next = std::next(it);
            if (it->awaited == Awaited::Change && it->since < newest)
                finishWait(it);
            it = next;
        }
    }
    if (!watching())
        changeCheck_->stop();
}

ControlApi::Reply ControlApi::putFaults(const QByteArray& body)
{
    Reply error;
    const auto object = objectOf(body, error);
    if (!object)
        return error;
    const auto keys = faultKeys();
    std::vector<std::pair<Box, bool>> changes;
    for (auto it = object->begin(); it != object->end(); ++it) {
        const std::string key = it.key().toStdString();
        const auto known = std::find_if(keys.begin(), keys.end(),
                                        [&key](const auto& k) { return k.first == key; });
        if (known == keys.end())
            return badRequest("unknown fault '" + key + "'");
        if (!it.value().isBool())
            return badRequest(key + ": must be true or false");
        changes.emplace_back(known->second, it.value().toBool());
    }
    for (const auto& [box, on] : changes)
        hooks_.setFault(box, on);
    return { Status::Ok, faultsJson() };
}

ControlApi::Reply ControlApi::putPlan(const QByteArray& body)
{
    Reply error;
    const auto object = objectOf(body, error);
    if (!object)
        return error;
    const auto texts = api::planTextsFrom(*object, error);
    if (!texts)
        return error;
    if (const std::string why = hooks_.applyPlan(*texts); !why.empty())
        return badRequest(why);
    return { Status::Ok, planJson() };
}

ControlApi::Reply ControlApi::deletePlan()
{
    if (const std::string why = hooks_.applyPlan(PlanTexts {}); !why.empty())
        return badRequest(why);
    return { Status::Ok, planJson() };
}

ControlApi::Reply ControlApi::putProfiles(const QByteArray& body)
{
    Reply error;
    const auto object = objectOf(body, error);
    if (!object)
        return error;
    std::optional<ModemProfile> modem;
    std::optional<TerminalProfile> terminal;
    for (auto it = object->begin(); it != object->end(); ++it) {
        const std::string key = it.key().toStdString();
        const std::string name = it.value().toString().toStdString();
        if (key == "modem") {
            modem = it.value().isString() ? modemProfileFromName(name) : std::nullopt;
            if (!modem)
                return badRequest("modem: must be \"classic\" or \"hayes\"");
        } else if (key == "terminal") {
            terminal = it.value().isString() ? terminalFromName(name) : std::nullopt;
            if (!terminal)
                return badRequest("terminal: must be \"classic\" or \"tap18\"");
        } else {
            return badRequest("unknown profile '" + key + "' (modem, terminal)");
        }
    }
    if (modem)
        hooks_.setModem(*modem);
    if (terminal)
        hooks_.setTerminal(*terminal);
    return { Status::Ok, profilesJson() };
}

ControlApi::Reply ControlApi::putIgnore(const QByteArray& body)
{
    Reply error;
    const auto object = objectOf(body, error);
    if (!object)
        return error;
    const auto rules = api::ignoredRulesFrom(*object, error);
    if (!rules)
        return error;
    sim_.setIgnoredRules(*rules);
    return { Status::Ok, ignoreJson() };
}

std::string ControlApi::ignoreJson() const
{
    const auto& ignored = sim_.ignoredRules();
    return JsonObject()
        .texts("rules", std::vector<std::string>(ignored.begin(), ignored.end()))
        .done();
}

std::string ControlApi::profilesJson() const
{
    return JsonObject()
        .text("modem", modemProfileName(sim_.modemProfile()))
        .text("terminal", terminalName(sim_.terminal()))
        .done();
}

std::string ControlApi::faultsJson() const
{
    JsonObject object;
    for (const auto& [key, box] : faultKeys())
        object.flag(key, hooks_.panel.ticked(box));
    return object.done();
}

std::string ControlApi::planJson() const
{
    return api::planJson(sim_.plan());
}

void ControlApi::send(QHttpServerResponder& responder, const Reply& reply)
{
    const QByteArray body = QByteArray::fromStdString(reply.json);
    responder.writeStatusLine(reply.status);
    responder.writeHeader("Content-Type", reply.contentType);
    if (reply.allow != nullptr)
        responder.writeHeader("Allow", reply.allow);
    // Nothing is cached (every answer is the state of the moment), and nothing is read as another
    // type than the one it is sent as.
    responder.writeHeader("Cache-Control", "no-store");
    responder.writeHeader("X-Content-Type-Options", "nosniff");
    if (QByteArrayView(reply.contentType).startsWith("text/html")) {
        // The page runs only its own script and style, reaches only this API, and is never
        // shown inside another site's page (whose clicks could then tick its boxes).
        responder.writeHeader("Content-Security-Policy",
                              "default-src 'none'; script-src 'self'; style-src 'self'; "
                              "img-src 'self'; connect-src 'self'; base-uri 'none'; "
                              "form-action 'none'; frame-ancestors 'none'");
        responder.writeHeader("X-Frame-Options", "DENY");
        responder.writeHeader("Referrer-Policy", "no-referrer");
    }
    responder.writeHeader("Content-Length", QByteArray::number(body.size()));
    responder.writeBody(body);
}

} // namespace ostrella
