// SPDX-License-Identifier: MIT
#include "app/ControlApi.h"

#include "app/Faults.h"
#include "app/Version.h"
#include "engine/LineState.h"
#include "sim/RecordJson.h"
#include "sim/Simulator.h"

#include <QHostAddress>
#include <QHttpServerRequest>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>
#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <optional>
#include <unordered_map>
#include <vector>

namespace ostrella {

using Status = QHttpServerResponder::StatusCode;

// The API's listening socket. It counts what each connection sends towards the request being
// read: the HTTP parser keeps a request in memory until it is complete, so a connection that
// sends more than a request may hold gets 413 at once and the rest of what it sends is dropped.
class ApiTcpServer : public QTcpServer {
public:
    explicit ApiTcpServer(QObject* parent)
        : QTcpServer(parent)
    {
    }

    // A whole request was read from `socket`: its count starts again.
    void requestDone(QTcpSocket* socket) { received_[socket] = 0; }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)
            || static_cast<int>(received_.size()) >= ControlApi::MaxConnections) {
            socket->abort();
            socket->deleteLater();
            return;
        }
        received_[socket] = 0;
        connect(socket, &QObject::destroyed, this, [this, socket] { received_.erase(socket); });
        // Connected before the HTTP server's own reader, so it sees each piece first.
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { countArrival(socket); });
        addPendingConnection(socket);
    }

private:
    void countArrival(QTcpSocket* socket)
    {
        qint64& count = received_[socket];
        count += socket->bytesAvailable();
        if (count <= ControlApi::MaxRequestBytes)
            return;
        // The parser no longer reads this connection; what still comes is read and dropped, so
        // the client reads the answer rather than a reset, and the connection closes soon after.
        disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
        if (socket->isTransactionStarted())
            socket->commitTransaction();
        socket->readAll();
        connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
        const QByteArray body = QByteArray("{\"error\": \"the request is larger than ")
            + QByteArray::number(ControlApi::MaxRequestBytes / 1024) + " KiB\"}";
        socket->write("HTTP/1.1 413 Request Entity Too Large\r\n"
                      "Content-Type: application/json\r\nConnection: close\r\nContent-Length: "
                      + QByteArray::number(body.size()) + "\r\n\r\n" + body);
        QTimer::singleShot(LingerMs, socket, [socket] { socket->disconnectFromHost(); });
    }

    static constexpr int LingerMs = 1000;
    std::unordered_map<QTcpSocket*, qint64> received_;
};

namespace {

// The API's names of the fault boxes: the command-line names with '_' for '-', and
// send_disconnect.
std::vector<std::pair<std::string, Box>> faultKeys()
{
    std::vector<std::pair<std::string, Box>> keys;
    for (const auto& [name, box] : faultNames()) {
        std::string key(name);
        std::replace(key.begin(), key.end(), '-', '_');
        keys.emplace_back(std::move(key), box);
    }
    keys.emplace_back("send_disconnect", Box::chkDisconnect);
    return keys;
}

// "1.0.1".
std::string versionNumber()
{
    const Version v = programVersion();
    return std::to_string(v.major) + "." + std::to_string(v.minor) + "."
        + std::to_string(v.revision);
}

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

std::string errorJson(const std::string& message)
{
    return JsonObject().text("error", message).done();
}

ControlApi::Reply badRequest(const std::string& message)
{
    return { Status::BadRequest, errorJson(message) };
}

// Text from a JSON string as line bytes (Latin-1); nothing when a character is beyond it.
std::optional<std::string> latin1(const QString& text)
{
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()));
    for (const QChar c : text) {
        if (c.unicode() > 0xFF)
            return std::nullopt;
        out.push_back(static_cast<char>(c.unicode()));
    }
    return out;
}

// The body as a JSON object, or the 400 saying why it is not one.
std::optional<QJsonObject> objectOf(const QByteArray& body, ControlApi::Reply& error)
{
    QJsonParseError parseError {};
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        error = badRequest("malformed JSON at offset " + std::to_string(parseError.offset) + ": "
                           + parseError.errorString().toStdString());
        return std::nullopt;
    }
    if (!document.isObject()) {
        error = badRequest("the body must be a JSON object");
        return std::nullopt;
    }
    return document.object();
}

