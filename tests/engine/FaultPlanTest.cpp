// SPDX-License-Identifier: MIT
// Fault plans as text, and blocks taken apart into their fields.
#include "engine/FaultPlan.h"

#include "engine/FaultPolicy.h"
#include "engine/PageDecode.h"
#include "support/Fakes.h"

#include <gtest/gtest.h>

using namespace ostrella;

TEST(FaultPlan, ListsRepeatTheirLastWordAndNamesComeFirst)
{
    EXPECT_EQ(FaultPlan().nextDial("5551234"), std::nullopt) << "an empty plan decides nothing";
    FaultPlan plan;
    EXPECT_EQ(plan.describe(), "none");
    ASSERT_EQ(plan.setDialPlan("busy, no-carrier,connect"), "");
    ASSERT_EQ(plan.setBlockPlan("nak,ack"), "");
    ASSERT_EQ(plan.setNumber("5550001=no-dialtone"), "");
    ASSERT_EQ(plan.setPager("1234=rej"), "");
    EXPECT_EQ(plan.describe(),
              "dial busy,no-carrier,connect; block nak,ack; number 5550001=no-dialtone; pager "
              "1234=rej");

    EXPECT_EQ(plan.nextDial("555"), DialOutcome::Busy);
    EXPECT_EQ(plan.nextDial("5550001"), DialOutcome::NoDialtone) << "the number wins";
    EXPECT_EQ(plan.nextDial("555"), DialOutcome::Connect) << "the number's dial counted too";
    EXPECT_EQ(plan.nextDial("555"), DialOutcome::Connect) << "the last one repeats";

    EXPECT_EQ(plan.blockReply("77", 0), BlockReply::Nak);
    EXPECT_EQ(plan.blockReply("77", 1), BlockReply::Ack);
    EXPECT_EQ(plan.blockReply("77", 9), BlockReply::Ack);
    EXPECT_EQ(plan.blockReply("1234", 0), BlockReply::Rej);

    plan.clear();
    EXPECT_TRUE(plan.empty());
    EXPECT_EQ(plan.blockReply("1234", 0), std::nullopt);
}

