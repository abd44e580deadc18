// SPDX-License-Identifier: MIT
#include "sim/RecordJson.h"

#include <vector>

namespace ostrella {

namespace {

void appendJsonString(std::string& out, std::string_view bytes)
{
    out += '"';
    std::size_t run = 0; // start of the plain characters not yet appended
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\')
            continue;
        out.append(bytes.data() + run, i - run);
        run = i + 1;
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c <= 0x9F) {
            constexpr char Hex[] = "0123456789ABCDEF";
            const char escape[] = { '\\', 'u', '0', '0', Hex[c >> 4], Hex[c & 0x0F] };
            out.append(escape, sizeof escape);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    out.append(bytes.data() + run, bytes.size() - run);
    out += '"';
}

} // namespace

std::string jsonString(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() + 2);
    appendJsonString(out, bytes);
    return out;
}

std::string isoTime(std::int64_t epochMs)
{
    // Days since 1970-01-01 to a civil date (proleptic Gregorian), without the C library's time
    // functions: records are made often, and this is on the line's path.
    std::int64_t ms = epochMs % 86'400'000;
    std::int64_t days = epochMs / 86'400'000;
    if (ms < 0) {
        ms += 86'400'000;
        --days;
    }
    const std::int64_t z = days + 719'468;
    const std::int64_t era = (z >= 0 ? z : z - 146'096) / 146'097;
    const std::int64_t doe = z - era * 146'097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36'524 - doe / 146'096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);

    char text[] = "0000-00-00T00:00:00.000Z";
    const auto put = [&text](std::size_t at, std::int64_t value, int digits) {
        for (int d = digits - 1; d >= 0; --d) {
            text[at + static_cast<std::size_t>(d)] = static_cast<char>('0' + value % 10);
            value /= 10;
        }
    };
    put(0, year, 4);
    put(5, month, 2);
    put(8, day, 2);
    put(11, ms / 3'600'000, 2);
    put(14, ms / 60'000 % 60, 2);
    put(17, ms / 1000 % 60, 2);
    put(20, ms % 1000, 3);
    return text;
}

JsonObject::JsonObject(std::size_t reserve)
{
    out_.reserve(reserve);
}

JsonObject& JsonObject::key(std::string_view name)
{
    out_ += out_.empty() ? '{' : ',';
    out_ += '"';
    out_ += name;
    out_ += "\":";
    return *this;
}

JsonObject& JsonObject::text(std::string_view name, std::string_view value)
{
    key(name);
    appendJsonString(out_, value);
    return *this;
}

JsonObject& JsonObject::number(std::string_view name, long value)
{
    key(name);
    out_ += std::to_string(value);
    return *this;
}

JsonObject& JsonObject::flag(std::string_view name, bool value)
{
    key(name);
    out_ += value ? "true" : "false";
    return *this;
}

JsonObject& JsonObject::time(std::string_view name, std::int64_t epochMs)
{
    key(name);
    out_ += '"';
    out_ += isoTime(epochMs);
    out_ += '"';
    return *this;
}

JsonObject& JsonObject::texts(std::string_view name, const std::vector<std::string>& values)
{
    key(name);
    out_ += '[';
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0)
            out_ += ',';
        appendJsonString(out_, values[i]);
    }
    out_ += ']';
    return *this;
}

JsonObject& JsonObject::raw(std::string_view name, std::string_view json)
{
    key(name);
    out_ += json;
    return *this;
}

std::string JsonObject::done()
{
    out_ += out_.empty() ? "{}" : "}";
    return std::move(out_);
}

std::string toJson(const PageRecord& page)
{
    JsonObject json(256 + 2 * (page.message.size() + page.pager.size()));
    json.text("type", "page").number("v", 1).number("seq", page.seq).number("call", page.call);
    if (!page.lineName.empty())
        json.text("line", page.lineName);
    else if (page.line > 0)
        json.number("line", page.line);
    json.time("time", page.time)
        .text("caller", page.caller)
        .text("pager", page.pager)
        .text("message", page.message)
        .texts("fields", page.fields)
        .text("checksum_sent", page.checksumSent)
        .text("checksum_computed", page.checksumComputed)
        .text("reply", page.reply)
        .text("reason", page.reason);
    if (!page.code.empty())
        json.text("code", page.code);
    if (!page.findings.empty())
        json.texts("findings", page.findings);
    return json.done();
}

std::string toJson(const CallRecord& call)
{
    std::string dials = "[";
    for (std::size_t i = 0; i < call.dials.size(); ++i) {
        dials += i > 0 ? ",{\"number\":" : "{\"number\":";
        appendJsonString(dials, call.dials[i].number);
        dials += ",\"outcome\":";
        appendJsonString(dials, call.dials[i].outcome);
        dials += '}';
    }
    dials += ']';
    const std::string pages = JsonObject(64)
                                  .number("ACK", call.ack)
                                  .number("NAK", call.nak)
                                  .number("RS", call.rs)
                                  .number("none", call.none)
                                  .done();
    JsonObject json(360 + dials.size());
    json.text("type", "call").number("v", 1).number("id", call.id);
    if (!call.lineName.empty())
        json.text("line", call.lineName);
    else if (call.line > 0)
        json.number("line", call.line);
    json.text("caller", call.caller)
        .time("start", call.start)
        .time("end", call.end)
        .raw("dials", dials)
        .flag("seven_bit", call.sevenBit)
        .flag("logon", call.logon)
        .raw("pages", pages)
        .text("ended", call.ended)
        .text("terminal", call.terminal)
        .text("modem", call.modem)
        .raw("findings", toJson(call.findings));
    if (call.transcriptDropped > 0)
        json.number("transcript_dropped", static_cast<long>(call.transcriptDropped));
    if (call.noiseCounted)
        json.raw("noise",
                 JsonObject(32).number("in", call.noiseIn).number("out", call.noiseOut).done());
    return json.done();
}

std::string toJson(const FindingCounts& counts)
{
    return JsonObject(48)
        .number("error", counts.error)
        .number("warning", counts.warning)
        .number("note", counts.note)
        .done();
}

std::string toJson(const FindingRecord& finding)
{
    JsonObject json(256 + 2 * (finding.text.size() + finding.evidence.size()));
    json.text("type", "finding")
        .number("v", 1)
        .number("seq", finding.seq)
        .number("call", finding.call);
    if (!finding.lineName.empty())
        json.text("line", finding.lineName);
    else if (finding.line > 0)
        json.number("line", finding.line);
    return json.time("time", finding.time)
        .text("rule", finding.rule)
        .text("level", finding.level)
        .text("ref", finding.ref)
        .text("text", finding.text)
        .text("evidence", finding.evidence)
        .done();
}

} // namespace ostrella
