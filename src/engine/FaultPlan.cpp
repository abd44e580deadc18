// SPDX-License-Identifier: MIT
#include "engine/FaultPlan.h"

#include "text/Blanks.h"

#include <array>
#include <utility>

namespace ostrella {

namespace {

constexpr std::array<std::pair<std::string_view, DialOutcome>, 5> DialWords { {
    { "connect", DialOutcome::Connect },
    { "busy", DialOutcome::Busy },
    { "no-answer", DialOutcome::NoAnswer },
    { "no-carrier", DialOutcome::NoCarrier },
    { "no-dialtone", DialOutcome::NoDialtone },
} };

constexpr std::array<std::pair<std::string_view, BlockReply>, 7> ReplyWords { {
    { "ack", BlockReply::Ack },
    { "nak", BlockReply::Nak },
    { "rej", BlockReply::Rej },
    { "none", BlockReply::None },
    { "garble", BlockReply::Garble },
    { "corrupt", BlockReply::Corrupt },
    { "drop", BlockReply::Drop },
} };

constexpr const char* ReplyWhat = "block reply (ack, nak, rej, none, garble, corrupt, drop)";

// The words of a comma-separated list, each parsed by `parse`; an error names the first bad one.
template<typename T, typename Parse>
std::string parseList(std::string_view list, Parse parse, std::vector<T>& out, const char* what)
{
    std::vector<T> values;
    list = withoutBlanks(list);
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        const std::string_view word = withoutBlanks(list.substr(0, comma));
        const auto value = parse(word);
        if (!value)
            return "'" + std::string(word) + "' is not a " + what;
        values.push_back(*value);
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
        if (comma != std::string_view::npos && withoutBlanks(list).empty())
            return "the list ends with a comma";
    }
    out = std::move(values);
    return std::string();
}

// "KEY=WORD" with a key of at least one character and no blanks.
template<typename T, typename Parse>
std::string parseAssignment(std::string_view text, Parse parse,
                            std::map<std::string, T, std::less<>>& out, const char* key,
                            const char* what)
{
    text = withoutBlanks(text);
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos)
        return "'" + std::string(text) + "' is not " + key + "=" + what;
    const std::string_view name = withoutBlanks(text.substr(0, equals));
    const std::string_view word = withoutBlanks(text.substr(equals + 1));
    if (name.empty() || name.find(' ') != std::string_view::npos)
        return "'" + std::string(name) + "' is not a " + key;
    const auto value = parse(word);
    if (!value)
        return "'" + std::string(word) + "' is not a " + what;
    out[std::string(name)] = *value;
    return std::string();
}

template<typename T> std::string joined(const std::vector<T>& values)
{
    std::string out;
    for (const T& v : values)
        out += (out.empty() ? "" : ",") + std::string(wordOf(v));
    return out;
}

} // namespace

std::string_view wordOf(DialOutcome outcome)
{
    for (const auto& [word, o] : DialWords) {
        if (o == outcome)
            return word;
    }
    return "connect";
}

std::string_view wordOf(BlockReply reply)
{
    for (const auto& [word, r] : ReplyWords) {
        if (r == reply)
            return word;
    }
    return "ack";
}

std::optional<DialOutcome> dialOutcomeFromWord(std::string_view word)
{
    for (const auto& [w, o] : DialWords) {
        if (w == word)
            return o;
    }
    return std::nullopt;
}

std::optional<BlockReply> blockReplyFromWord(std::string_view word)
{
    for (const auto& [w, r] : ReplyWords) {
        if (w == word)
            return r;
    }
    return std::nullopt;
}

std::string FaultPlan::setDialPlan(std::string_view list)
{
    return parseList(list, dialOutcomeFromWord, dials_,
                     "dial outcome (connect, busy, no-answer, no-carrier, no-dialtone)");
}

std::string FaultPlan::setBlockPlan(std::string_view list)
{
    return parseList(list, blockReplyFromWord, blocks_, ReplyWhat);
}

std::string FaultPlan::setNumber(std::string_view assignment)
{
    return parseAssignment(assignment, dialOutcomeFromWord, numbers_, "number",
                           "dial outcome (connect, busy, no-answer, no-carrier, no-dialtone)");
}

std::string FaultPlan::setPager(std::string_view assignment)
{
    return parseAssignment(assignment, blockReplyFromWord, pagers_, "pager ID", ReplyWhat);
}

void FaultPlan::clear()
{
    dials_.clear();
    blocks_.clear();
    numbers_.clear();
    pagers_.clear();
}

bool FaultPlan::empty() const
{
    return dials_.empty() && blocks_.empty() && numbers_.empty() && pagers_.empty();
}

std::string FaultPlan::describe() const
{
    std::string out;
    const auto part = [&out](const std::string& text) { out += (out.empty() ? "" : "; ") + text; };
    if (!dials_.empty())
        part("dial " + joined(dials_));
    if (!blocks_.empty())
        part("block " + joined(blocks_));
    for (const auto& [number, outcome] : numbers_)
        part("number " + number + "=" + std::string(wordOf(outcome)));
    for (const auto& [pager, reply] : pagers_)
        part("pager " + pager + "=" + std::string(wordOf(reply)));
    return out.empty() ? "none" : out;
}

std::optional<DialOutcome> FaultPlan::nextDial(std::string_view number)
{
    const std::size_t index = dialsSeen_++;
    if (const auto it = numbers_.find(number); it != numbers_.end())
        return it->second;
    if (dials_.empty())
        return std::nullopt;
    return dials_[std::min(index, dials_.size() - 1)];
}

std::optional<BlockReply> FaultPlan::blockReply(std::string_view pager, std::size_t index) const
{
    if (const auto it = pagers_.find(pager); it != pagers_.end())
        return it->second;
    if (blocks_.empty())
        return std::nullopt;
    return blocks_[std::min(index, blocks_.size() - 1)];
}

} // namespace ostrella
