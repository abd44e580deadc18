// SPDX-License-Identifier: MIT
// Records as JSON Lines objects (schema version 1). Every byte of a text keeps its identity: a
// control character (0x00-0x1F, 0x7F-0x9F) is written as \u00XX, any other byte of 0x80-0xFF as
// the Latin-1 character of that code, so a reader gets the bytes back code point by code point.
#pragma once

#include "ports/Records.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace ostrella {

// A JSON string literal of `bytes`, quotes included.
std::string jsonString(std::string_view bytes);

// ISO 8601 UTC with milliseconds: "2026-12-08T09:05:00.000Z".
std::string isoTime(std::int64_t epochMs);

// One object, no newline: {"type":"page","v":1,"seq":...} / {"type":"call","v":1,"id":...}.
std::string toJson(const PageRecord& page);
std::string toJson(const CallRecord& call);

} // namespace ostrella
