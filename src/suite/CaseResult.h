// SPDX-License-Identifier: MIT
// A case of the test suite as it stands: what the simulator does, what a client that follows
// TAP 1.8 is expected to do, and the verdict once it is known.
#pragma once

#include "ports/Records.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrella {

// pass; non-strict: what TAP allows but does not recommend; info: TAP leaves it open, what the
// client did is reported; fail; no-show: no call came for the case in time.
enum class Verdict { Pass, NonStrict, Info, Fail, NoShow };

std::string_view verdictText(Verdict verdict);
std::optional<Verdict> verdictOf(std::string_view text);
// Whether the verdict fails a run: fail always, no-show unless allowed, non-strict and info only
// when strict.
bool verdictFails(Verdict verdict, bool strict, bool allowNoShow);

struct CaseResult {
    // "4.1", and its group ("4").
    std::string id;
    std::string title;
    // What the simulator does, what the client is expected to do, and the timing tolerance the
    // verdict allows ("" when none matters).
    std::string does;
    std::string expects;
    std::string tolerance;
    // Nothing while the case is not decided yet.
    std::optional<Verdict> verdict;
    // One line that names times and bytes: "resent the block 0.3 s after the NAK, ACKed".
    std::string reason;
    // The calls the case took, in order (one still on when the verdict came is added as it ends).
    std::vector<long> calls;
    // The findings made in those calls, by level, and their rules in the order made.
    FindingCounts findings;
    std::vector<std::string> findingRules;
    // Wall-clock ms since the Unix epoch the verdict was given; 0 before.
    std::int64_t decidedAt = 0;

    std::string group() const { return id.substr(0, id.find('.')); }
};

// {"type":"case","v":1,"id":"4.1","title":"...","verdict":"pass","reason":"...","calls":[7,8],
// "findings":{"error":0,"warning":1,"note":0}}; "verdict" is "pending" while undecided.
std::string toJson(const CaseResult& result);

} // namespace ostrella
