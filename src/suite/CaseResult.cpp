// SPDX-License-Identifier: MIT
#include "suite/CaseResult.h"

#include "sim/RecordJson.h"

#include <array>

namespace ostrella {

namespace {

constexpr std::array<std::string_view, 5> VerdictNames { "pass", "non-strict", "info", "fail",
                                                         "no-show" };

} // namespace

std::string_view verdictText(Verdict verdict)
{
    return VerdictNames[static_cast<std::size_t>(verdict)];
}

std::optional<Verdict> verdictOf(std::string_view text)
{
    for (std::size_t i = 0; i < VerdictNames.size(); ++i) {
        if (VerdictNames[i] == text)
            return static_cast<Verdict>(i);
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

std::string toJson(const CaseResult& result)
{
    std::string calls = "[";
    for (long call : result.calls)
        calls += (calls.size() > 1 ? "," : "") + std::to_string(call);
    calls += "]";
    return JsonObject()
        .text("type", "case")
        .number("v", 1)
        .text("id", result.id)
        .text("title", result.title)
        .text("verdict", result.verdict ? verdictText(*result.verdict) : "pending")
        .text("reason", result.reason)
        .raw("calls", calls)
        .raw("findings", toJson(result.findings))
        .done();
}

} // namespace ostrella
