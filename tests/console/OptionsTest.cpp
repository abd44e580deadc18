// SPDX-License-Identifier: MIT
#include "app/Faults.h"
#include "app/ProgramOptions.h"

#include <gtest/gtest.h>

using namespace ostrella;

TEST(ProgramOptions, ParsesPortFaultsAndFlags)
{
    const auto o = parseProgramOptions(
        { "--fault", "busy", "--console", "--fault=no-response", "9100", "--send-disconnect" });
    EXPECT_EQ(o.error, "");
    EXPECT_EQ(o.portArgument, "9100");
    EXPECT_TRUE(o.console);
    EXPECT_TRUE(o.sendDisconnect);
    EXPECT_EQ(o.faults, (std::vector<Box> { Box::chkBusy, Box::chkNOResponse }));
}

TEST(ProgramOptions, EveryFaultNameAndEveryMistake)
{
    for (const auto& [name, box] : faultNames()) {
        SCOPED_TRACE(std::string(name));
        const auto o = parseProgramOptions({ "--fault", std::string(name) });
        ASSERT_EQ(o.faults.size(), 1U);
        EXPECT_EQ(o.faults[0], box);
        EXPECT_EQ(nameOfFault(box), name);
    }
    struct Case {
        std::vector<std::string> args;
        const char* error;
    };
    const Case cases[] = {
        { { "--fault" }, "--fault needs a fault name" },
        { { "--fault", "BUSY" }, "unknown fault 'BUSY'" },
        { { "--fault=" }, "unknown fault ''" },
        { { "-x" }, "unknown option '-x'" },
        { { "9001", "9002" }, "more than one port given: '9002'" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        EXPECT_EQ(parseProgramOptions(c.args).error, c.error);
    }
    EXPECT_EQ(parseProgramOptions({ "--", "--console" }).portArgument, "--console");
    EXPECT_EQ(parseProgramOptions({ "abc" }).portArgument, "abc") << "decided at start-up";
}

TEST(ProgramOptions, ModemProfileIsClassicUnlessChosen)
{
    EXPECT_EQ(parseProgramOptions({}).modem, ModemProfile::Classic);
    EXPECT_EQ(parseProgramOptions({ "--modem", "hayes" }).modem, ModemProfile::Hayes);
    EXPECT_EQ(parseProgramOptions({ "--modem=classic" }).modem, ModemProfile::Classic);
    EXPECT_EQ(parseProgramOptions({ "--modem", "tcpser" }).error,
              "--modem: unknown modem 'tcpser' (classic or hayes)");
    EXPECT_EQ(parseProgramOptions({ "--modem" }).error, "--modem needs a value");
    EXPECT_NE(usageText().find("--modem PROFILE"), std::string::npos);
}

TEST(ConsoleCommand, SwitchesFaultsAndAnswersEveryLine)
{
    ConsolePanel panel;
    EXPECT_EQ(ConsoleCommand(panel, "fault nak on"), "ok: fault nak on\n");
    EXPECT_TRUE(panel.ticked(Box::chkNAK));
    EXPECT_EQ(ConsoleCommand(panel, "  disconnect   on \r"), "ok: disconnect on\n");
    EXPECT_TRUE(panel.ticked(Box::chkDisconnect));
    EXPECT_EQ(ConsoleCommand(panel, "faults"),
              "faults: busy=off no-answer=off no-carrier=off no-dialtone=off nak=on rej=off "
              "no-response=off disconnect=on\n");
    EXPECT_EQ(ConsoleCommand(panel, "fault nak off"), "ok: fault nak off\n");
    EXPECT_FALSE(panel.ticked(Box::chkNAK));
    EXPECT_EQ(ConsoleCommand(panel, ""), "");

    struct Case {
        std::string line;
        std::string answer;
    };
    const Case cases[] = {
        { "fault fire on", "error: unknown fault 'fire' (try: faults)\n" },
        { "fault nak", "error: unknown command 'fault nak' (try: help)\n" },
        { "fault nak yes", "error: say 'on' or 'off' after the fault name\n" },
        { "disconnect", "error: unknown command 'disconnect' (try: help)\n" },
        { "disconnect maybe", "error: say 'disconnect on' or 'disconnect off'\n" },
        { std::string("\x1b[A\x01"), "error: unknown command '?[A?' (try: help)\n" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(ConsoleCommand(panel, c.line), c.answer);
    }
    EXPECT_NE(ConsoleCommand(panel, "help").find("fault NAME on|off"), std::string::npos);
}

TEST(ProgramOptions, RecordFileAndFaultPlans)
{
    const auto o = parseProgramOptions({ "--record", "calls.jsonl", "--dial-plan", "busy,connect",
                                         "--block-plan=nak,ack", "--number", "5550001=no-answer",
                                         "--pager=1234=rej", "--console", "0" });
    EXPECT_EQ(o.error, "");
    EXPECT_EQ(o.recordFile, "calls.jsonl");
    EXPECT_EQ(o.plan.describe(),
              "dial busy,connect; block nak,ack; number 5550001=no-answer; pager 1234=rej");
    EXPECT_EQ(o.portArgument, "0");

    struct Case {
        std::vector<std::string> args;
        const char* error;
    };
    const Case cases[] = {
        { { "--record" }, "--record needs a value" },
        { { "--record=" }, "--record needs a file name" },
        { { "--dial-plan", "busy,bsy" },
          "--dial-plan: 'bsy' is not a dial outcome (connect, busy, no-answer, no-carrier, "
          "no-dialtone)" },
        { { "--block-plan=ack,", "9001" }, "--block-plan: the list ends with a comma" },
        { { "--number", "5550001" },
          "--number: '5550001' is not number=dial outcome (connect, busy, no-answer, "
          "no-carrier, no-dialtone)" },
        { { "--pager", "1234=yes" }, "--pager: 'yes' is not a block reply (ack, nak, rej, none)" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        EXPECT_EQ(parseProgramOptions(c.args).error, c.error);
    }
}

TEST(ConsoleCommand, PlansAreSetShownAndClearedAndBadTextChangesNothing)
{
    ConsolePanel panel;
    FaultPlan plan;
    EXPECT_EQ(ConsoleCommand(panel, "plan", &plan), "plan: none\n");
    EXPECT_EQ(ConsoleCommand(panel, "plan dial busy,connect", &plan),
              "ok: plan dial busy,connect\n");
    EXPECT_EQ(ConsoleCommand(panel, "plan block nak, ack", &plan),
              "ok: plan dial busy,connect; block nak,ack\n");
    EXPECT_EQ(ConsoleCommand(panel, "plan number 5550001 busy", &plan),
              "ok: plan dial busy,connect; block nak,ack; number 5550001=busy\n");
    EXPECT_EQ(ConsoleCommand(panel, "plan pager 1234 rej", &plan),
              "ok: plan dial busy,connect; block nak,ack; number 5550001=busy; pager 1234=rej\n");
    EXPECT_EQ(ConsoleCommand(panel, "plan block nak,maybe", &plan),
              "error: 'maybe' is not a block reply (ack, nak, rej, none)\n");
    EXPECT_EQ(ConsoleCommand(panel, "plan pager 1234", &plan).rfind("error: plan dial LIST", 0),
              0U);
    EXPECT_EQ(ConsoleCommand(panel, "plan", &plan),
              "plan: dial busy,connect; block nak,ack; number 5550001=busy; pager 1234=rej\n");
    EXPECT_EQ(ConsoleCommand(panel, "plan clear", &plan), "ok: plan clear\n");
    EXPECT_TRUE(plan.empty());
    EXPECT_EQ(ConsoleCommand(panel, "plan").rfind("error: unknown command", 0), 0U)
        << "no plan to set";
}
