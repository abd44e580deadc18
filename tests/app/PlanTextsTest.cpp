// SPDX-License-Identifier: MIT
// The fault plan from its four texts: all four or none, errors naming the text and the bad word,
// the texts tidied as the Plan box shows them.
#include "qt/PlanTexts.h"

#include <gtest/gtest.h>

using namespace ostrella;

TEST(PlanTexts, GoodTextsPutTheWholePlanInForce)
{
    FaultPlan plan;
    const PlanTexts texts { "busy,connect", "nak, ack", "5550001=busy\t 5550002=no-answer",
                            " 1234=rej 99=none " };
    EXPECT_EQ(applyPlanTexts(plan, texts), "");
    EXPECT_EQ(plan.describe(),
              "dial busy,connect; block nak,ack; number 5550001=busy; "
              "number 5550002=no-answer; pager 1234=rej; pager 99=none");
    EXPECT_EQ(plan.nextDial("5550001"), DialOutcome::Busy);
    EXPECT_EQ(plan.blockReply("1234", 0), BlockReply::Rej);
    EXPECT_EQ(plan.blockReply("5678", 1), BlockReply::Ack);
}

TEST(PlanTexts, BlankTextsClearThePlan)
{
    FaultPlan plan;
    ASSERT_EQ(plan.setDialPlan("busy"), "");
    ASSERT_EQ(plan.setPager("1234=rej"), "");
    EXPECT_EQ(applyPlanTexts(plan, PlanTexts { " ", "", "\t", "" }), "");
    EXPECT_TRUE(plan.empty());
    EXPECT_EQ(plan.describe(), "none");
}

TEST(PlanTexts, ApplyingAgainCountsDialsAfresh)
{
    FaultPlan plan;
    const PlanTexts texts { "busy,connect", "", "", "" };
    ASSERT_EQ(applyPlanTexts(plan, texts), "");
    EXPECT_EQ(plan.nextDial("1"), DialOutcome::Busy);
    EXPECT_EQ(plan.nextDial("1"), DialOutcome::Connect);
    ASSERT_EQ(applyPlanTexts(plan, texts), "");
    EXPECT_EQ(plan.nextDial("1"), DialOutcome::Busy) << "the first dial after Apply";
}

TEST(PlanTexts, ABadTextNamesItselfAndTheWordAndChangesNothing)
{
    const struct {
        const char* name;
        PlanTexts texts;
        const char* prefix;
        const char* word;
    } cases[] = {
        { "dial word", { "busy,bussy", "ack", "", "" }, "dial plan: ", "'bussy'" },
        { "dial list ends with a comma", { "busy,", "", "", "" }, "dial plan: ", "comma" },
        { "block word", { "", "nak,acknowledge", "", "" }, "block plan: ", "'acknowledge'" },
        { "a dial outcome as block reply", { "", "busy", "", "" }, "block plan: ", "'busy'" },
        { "number outcome", { "", "", "5550001=busy 5550002=nope", "" }, "numbers: ", "'nope'" },
        { "number without =", { "", "", "5550001=busy 5550002", "" }, "numbers: ", "'5550002'" },
        { "pager reply", { "", "", "", "1234=rej 77=ack 88=later" }, "pagers: ", "'later'" },
        { "pager without ID", { "", "", "", "=rej" }, "pagers: ", "pager ID" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FaultPlan plan;
        ASSERT_EQ(plan.setBlockPlan("rej"), "");
        ASSERT_EQ(plan.setNumber("111=no-carrier"), "");
        const std::string error = applyPlanTexts(plan, c.texts);
        EXPECT_EQ(error.rfind(c.prefix, 0), 0u) << error;
        EXPECT_NE(error.find(c.word), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << "one bad text, one line: " << error;
        EXPECT_EQ(plan.describe(), "block rej; number 111=no-carrier") << "unchanged";
    }
}

TEST(PlanTexts, EveryBadTextGetsItsOwnLine)
{
    FaultPlan plan;
    const std::string error = applyPlanTexts(plan, PlanTexts { "bussy", "ack", "1=x", "2=y" });
    EXPECT_EQ(error,
              "dial plan: 'bussy' is not a dial outcome (connect, busy, no-answer, no-carrier, "
              "no-dialtone)\n"
              "numbers: 'x' is not a dial outcome (connect, busy, no-answer, no-carrier, "
              "no-dialtone)\n"
              "pagers: 'y' is not a block reply (ack, nak, rej, none, garble, corrupt, drop)");
    EXPECT_TRUE(plan.empty());
}

TEST(PlanTexts, TidiedTextsAreTrimmedWithOneBlankBetweenAssignments)
{
    const PlanTexts tidy = tidied(
        PlanTexts { "  busy,connect\t", " nak ", "\t5550001=busy    5550002=no-answer ", "   " });
    EXPECT_EQ(tidy, (PlanTexts { "busy,connect", "nak", "5550001=busy 5550002=no-answer", "" }));
}