// A whole number >= 0 from a query parameter.
std::optional<long> wholeNumber(const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    long value = 0;
    const auto [end, ec] = std::from_chars(bytes.data(), bytes.data() + bytes.size(), value);
    if (ec != std::errc() || end != bytes.data() + bytes.size() || value < 0 || bytes.isEmpty())
        return std::nullopt;
    return value;
}

// The query's parameters, each one of `allowed`; a 400 names one that is not.
std::optional<std::unordered_map<std::string, QString>>
queryOf(const QHttpServerRequest& request, std::initializer_list<const char*> allowed,
        ControlApi::Reply& error)
{
    std::unordered_map<std::string, QString> params;
    for (const auto& [key, value] : request.query().queryItems(QUrl::FullyDecoded)) {
        const std::string name = key.toStdString();
        if (std::find_if(allowed.begin(), allowed.end(),
                         [&name](const char* a) { return name == a; })
            == allowed.end()) {
            error = badRequest("unknown parameter '" + name + "'");
            return std::nullopt;
        }
        params[name] = value;
    }
    return params;
}

// The `name` parameter as a whole number, `fallback` when absent.
std::optional<long> numberParam(const std::unordered_map<std::string, QString>& params,
                                const std::string& name, long fallback, ControlApi::Reply& error)
{
    const auto it = params.find(name);
    if (it == params.end())
        return fallback;
    const auto value = wholeNumber(it->second);
    if (!value)
        error = badRequest(name + ": '" + it->second.toStdString() + "' is not a whole number");
    return value;
}

template<typename Record>
std::string listJson(const char* name, const std::vector<Record>& records);

// {"<name>": [...]}: the kept records after the request's `since` (all without it), as `fetch`
// gives them for a number.
template<typename Fetch>
ControlApi::Reply recordsSince(const QHttpServerRequest& request, const char* name, Fetch fetch)
{
    ControlApi::Reply error;
    const auto params = queryOf(request, { "since" }, error);
    if (!params)
        return error;
    const auto since = numberParam(*params, "since", 0, error);
    if (!since)
        return error;
    return { QHttpServerResponder::StatusCode::Ok, listJson(name, fetch(*since)) };
}

template<typename Record> std::string listJson(const char* name, const std::vector<Record>& records)
{
    std::string list = "[";
    for (const Record& record : records) {
        if (list.size() > 1)
            list += ',';
        list += toJson(record);
    }
    list += ']';
    return JsonObject(list.size() + 32).raw(name, list).done();
}

template<typename T> std::string wordList(const std::vector<T>& values)
{
    std::string list = "[";
    for (const T& value : values) {
        if (list.size() > 1)
            list += ',';
        list += jsonString(wordOf(value));
    }
    return list + "]";
}

template<typename Map> std::string ruleObject(const Map& rules)
{
    JsonObject object;
    for (const auto& [key, value] : rules)
        object.text(key, wordOf(value));
    return object.done();
}

// One list of plan words from the JSON array `value`, for the plan text (comma-separated).
template<typename Parse>
std::optional<std::string> planList(const QJsonValue& value, const char* key, Parse parse,
                                    const char* what, ControlApi::Reply& error)
{
    if (!value.isArray()) {
        error = badRequest(std::string(key) + ": must be a list of words");
        return std::nullopt;
    }
    std::string text;
    for (const QJsonValue& item : value.toArray()) {
        const auto word = item.isString() ? latin1(item.toString()) : std::nullopt;
        if (!word || !parse(*word)) {
            error = badRequest(std::string(key) + ": "
                               + (word ? "'" + *word + "'" : std::string("an item that is no word"))
                               + " is not a " + what);
            return std::nullopt;
        }
        text += (text.empty() ? "" : ",") + *word;
    }
    return text;
}

