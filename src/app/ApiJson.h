// SPDX-License-Identifier: MIT
// The control API's texts: its answers (a status and a JSON body), the requests' JSON bodies and
// query parameters read and checked, and the fault plan and records as JSON.
#pragma once

#include "engine/FaultPlan.h"
#include "ports/Ports.h"
#include "qt/PlanTexts.h"
#include "sim/RecordJson.h"

#include <QByteArray>
#include <QHttpServerResponder>
#include <QJsonObject>
#include <QString>
#include <functional>
#include <initializer_list>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

class QHttpServerRequest;

namespace ostrella::api {

// An answer: its status and body (JSON unless `contentType` says otherwise).
struct Reply {
    QHttpServerResponder::StatusCode status;
    std::string json;
    // For 405: the methods the path takes.
    const char* allow = nullptr;
    const char* contentType = "application/json";
};

// {"error": message}, and the 400 that carries it.
std::string errorJson(const std::string& message);
Reply badRequest(const std::string& message);
// 405, naming the `methods` the path takes ("GET, PUT") in its error and its Allow header.
Reply notAllowed(const char* methods);

// The API's names of the fault boxes: the command-line names with '_' for '-', and
// send_disconnect.
std::vector<std::pair<std::string, Box>> faultKeys();

// "1.0.1".
std::string versionNumber();

// Text from a JSON string as line bytes (Latin-1); nothing when a character is beyond it.
std::optional<std::string> latin1(const QString& text);

// The body as a JSON object, or nothing with `error` the 400 saying why it is not one.
std::optional<QJsonObject> objectOf(const QByteArray& body, Reply& error);

using Params = std::unordered_map<std::string, QString>;
// The query's parameters, each one of `allowed`; a 400 names one that is not.
std::optional<Params> queryOf(const QHttpServerRequest& request,
                              std::initializer_list<const char*> allowed, Reply& error);
// The `name` parameter as a whole number, `fallback` when absent; a 400 when it is no number.
std::optional<long> numberParam(const Params& params, const std::string& name, long fallback,
                                Reply& error);

// The plan of a PUT body ({"dial": [...], "block": [...], "numbers": {...}, "pagers": {...}}, any
// key left out planning nothing of its kind) as the plan box's texts; nothing with `error` the 400
// naming the bad key or value.
std::optional<PlanTexts> planTextsFrom(const QJsonObject& object, Reply& error);
// The plan in force in the same form.
std::string planJson(const FaultPlan& plan);

// The rules of an ignore PUT body ({"rules": ["block.gap", ...]}; {} for none), each one of the
// judge's; nothing with `error` the 400 naming the bad key or rule.
std::optional<std::set<std::string, std::less<>>> ignoredRulesFrom(const QJsonObject& object,
                                                                   Reply& error);

// {"<name>": [...]}: the records as the JSON Lines file writes them.
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

} // namespace ostrella::api
