// SPDX-License-Identifier: MIT
// The suite's catalogue of cases: for each, what the modem and terminal do to the client and
// what a client that follows TAP 1.8 is expected to do, with the judgement that gives its
// verdict from the calls the case took. Case ids are part of the interface: "4.1" stays 4.1.
#pragma once

#include "engine/CallScript.h"
#include "engine/TerminalProfile.h"
#include "ports/Records.h"
#include "suite/CallReading.h"
#include "suite/CaseResult.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrella {

// What the simulator does on a call of a case.
struct CaseSetup {
    TerminalProfile terminal = TerminalProfile::Tap18;
    CallScript script;
    // Plan words for the call's dials and blocks ("busy,connect"; "nak,ack"); "": none.
    std::string dials;
    std::string blocks;
    // The line's rate both ways in bit/s; 0: not paced.
    unsigned bps = 0;
};

// One call of a case, as far as it has gone.
struct CaseCall {
    CallReading reading;
    // The rules of the findings made in it, in order.
    std::vector<std::string> findings;
    FindingCounts counts;
};

// What a judgement sees: the case's calls in order (the last may still be on), how long since
// the last one ended (Never while one is on) and since the first did, and the case's wait for a
// call.
struct CaseView {
    std::vector<const CaseCall*> calls;
    std::int64_t idleMs = Never;
    // How long since the case's first call ended; Never before.
    std::int64_t sinceFirstMs = Never;
    std::int64_t waitMs = 120'000;

    bool callOn() const { return idleMs == Never; }
    // Every block the case's calls carried, in order.
    std::vector<const BlockRead*> blocks() const;
};

struct Decision {
    Verdict verdict;
    std::string reason;
};

// The verdict once the calls tell it; nothing while more must happen.
using Judgement = std::optional<Decision> (*)(const CaseView& view);

struct CaseDefinition {
    std::string_view id;
    std::string_view title;
    std::string_view does;
    std::string_view expects;
    std::string_view tolerance;
    // The case's first call; `everyCall`: its later calls too (otherwise they are standard).
    CaseSetup first;
    bool everyCall = false;
    Judgement judge;
};

// Every case, in order.
const std::vector<CaseDefinition>& suiteCases();
const CaseDefinition* findCase(std::string_view id);

// Whether case `id` is chosen by `filter` ("4,5.1"): a filter item names a case or a group by
// whole id segments, so "2.1" chooses 2.1 but not 2.10. Empty items are ignored.
bool caseMatches(std::string_view id, std::string_view filter);
// The error for a filter naming no case at all ("--cases: no case 9.9"), "" when good.
std::string checkCaseFilter(std::string_view filter, std::string_view option);

// The case a dialled number plays: "#0401" for 4.1, "#0410" for 4.10; nothing for another number.
std::optional<std::string> caseOfNumber(std::string_view number);

} // namespace ostrella