// The rules of the JSON object `value` (key to word), for the plan text ("k=w k=w").
template<typename Parse>
std::optional<std::string> planRules(const QJsonValue& value, const char* key, const char* keyWhat,
                                     Parse parse, const char* what, ControlApi::Reply& error)
{
    if (!value.isObject()) {
        error = badRequest(std::string(key) + ": must be an object of " + keyWhat + " to word");
        return std::nullopt;
    }
    std::string text;
    const QJsonObject rules = value.toObject();
    for (auto it = rules.begin(); it != rules.end(); ++it) {
        const auto name = latin1(it.key());
        const bool nameGood
            = name && !name->empty() && std::none_of(name->begin(), name->end(), [](char c) {
                  return static_cast<unsigned char>(c) <= ' ' || c == '=' || c == 0x7F;
              });
        if (!nameGood) {
            error = badRequest(std::string(key) + ": '" + it.key().toStdString() + "' is not a "
                               + keyWhat + " (no blanks, controls or '=')");
            return std::nullopt;
        }
        const auto word = it.value().isString() ? latin1(it.value().toString()) : std::nullopt;
        if (!word || !parse(*word)) {
            error
                = badRequest(std::string(key) + ": the word for '" + *name + "' is not a " + what);
            return std::nullopt;
        }
        text += (text.empty() ? "" : " ") + *name + "=" + *word;
    }
    return text;
}

constexpr const char* DialWhat = "dial outcome (connect, busy, no-answer, no-carrier, no-dialtone)";
constexpr const char* ReplyWhat = "block reply (ack, nak, rej, none)";

} // namespace

ControlApi::ControlApi(Simulator& sim, Hooks hooks, QObject* parent)
    : QAbstractHttpServer(parent)
    , sim_(sim)
    , hooks_(std::move(hooks))
{
    records_.setPageListener([this](const PageRecord&) { onPageKept(); });
    sim_.addRecordSink(&records_);
}

// Waiting requests are dropped unanswered; their connections close with the server.
ControlApi::~ControlApi()
{
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
    auto* server = new ApiTcpServer(this);
    if (!server->listen(host, static_cast<quint16>(port))) {
        const std::string why = server->errorString().toStdString();
        delete server;
        return why;
    }
    server_ = server;
    bind(server_);
    sim_.logSystem("HTTP Control API: API Port <" + std::to_string(server_->serverPort())
                   + "> Address <" + host.toString().toStdString() + "> ");
    return std::string();
}

int ControlApi::port() const
{
    return server_ != nullptr ? server_->serverPort() : 0;
}

bool ControlApi::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    if (server_ != nullptr)
        server_->requestDone(socket);
    finishWaitOn(socket);
    bool parked = false;
    Reply reply = request.body().size() > MaxBodyBytes
        ? Reply { Status::PayloadTooLarge,
                  errorJson("the body is larger than " + std::to_string(MaxBodyBytes / 1024)
                            + " KiB") }
        : route(request, socket, parked);
    if (!parked) {
        QHttpServerResponder responder = makeResponder(request, socket);
        send(responder, reply);
    }
    return true;
}

