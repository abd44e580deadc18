// SPDX-License-Identifier: MIT
#include "qt/PlanTexts.h"

#include <string_view>
#include <vector>

namespace ostrella {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::vector<std::string_view> blankSeparated(std::string_view text)
{
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && isBlank(text[i]))
            ++i;
        const std::size_t start = i;
        while (i < text.size() && !isBlank(text[i]))
            ++i;
        if (i > start)
            words.push_back(text.substr(start, i - start));
    }
    return words;
}

std::string trimmed(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return std::string(text);
}

std::string joined(const std::vector<std::string_view>& words)
{
    std::string out;
    for (const std::string_view word : words) {
        if (!out.empty())
            out += ' ';
        out += word;
    }
    return out;
}

void addError(std::string& errors, const char* what, const std::string& error)
{
    if (error.empty())
        return;
    if (!errors.empty())
        errors += '\n';
    errors += what;
    errors += ": ";
    errors += error;
}

// The first error among the assignments of `text`, each set through `set`.
template<typename Set> std::string assignEach(std::string_view text, Set set)
{
    for (const std::string_view assignment : blankSeparated(text)) {
        if (std::string error = set(assignment); !error.empty())
            return error;
    }
    return std::string();
}

} // namespace

std::string applyPlanTexts(FaultPlan& plan, const PlanTexts& texts)
{
    FaultPlan next;
    std::string errors;
    addError(errors, "dial plan", next.setDialPlan(texts.dials));
    addError(errors, "block plan", next.setBlockPlan(texts.blocks));
    addError(errors, "numbers",
             assignEach(texts.numbers, [&next](std::string_view a) { return next.setNumber(a); }));
    addError(errors, "pagers",
             assignEach(texts.pagers, [&next](std::string_view a) { return next.setPager(a); }));
    if (errors.empty())
        plan = next;
    return errors;
}

PlanTexts tidied(const PlanTexts& texts)
{
    return PlanTexts { trimmed(texts.dials), trimmed(texts.blocks),
                       joined(blankSeparated(texts.numbers)),
                       joined(blankSeparated(texts.pagers)) };
}

} // namespace ostrella
