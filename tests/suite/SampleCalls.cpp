// SPDX-License-Identifier: MIT
#include "suite/SampleCalls.h"

#include "link/ControlChars.h"

namespace ostrella::test {

namespace {

constexpr std::int64_t SampleStart = 1'796'720'700'000; // 2026-12-08 09:05:00 UTC

const std::string Ok211 = "211 Page(s) Sent Successfully\r";
const std::string AckCr { Ack, Cr };

std::string esc(std::string_view text)
{
    return std::string { Esc } + std::string(text);
}

} // namespace

std::string tapBlock(std::string_view body, int checksumOffset)
{
    std::string b = std::string { Stx } + std::string(body) + Etx;
    unsigned sum = static_cast<unsigned>(checksumOffset);
    for (const char c : b)
        sum += static_cast<unsigned char>(c) & 0x7FU;
    for (const int shift : { 8, 4, 0 })
        b.push_back(static_cast<char>('0' + ((sum >> shift) & 0xF)));
    return b + Cr;
}

CallTimeline busyCall()
{
    const std::string markupBlock = tapBlock("5551234\r<b>&\"quoted\" \xE9\x80\xFF\rend\r");
    CallTimeline call;
    call.call = 7;
    call.line = 2;
    call.modem = "hayes";
    call.terminal = "tap18";
    call.lengthMs = 120'000;
    call.pieces = {
        { 300, true, "ATZ\r", false },
        { 320, false, "ATZ\r\r\nOK\r\n", false },
        { 900, true, "ATDT5551234\r", false },
        { 920, false, "ATDT5551234\r", false },
        { 6900, false, "\r\nBUSY\r\n", false },
        { 26'900, true, "ATDT5551234\r", false },
        { 26'920, false, "ATDT5551234\r", false },
        { 37'300, false, "\r\nCONNECT 2400\r\n", false },
        { 37'800, true, "\r", false },
        { 39'800, true, "\r", false },
        { 40'100, false, "ID=\r", false },
        { 41'700, true, esc("PG1\r"), false },
        { 41'900, false, "110 1.8\r" + AckCr + esc("[p\r"), false },
        { 42'600, true,
          tapBlock("5551234\rHello world, this is a long message of many characters\r"), false },
        { 53'000, false, Ok211, false },
        { 53'005, false, AckCr, false },
        { 54'200, true, tapBlock("5551234\rSecond page\r", 1), false },
        { 62'200, false, "514 Checksum error\r" + std::string { Nak, Cr }, false },
        { 63'100, true, tapBlock("5551234\rSecond page\r"), false },
        { 72'600, false, Ok211 + AckCr, false },
        { 74'000, true, "AC", true },
        { 74'000, true, markupBlock.substr(0, 20), false },
        { 74'020, true, markupBlock.substr(20), false },
        { 81'200, false, Ok211, false },
        { 81'210, false, AckCr, false },
        { 82'900, true, tapBlock("999\rTo nobody\r"), false },
        { 91'100, false, "511 Unknown pager ID\r" + std::string { Rs, Cr }, false },
        { 94'000, true, std::string { Eot, Cr }, false },
        { 94'300, false, "115 Goodbye\r" + esc(std::string { Eot, Cr }), false },
        { 104'800, false, "\r\nNO CARRIER\r\n", false },
    };
    call.findings = {
        { 41'700, "logon.no-password", "note", "logged on without a password" },
        { 54'200, "block.checksum", "error",
          "checksum 1;< sent, 1;; computed over STX..ETX; TAP 1.8 sums the 7-bit values" },
        { 74'020, "block.eight-bit", "warning",
          "a byte above 0x7F in the block: <\xE9> & \"more\"; TAP 1.8 sends 7-bit characters" },
    };
    return call;
}

CallTimeline shortCall()
{
    CallTimeline call;
    call.call = 8;
    call.modem = "classic";
    call.terminal = "tap18";
    call.lengthMs = 9'400;
    call.pieces = {
        { 200, true, "ATDT5551234\r", false },
        { 2'200, false, "CONNECT\r\n", false },
        { 2'500, true, "\r", false },
        { 2'700, false, "ID=\r", false },
        { 3'100, true, esc("pg1\r"), false },
        { 3'300, false, "110 1.8\r" + AckCr + esc("[p\r"), false },
        { 9'300, false, "501 Time out\r" + esc(std::string { Eot, Cr }), false },
    };
    call.findings = { { 3'100, "logon.lower-case", "warning", "logon as pg1" },
                      { 9'300, "end.no-eot", "error", "the call ended without EOT" } };
    return call;
}

CallTimeline cutCall()
{
    CallTimeline call;
    call.call = 9;
    call.lineName = "ttyUSB0";
    call.modem = "hayes";
    call.terminal = "classic";
    call.lengthMs = 31'000;
    call.pieces = {
        { 100, true, "ATDT5551234\r", false },
        { 5'100, false, "\r\nCONNECT 9600\r\n", false },
        { 5'600, true, std::string(300, 'x'), false },
    };
    call.dropped = 262'144;
    return call;
}

CallRecord recordOf(const CallTimeline& timeline)
{
    CallRecord record;
    record.id = timeline.call;
    record.line = timeline.line;
    record.lineName = timeline.lineName;
    record.caller = "127.0.0.1";
    record.start = SampleStart + (timeline.call - 7) * 300'000;
    record.end = record.start + timeline.lengthMs;
    record.modem = timeline.modem;
    record.terminal = timeline.terminal;
    record.transcriptDropped = timeline.dropped;
    for (const TimelineFinding& finding : timeline.findings) {
        if (finding.level == "error")
            ++record.findings.error;
        else if (finding.level == "warning")
            ++record.findings.warning;
        else
            ++record.findings.note;
    }
    return record;
}

SampleRun::SampleRun(bool suite)
{
    timelines = { busyCall(), shortCall(), cutCall() };
    input.title = "Ostrella sample run";
    input.generatedAt = SampleStart + 3'600'000;
    input.suite = suite;
    for (const CallTimeline& timeline : timelines)
        input.calls.push_back(ReportCall { recordOf(timeline), &timeline });
    ReportCall& busy = input.calls[0];
    busy.record.dials = { { "5551234", "BUSY" }, { "5551234", "CONNECT" } };
    busy.record.logon = true;
    busy.record.ack = 2;
    busy.record.nak = 1;
    busy.record.rs = 1;
    busy.record.ended = "eot";
    busy.record.noiseCounted = true;
    busy.record.noiseIn = 1;
    ReportCall& quick = input.calls[1];
    quick.record.dials = { { "5551234", "CONNECT" } };
    quick.record.logon = true;
    quick.record.ended = "hangup";
    input.calls[2].record.dials = { { "5551234", "CONNECT" } };
    input.calls[2].record.ended = "carrier-lost";
    input.calls[2].record.none = 1;
    if (!suite)
        return;
    const auto add = [this](std::string id, std::string title, std::optional<Verdict> verdict,
                            std::string reason, std::vector<long> calls) {
        CaseResult result;
        result.id = std::move(id);
        result.title = std::move(title);
        result.does = "answers each block after a delay, NAKs the first checksum error";
        result.expects = "the client waits for every reply and resends a NAKed block once";
        result.tolerance = "replies up to t3 (10 s) late";
        result.verdict = verdict;
        result.reason = std::move(reason);
        result.calls = std::move(calls);
        input.cases.push_back(std::move(result));
    };
    add("4.1", "Slow replies and a NAK", Verdict::Pass,
        "resent the block 0.9 s after the NAK, ACKed; waited 10.4 s for the first reply", { 7 });
    add("4.2", "Lower-case logon", Verdict::NonStrict, "logged on as pg1 <lower case>", { 8 });
    add("5.1", "A device line cut short", Verdict::Info, "sent 300 bytes without a block", { 9 });
    add("5.2", "Pages after the terminal's time-out", Verdict::Fail,
        "no EOT after 501 & ESC EOT; hung up 0.1 s later", { 8 });
    add("6.1", "A dial that is never answered", Verdict::NoShow, "no call came within 60 s", {});
    add("6.2", "Many pages in one call", std::nullopt, "", {});
    input.cases[0].findings = busy.record.findings;
    input.cases[0].findingRules = { "logon.no-password", "block.checksum", "block.eight-bit" };
    input.currentCase = "6.2";
}

} // namespace ostrella::test