void ControlApi::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket)
{
    QHttpServerResponder responder = makeResponder(request, socket);
    send(responder, { Status::NotFound, errorJson("no such path") });
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
    const auto notAllowed = [](const char* methods) {
        return Reply { Status::MethodNotAllowed,
                       errorJson(std::string("this path takes ") + methods + " only"), methods };
    };

    if (path == QLatin1String("/api/v1/status")) {
        return allow({ Method::Get }) ? status() : notAllowed("GET");
    }
    if (path == QLatin1String("/api/v1/pages")) {
        if (method == Method::Delete)
            return {
                Status::Ok,
                JsonObject().number("deleted", static_cast<long>(records_.clearPages())).done()
            };
        return allow({ Method::Get }) ? pages(request) : notAllowed("GET, DELETE");
    }
    if (path == QLatin1String("/api/v1/pages/wait")) {
        return allow({ Method::Get }) ? waitForPage(request, socket, parked) : notAllowed("GET");
    }
    if (path == QLatin1String("/api/v1/calls")) {
        if (method == Method::Delete)
            return {
                Status::Ok,
                JsonObject().number("deleted", static_cast<long>(records_.clearCalls())).done()
            };
        return allow({ Method::Get }) ? calls(request) : notAllowed("GET, DELETE");
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
              .done();
    const std::string& linePort = sim_.listener.gListenPort;
    return { Status::Ok,
             JsonObject(512)
                 .text("version", versionNumber())
                 .number("line_port", std::strtol(linePort.c_str(), nullptr, 10))
                 .number("api_port", port())
                 .text("state", stateName(sim_.line.state()))
                 .flag("connected", sim_.busyLines() > 0)
                 .number("lines", static_cast<long>(sim_.lineCount()))
                 .number("busy_lines", static_cast<long>(sim_.busyLines()))
                 .raw("tick_lateness_ms", tickLatenessJson(sim_))
                 .raw("faults", faultsJson())
                 .raw("plan", planJson())
                 .raw("profiles", profilesJson())
                 .raw("records", counts)
                 .done() };
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

ControlApi::Reply ControlApi::waitForPage(const QHttpServerRequest& request, QTcpSocket* socket,
                                          bool& parked)
{
    Reply error;
    const auto params = queryOf(request, { "since", "timeout" }, error);
    if (!params)
        return error;
    const auto since = numberParam(*params, "since", records_.lastPageSeq(), error);
    if (!since)
        return error;
    const auto timeout = numberParam(*params, "timeout", DefaultWaitMs, error);
    if (!timeout)
        return error;
    if (*timeout > MaxWaitMs)
        return badRequest("timeout: " + std::to_string(*timeout) + " is more than "
                          + std::to_string(MaxWaitMs) + " ms");
    std::vector<PageRecord> newer = records_.pagesSince(*since);
    if (!newer.empty() || *timeout == 0)
        return { Status::Ok, listJson("pages", newer) };

    parked = true;
    const quint64 id = ++lastWaiter_;
    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    // Never answered before the time-out the client asked for.
    timer->setTimerType(Qt::PreciseTimer);
    waiters_.push_back(Waiter { id, socket, makeResponder(request, socket), *since, timer });
    connect(timer, &QTimer::timeout, this, [this, id] { finishWait(id, true); });
    // A client that goes away stops waiting; nothing is written to its connection.
    connect(socket, &QTcpSocket::disconnected, timer, [this, id] { finishWait(id, false); });
    timer->start(static_cast<int>(*timeout));
    return { Status::Ok, std::string() };
}

void ControlApi::onPageKept()
{
    const long newest = records_.lastPageSeq();
    for (auto it = waiters_.begin(); it != waiters_.end();) {
        const auto next = std::next(it);
        if (it->since < newest)
            finishWait(it);
        it = next;
    }
}

void ControlApi::finishWait(std::list<Waiter>::iterator waiter, bool answer)
{
    if (answer && waiter->socket != nullptr
        && waiter->socket->state() == QAbstractSocket::ConnectedState)
        send(waiter->responder,
             { Status::Ok, listJson("pages", records_.pagesSince(waiter->since)) });
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
    PlanTexts texts;
    for (auto it = object->begin(); it != object->end(); ++it) {
        const QString key = it.key();
        std::optional<std::string> text;
        std::string* target = nullptr;
        if (key == QLatin1String("dial")) {
            text = planList(it.value(), "dial", dialOutcomeFromWord, DialWhat, error);
            target = &texts.dials;
        } else if (key == QLatin1String("block")) {
            text = planList(it.value(), "block", blockReplyFromWord, ReplyWhat, error);
            target = &texts.blocks;
        } else if (key == QLatin1String("numbers")) {
            text = planRules(it.value(), "numbers", "number", dialOutcomeFromWord, DialWhat, error);
            target = &texts.numbers;
        } else if (key == QLatin1String("pagers")) {
            text
                = planRules(it.value(), "pagers", "pager ID", blockReplyFromWord, ReplyWhat, error);
            target = &texts.pagers;
        } else {
            return badRequest("unknown plan key '" + key.toStdString()
                              + "' (dial, block, numbers, pagers)");
        }
        if (!text)
            return error;
        *target = *text;
    }
    if (const std::string why = hooks_.applyPlan(texts); !why.empty())
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
        sim_.setModemProfile(*modem);
    if (terminal)
        hooks_.setTerminal(*terminal);
    return { Status::Ok, profilesJson() };
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
    const FaultPlan& plan = sim_.plan;
    return JsonObject(256)
        .raw("dial", wordList(plan.dials()))
        .raw("block", wordList(plan.blocks()))
        .raw("numbers", ruleObject(plan.numbers()))
        .raw("pagers", ruleObject(plan.pagers()))
        .done();
}

void ControlApi::send(QHttpServerResponder& responder, const Reply& reply)
{
    const QByteArray body = QByteArray::fromStdString(reply.json);
    if (reply.allow != nullptr)
        responder.write(body, { { "Content-Type", "application/json" }, { "Allow", reply.allow } },
                        reply.status);
    else
        responder.write(body, { { "Content-Type", "application/json" } }, reply.status);
}

} // namespace ostrella
