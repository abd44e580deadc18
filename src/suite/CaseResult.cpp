// SPDX-License-Identifier: MIT
#include "suite/CaseResult.h"

#include <array>
#include <utility>

namespace ostrella {

namespace {

constexpr std::array<std::pair<Verdict, std::string_view>, 5> VerdictTexts { {
    { Verdict::Pass, "pass" },
    { Verdict::NonStrict, "non-strict" },
    { Verdict::Info, "info" },
    { Verdict::Fail, "fail" },
    { Verdict::NoShow, "no-show" },
} };

} // namespace

std::string_view verdictText(Verdict verdict)
{
    for (const auto& [value, text] : VerdictTexts) {
        if (value == verdict)
            return text;
    }
    return "fail";
}

std::optional<Verdict> verdictOf(std::string_view text)
{
    for (const auto& [value, name] : VerdictTexts) {
        if (name == text)
            return value;
    }
    return std::nullopt;
}

bool verdictFails(Verdict verdict, bool strict, bool allowNoShow)
{
    switch (verdict) {
    case Verdict::Pass:
        return false;
    case Verdict::NonStrict:
    case Verdict::Info:
        return strict;
    case Verdict::Fail:
        return true;
    case Verdict::NoShow:
        return !allowNoShow;
    }
    return true;
}

} // namespace ostrella
