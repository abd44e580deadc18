// SPDX-License-Identifier: MIT
#include "sim/RecordJson.h"

#include <cstdio>
#include <ctime>

namespace ostrella {

std::string jsonString(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() + 2);
    out += '"';
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", c);
            out += escape;
        } else if (c >= 0xA0) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
    return out;
}

std::string isoTime(std::int64_t epochMs)
{
    const std::time_t seconds = static_cast<std::time_t>(epochMs / 1000);
    std::tm utc {};
    gmtime_r(&seconds, &utc);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(epochMs % 1000));
    return text;
}

std::string toJson(const PageRecord& page)
{
    std::string fields = "[";
    for (std::size_t i = 0; i < page.fields.size(); ++i)
        fields += (i > 0 ? "," : "") + jsonString(page.fields[i]);
    fields += "]";
    return R"({"type":"page","v":1,"seq":)" + std::to_string(page.seq) + R"(,"call":)"
        + std::to_string(page.call) + R"(,"time":")" + isoTime(page.time) + R"(","caller":)"
        + jsonString(page.caller) + R"(,"pager":)" + jsonString(page.pager) + R"(,"message":)"
        + jsonString(page.message) + R"(,"fields":)" + fields + R"(,"checksum_sent":)"
        + jsonString(page.checksumSent) + R"(,"checksum_computed":)"
        + jsonString(page.checksumComputed) + R"(,"reply":)" + jsonString(page.reply)
        + R"(,"reason":)" + jsonString(page.reason) + "}";
}

std::string toJson(const CallRecord& call)
{
    std::string dials = "[";
    for (std::size_t i = 0; i < call.dials.size(); ++i) {
        dials += (i > 0 ? "," : "") + std::string(R"({"number":)")
            + jsonString(call.dials[i].number) + R"(,"outcome":)"
            + jsonString(call.dials[i].outcome) + "}";
    }
    dials += "]";
    return R"({"type":"call","v":1,"id":)" + std::to_string(call.id) + R"(,"caller":)"
        + jsonString(call.caller) + R"(,"start":")" + isoTime(call.start) + R"(","end":")"
        + isoTime(call.end) + R"(","dials":)" + dials + R"(,"seven_bit":)"
        + (call.sevenBit ? "true" : "false") + R"(,"logon":)" + (call.logon ? "true" : "false")
        + R"(,"pages":{"ACK":)" + std::to_string(call.ack) + R"(,"NAK":)" + std::to_string(call.nak)
        + R"(,"RS":)" + std::to_string(call.rs) + R"(,"none":)" + std::to_string(call.none)
        + R"(},"ended":)" + jsonString(call.ended) + "}";
}

} // namespace ostrella
