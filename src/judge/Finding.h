// SPDX-License-Identifier: MIT
// What the judge tells of a call: each rule of TAP 1.8 (or of the modem dialogue) the client
// broke, with its evidence, and the table of the rules it knows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrella {

// error: breaks TAP, a standard terminal may refuse or misread it; warning: allowed or common
// but fragile, real terminals differ; note: worth knowing.
enum class FindingLevel { Error, Warning, Note };

std::string_view levelText(FindingLevel level);
// "error", "warning" or "note" to its level; nothing for any other text.
std::optional<FindingLevel> levelOf(std::string_view text);

struct Finding {
    // One of judgeRules()' ids.
    std::string_view rule;
    FindingLevel level = FindingLevel::Error;
    // Monotonic ms of what the finding is about.
    std::int64_t timeMs = 0;
    // For people: what the client did and what TAP asks.
    std::string text;
    // The bytes concerned, as received.
    std::string evidence;
    // About a block (or its page): it goes with the page record the block becomes.
    bool aboutBlock = false;
};

class FindingEvents {
public:
    virtual ~FindingEvents() = default;
    virtual void finding(const Finding& finding) = 0;
};

struct JudgeRule {
    std::string_view id;
    // The level it is made at (block.control-unescaped: error against the tap18 terminal,
    // warning against the others; the table gives the tap18 one).
    FindingLevel level;
    // Where TAP (or the modem dialogue) says it: "TAP 1.8 blocks".
    std::string_view ref;
    // What is seen on the line, for the rules' table.
    std::string_view seen;
};

// Every rule the judge knows, in the order of the rules' table.
const std::vector<JudgeRule>& judgeRules();
// The rule of that id; nullptr when there is none.
const JudgeRule* findRule(std::string_view id);

} // namespace ostrella
