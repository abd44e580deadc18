// SPDX-License-Identifier: MIT
// Calls and a suite run for the report's tests and for the sample report a browser opens.
#pragma once

#include "suite/HtmlReport.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace ostrella::test {

// STX, `body`, ETX, the TAP checksum (7-bit values, low 12 bits, `checksumOffset` added) and CR.
std::string tapBlock(std::string_view body, int checksumOffset = 0);

// Pieces of the busy call, by index.
namespace busy {
inline constexpr std::size_t LongBlock = 13;
inline constexpr std::size_t Change = 20;
inline constexpr std::size_t MarkupBlock = 21;
inline constexpr std::size_t NoCarrier = 29;
} // namespace busy

// A two-minute call of 30 pieces: a BUSY dial, a second dial that connects after 10.4 s, two CRs
// 2 s apart before ID=, a logon, four pages (ACK; NAK then ACK on the resend; ACK; RS) with slow
// replies, a character changed by noise, a block holding < & " and bytes 0x80-0xFF, EOT, the
// goodbye, NO CARRIER, and the client's hang-up 15.2 s later; three findings, one of each level.
CallTimeline busyCall();

// A short call that ended after the logon, and one whose transcript was cut at its bound.
CallTimeline shortCall();
CallTimeline cutCall();

// The record of a call with that timeline: the same id and times, 2026-12-08 09:05 UTC on.
CallRecord recordOf(const CallTimeline& timeline);

// A suite run of six cases (pass, non-strict, info, fail, no-show and one running) over the three
// calls above, whose timelines it holds; or (suite false) the calls alone.
struct SampleRun {
    explicit SampleRun(bool suite);
    SampleRun(const SampleRun&) = delete;
    SampleRun& operator=(const SampleRun&) = delete;

    std::vector<CallTimeline> timelines;
    ReportInput input;
};

} // namespace ostrella::test
