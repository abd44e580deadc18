// SPDX-License-Identifier: MIT
// Records as JSON Lines objects (schema version 1). Every byte of a text keeps its identity: a
// control character (0x00-0x1F, 0x7F-0x9F) is written as \u00XX, any other byte of 0x80-0xFF as
// the Latin-1 character of that code, so a reader gets the bytes back code point by code point.
#pragma once

#include "ports/Records.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ostrella {

// A JSON string literal of `bytes`, quotes included.
std::string jsonString(std::string_view bytes);

// ISO 8601 UTC with milliseconds: "2026-12-08T09:05:00.000Z".
std::string isoTime(std::int64_t epochMs);

// One JSON object written member by member, in the order called; done() gives its text.
class JsonObject {
public:
    explicit JsonObject(std::size_t reserve = 64);
    // "name": then the value, written by the caller with the rest of the text.
    JsonObject& key(std::string_view name);
    JsonObject& text(std::string_view name, std::string_view value);
    JsonObject& number(std::string_view name, long value);
    JsonObject& flag(std::string_view name, bool value);
    // The time as isoTime() writes it.
    JsonObject& time(std::string_view name, std::int64_t epochMs);
    JsonObject& texts(std::string_view name, const std::vector<std::string>& values);
    // A member written as it is (an array or an object).
    JsonObject& raw(std::string_view name, std::string_view json);
    std::string done();

private:
    std::string out_;
};

// One object, no newline: {"type":"page","v":1,"seq":...} / {"type":"call","v":1,"id":...}.
std::string toJson(const PageRecord& page);
std::string toJson(const CallRecord& call);
// {"type":"finding","v":1,"seq":...}.
std::string toJson(const FindingRecord& finding);
// {"error":N,"warning":N,"note":N}.
std::string toJson(const FindingCounts& counts);

} // namespace ostrella
