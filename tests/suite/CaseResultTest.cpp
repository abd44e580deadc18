// SPDX-License-Identifier: MIT
// A verdict's text both ways, and which verdicts fail a run under which options.
#include "suite/CaseResult.h"

#include <gtest/gtest.h>

namespace ostrella::test {
namespace {

TEST(CaseResult, VerdictTextsReadBackAndFailRunsAsTheOptionsSay)
{
    struct Case {
        Verdict verdict;
        const char* text;
        // Fails: lenient, strict, lenient with no-shows allowed, strict with them allowed.
        bool fails[4];
    };
    const Case cases[] = {
        { Verdict::Pass, "pass", { false, false, false, false } },
        { Verdict::NonStrict, "non-strict", { false, true, false, true } },
        { Verdict::Info, "info", { false, true, false, true } },
        { Verdict::Fail, "fail", { true, true, true, true } },
        { Verdict::NoShow, "no-show", { true, true, false, false } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(verdictText(c.verdict), c.text);
        EXPECT_EQ(verdictOf(c.text), c.verdict);
        EXPECT_EQ(verdictFails(c.verdict, false, false), c.fails[0]);
        EXPECT_EQ(verdictFails(c.verdict, true, false), c.fails[1]);
        EXPECT_EQ(verdictFails(c.verdict, false, true), c.fails[2]);
        EXPECT_EQ(verdictFails(c.verdict, true, true), c.fails[3]);
    }
    for (const char* other : { "", "Pass", "nonstrict", "no show", "pending" })
        EXPECT_FALSE(verdictOf(other).has_value()) << other;
}

} // namespace
} // namespace ostrella::test