TEST(FaultPlan, BadTextNamesTheBadWordAndChangesNothing)
{
    struct Case {
        const char* name;
        std::string (FaultPlan::*set)(std::string_view);
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        { "unknown outcome", &FaultPlan::setDialPlan, "busy,bsy",
          "'bsy' is not a dial outcome (connect, busy, no-answer, no-carrier, no-dialtone)" },
        { "empty word", &FaultPlan::setDialPlan, "busy,,connect",
          "'' is not a dial outcome (connect, busy, no-answer, no-carrier, no-dialtone)" },
        { "trailing comma", &FaultPlan::setBlockPlan, "nak,", "the list ends with a comma" },
        { "unknown reply", &FaultPlan::setBlockPlan, "NAK",
          "'NAK' is not a block reply (ack, "
          "nak, rej, none, garble, corrupt, drop)" },
        { "number without outcome", &FaultPlan::setNumber, "5550001",
          "'5550001' is not number=dial outcome (connect, busy, no-answer, no-carrier, "
          "no-dialtone)" },
        { "empty number", &FaultPlan::setNumber, "=busy", "'' is not a number" },
        { "pager with a bad reply", &FaultPlan::setPager, "1234=maybe",
          "'maybe' is not a block reply (ack, nak, rej, none, garble, corrupt, drop)" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FaultPlan plan;
        ASSERT_EQ(plan.setDialPlan("no-answer"), "");
        ASSERT_EQ(plan.setBlockPlan("none"), "");
        EXPECT_EQ((plan.*c.set)(c.text), c.error);
        EXPECT_EQ(plan.describe(), "dial no-answer; block none");
    }
}

TEST(PageDecode, FieldsChecksumsAndWhatIsNoBlock)
{
    struct Case {
        const char* name;
        std::string packet;
        bool isBlock;
        std::vector<std::string> fields;
        std::string sent;
        std::string computed;
    };
    const Case cases[] = {
        { "two fields",
          "\x02"
          "123\rABC\r\x03"
          "17;\r",
          true,
          { "123", "ABC" },
          "17;",
          "17;" },
        { "four fields",
          "\x02p\rm1\rm2\rm3\r\x03"
          "xyz\r",
          true,
          { "p", "m1", "m2", "m3" },
          "xyz",
          "" },
        { "empty fields",
          "\x02\r\r\x03"
          "000\r",
          true,
          { "", "" },
          "000",
          "" },
        { "no CR before ETX",
          "\x02"
          "123\rABC\x03",
          true,
          { "123", "ABC" },
          "",
          "" },
        { "no ETX",
          "\x02"
          "123\rABC\r",
          false,
          {},
          "",
          "" },
        { "no STX",
          "123\r\x03"
          "000\r",
          false,
          {},
          "",
          "" },
        { "empty", "", false, {}, "", "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DecodedBlock block = decodeBlock(c.packet);
        EXPECT_EQ(block.isBlock, c.isBlock);
        EXPECT_EQ(block.fields, c.fields);
        EXPECT_EQ(block.checksumSent, c.sent);
        if (!c.computed.empty()) {
            EXPECT_EQ(block.checksumComputed, c.computed);
        }
        EXPECT_EQ(block.checksumComputed.size(), c.isBlock ? 3U : 0U);
    }
    EXPECT_EQ(messageOf({ "123", "line 1", "line 2" }), "line 1\r\nline 2");
    EXPECT_EQ(messageOf({ "123" }), "");
}

// The one decision every profile asks: boxes first, in the panel's order, then the plan, which
// counts every dial even when a box answers it; each outcome with its delay.
TEST(FaultPolicy, BoxesBeforeThePlanEachOutcomeWithItsDelay)
{
    ostrella::test::FakePanel panel;
    FaultPlan plan;
    FaultPolicy policy(panel);
    EXPECT_EQ(policy.dial("1").outcome, DialOutcome::Connect) << "no plan at all";
    policy.setPlan(&plan);
    ASSERT_EQ(plan.setDialPlan("no-carrier,busy,connect"), "");

    panel.tick(Box::chkNoDialtone);
    panel.tick(Box::chkNoAnswer);
    const DialDecision boxed = policy.dial("1");
    EXPECT_EQ(boxed.outcome, DialOutcome::NoAnswer) << "the first ticked box in the panel's order";
    EXPECT_EQ(boxed.reason, DialReason::Box);
    EXPECT_EQ(boxed.delayMs, 40'000);
    panel.boxes.clear();
    const DialDecision planned = policy.dial("1");
    EXPECT_EQ(planned.outcome, DialOutcome::Busy) << "the boxed dial took the plan's first word";
    EXPECT_EQ(planned.reason, DialReason::Plan);
    EXPECT_EQ(planned.delayMs, 5'000);
    const DialDecision normal = policy.dial("1");
    EXPECT_EQ(normal.reason, DialReason::Normal) << "a planned connect is a plain connect";
    EXPECT_EQ(normal.delayMs, 10'000);
    EXPECT_EQ(dialDelayMs(DialOutcome::NoCarrier), 20'000);
    EXPECT_EQ(dialDelayMs(DialOutcome::NoDialtone), 8'000);

    ASSERT_EQ(plan.setBlockPlan("rej"), "");
    int asked = 0;
    const auto pager = [&] {
        ++asked;
        return std::string("1234");
    };
    panel.tick(Box::chkNOResponse);
    panel.tick(Box::chkREJ);
    EXPECT_EQ(policy.blockReply(0, pager)->reply, BlockReply::Rej);
    EXPECT_EQ(policy.blockReply(0, pager)->reason, ReplyReason::Box);
    panel.tick(Box::chkNAK);
    EXPECT_EQ(policy.blockReply(0, pager)->reply, BlockReply::Nak);
    EXPECT_EQ(asked, 0) << "a box decides without the pager";
    panel.boxes.clear();
    EXPECT_EQ(policy.blockReply(0, pager)->reason, ReplyReason::Plan);
    plan.clear();
    EXPECT_FALSE(policy.blockReply(0, pager)) << "nothing directed: the terminal decides";
    EXPECT_EQ(asked, 1) << "an empty plan needs no pager";
}

// The plan's faults of the line are words like the replies, wherever a reply goes; the policy
// leaves the reply to the terminal with them, and a ticked box still wins.
TEST(FaultPlan, LineFaultWordsRoundTripAndLeaveTheReplyToTheTerminal)
{
    FaultPlan plan;
    ASSERT_EQ(plan.setBlockPlan("garble,corrupt,drop,ack"), "");
    ASSERT_EQ(plan.setPager("1234=drop"), "");
    EXPECT_EQ(plan.describe(), "block garble,corrupt,drop,ack; pager 1234=drop");
    for (const BlockReply word : { BlockReply::Garble, BlockReply::Corrupt, BlockReply::Drop })
        EXPECT_EQ(blockReplyFromWord(wordOf(word)), word) << wordOf(word);
    EXPECT_EQ(blockReplyFromWord("Garble"), std::nullopt) << "words are lower case";

    ostrella::test::FakePanel panel;
    FaultPolicy policy(panel);
    policy.setPlan(&plan);
    const auto other = [] { return std::string("77"); };
    const LineFault faults[]
        = { LineFault::Garble, LineFault::Corrupt, LineFault::Drop, LineFault::None };
    for (std::size_t index = 0; index < 4; ++index) {
        const BlockDecision decision = policy.block(index, other);
        EXPECT_EQ(decision.fault, faults[index]) << index;
        EXPECT_EQ(decision.directed.has_value(), index == 3) << "only ack directs a reply";
        EXPECT_EQ(policy.blockReply(index, other).has_value(), index == 3);
    }
    EXPECT_EQ(policy.block(0, [] { return std::string("1234"); }).fault, LineFault::Drop)
        << "the pager rule first";
    panel.tick(Box::chkREJ);
    const BlockDecision boxed = policy.block(0, other);
    EXPECT_EQ(boxed.fault, LineFault::None) << "a ticked box leaves the line alone";
    EXPECT_EQ(boxed.directed->reply, BlockReply::Rej);
}
