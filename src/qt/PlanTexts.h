// SPDX-License-Identifier: MIT
// The fault plan as an operator writes it, in four texts (the window's Plan box, the command
// line), and how those texts become the plan in force: all of them or none.
#pragma once

#include "engine/FaultPlan.h"

#include <string>

namespace ostrella {

struct PlanTexts {
    // "busy,connect": the Nth dial gets the Nth outcome, the last repeating.
    std::string dials;
    // "nak,ack": the Nth block of each call gets the Nth reply, the last repeating.
    std::string blocks;
    // "5550001=busy 5550002=no-answer": blank-separated, a number to its dial outcome.
    std::string numbers;
    // "1234=rej 5678=none": blank-separated, a pager ID to its block reply.
    std::string pagers;

    bool operator==(const PlanTexts&) const = default;
};

// Puts the plan the texts describe in force and returns "". Every text may be blank (nothing of
// that kind is then planned); all four blank clear the plan. The plan starts afresh, so its dial
// list counts dials from here on. When any text is bad the plan is left exactly as it was and the
// result says why: one line per bad text, "dial plan: ", "block plan: ", "numbers: " or
// "pagers: " and the plan's own error naming the bad word.
std::string applyPlanTexts(FaultPlan& plan, const PlanTexts& texts);

// The texts as a plan box shows them once applied: blanks trimmed, the assignments separated by
// one blank.
PlanTexts tidied(const PlanTexts& texts);

} // namespace ostrella
