// SPDX-License-Identifier: MIT
#include "app/ApiJson.h"

#include "app/Faults.h"
#include "app/Version.h"
#include "judge/Finding.h"
#include "sim/RecordJson.h"

#include <QHttpServerRequest>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QUrlQuery>
#include <QUtf8StringView>
#include <algorithm>
#include <charconv>

namespace ostrella::api {

using Status = QHttpServerResponder::StatusCode;

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

std::string errorJson(const std::string& message)
{
    // The message is text (UTF-8: a value the client sent may be quoted in it); one that quotes
    // bytes as the line takes them (Latin-1) is read as those.
    const QString text = QUtf8StringView(message).isValidUtf8() ? QString::fromUtf8(message)
                                                                : QString::fromLatin1(message);
    const QByteArray quoted = QJsonDocument(QJsonArray { text }).toJson(QJsonDocument::Compact);
    return "{\"error\": " + quoted.mid(1, quoted.size() - 2).toStdString() + "}";
}

Reply badRequest(const std::string& message)
{
    return { Status::BadRequest, errorJson(message) };
}

Reply notAllowed(const char* methods)
{
    return { Status::MethodNotAllowed,
             errorJson(std::string("this path takes ") + methods + " only"), methods };
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
std::optional<QJsonObject> objectOf(const QByteArray& body, Reply& error)
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

namespace {

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

} // namespace

// The query's parameters, each one of `allowed`; a 400 names one that is not.
std::optional<std::unordered_map<std::string, QString>>
queryOf(const QHttpServerRequest& request, std::initializer_list<const char*> allowed, Reply& error)
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
        if (!params.emplace(name, value).second) {
            error = badRequest("parameter '" + name + "' given more than once");
            return std::nullopt;
        }
    }
    return params;
}

// The `name` parameter as a whole number, `fallback` when absent.
std::optional<long> numberParam(const std::unordered_map<std::string, QString>& params,
                                const std::string& name, long fallback, Reply& error)
{
    const auto it = params.find(name);
    if (it == params.end())
        return fallback;
    const auto value = wholeNumber(it->second);
    if (!value)
        error = badRequest(name + ": '" + it->second.toStdString() + "' is not a whole number");
    return value;
}

namespace {

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

// "key: " and what follows, for an error text. (Built by appending: GCC 12 takes
// `std::string(key) + "..."`, once inlined, for a write out of bounds.)
std::string keyed(const char* key, std::string_view rest)
{
    std::string text(key);
    text += ": ";
    text += rest;
    return text;
}

// One list of plan words from the JSON array `value`, for the plan text (comma-separated).
template<typename Parse>
std::optional<std::string> planList(const QJsonValue& value, const char* key, Parse parse,
                                    const char* what, Reply& error)
{
    if (!value.isArray()) {
        error = badRequest(keyed(key, "must be a list of words"));
        return std::nullopt;
    }
    std::string text;
    for (const QJsonValue& item : value.toArray()) {
        const auto word = item.isString() ? latin1(item.toString()) : std::nullopt;
        if (!word || !parse(*word)) {
            error = badRequest(keyed(key, "")
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
                                     Parse parse, const char* what, Reply& error)
{
    if (!value.isObject()) {
        error = badRequest(keyed(key, "must be an object of ") + keyWhat + " to word");
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
            error = badRequest(keyed(key, "'") + it.key().toStdString() + "' is not a " + keyWhat
                               + " (no blanks, controls or '=')");
            return std::nullopt;
        }
        const auto word = it.value().isString() ? latin1(it.value().toString()) : std::nullopt;
        if (!word || !parse(*word)) {
            error = badRequest(keyed(key, "the word for '") + *name + "' is not a " + what);
            return std::nullopt;
        }
        text += (text.empty() ? "" : " ") + *name + "=" + *word;
    }
    return text;
}

constexpr const char* DialWhat = "dial outcome (connect, busy, no-answer, no-carrier, no-dialtone)";
constexpr const char* ReplyWhat = "block reply (ack, nak, rej, none, garble, corrupt, drop)";

} // namespace

std::optional<PlanTexts> planTextsFrom(const QJsonObject& object, Reply& error)
{
    PlanTexts texts;
    for (auto it = object.begin(); it != object.end(); ++it) {
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
            error = badRequest("unknown plan key '" + key.toStdString()
                               + "' (dial, block, numbers, pagers)");
            return std::nullopt;
        }
        if (!text)
            return std::nullopt;
        *target = *text;
    }
    return texts;
}

std::string planJson(const FaultPlan& plan)
{
    return JsonObject(256)
        .raw("dial", wordList(plan.dials()))
        .raw("block", wordList(plan.blocks()))
        .raw("numbers", ruleObject(plan.numbers()))
        .raw("pagers", ruleObject(plan.pagers()))
        .done();
}

std::optional<std::set<std::string, std::less<>>> ignoredRulesFrom(const QJsonObject& object,
                                                                   Reply& error)
{
    std::set<std::string, std::less<>> rules;
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (it.key() != QLatin1String("rules")) {
            error = badRequest("unknown key '" + it.key().toStdString() + "' (rules)");
            return std::nullopt;
        }
        if (!it.value().isArray()) {
            error = badRequest("rules: must be a list of rule names");
            return std::nullopt;
        }
        for (const QJsonValue& item : it.value().toArray()) {
            const std::string name = item.toString().toStdString();
            if (!item.isString()) {
                error = badRequest("rules: an item that is no rule name");
                return std::nullopt;
            }
            if (findRule(name) == nullptr) {
                error = badRequest("unknown rule '" + name + "'");
                return std::nullopt;
            }
            rules.insert(name);
        }
    }
    return rules;
}

} // namespace ostrella::api
