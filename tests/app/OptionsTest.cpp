// SPDX-License-Identifier: MIT
#include "app/ConsoleOutput.h"
#include "app/ConsoleRecords.h"
#include "app/Faults.h"
#include "app/ProgramOptions.h"
#include "support/Rig.h"

#include <ctime>
#include <gtest/gtest.h>
#include <unistd.h>

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

TEST(ProgramOptions, TheTerminalAndItsTimersAndLimits)
{
    const auto standard = parseProgramOptions({});
    EXPECT_EQ(standard.terminal, TerminalProfile::Classic) << "classic unless asked";
    EXPECT_EQ(standard.tap18.t2Ms, 1000);
    EXPECT_EQ(standard.tap18.t3Ms, 10'000);
    EXPECT_EQ(standard.tap18.t4Ms, 4000);
    EXPECT_EQ(standard.tap18.t5Ms, 8000);
    EXPECT_EQ(standard.tap18.n3, 3);
    EXPECT_EQ(standard.tap18.checksumLimit, 3);
    EXPECT_EQ(standard.tap18.maxPages, 0);
    EXPECT_EQ(standard.tap18.maxMessage, 0);
    EXPECT_FALSE(standard.tap18.password);

    const auto o
        = parseProgramOptions({ "--terminal", "tap18", "--t2=500", "--t3", "2000", "--t4", "3000",
                                "--t5=6000", "--n3", "0", "--checksum-limit", "5", "--max-pages",
                                "10", "--max-message=80", "--password", "secret", "9100" });
    EXPECT_EQ(o.error, "");
    EXPECT_EQ(o.terminal, TerminalProfile::Tap18);
    EXPECT_EQ(o.tap18.t2Ms, 500);
    EXPECT_EQ(o.tap18.t3Ms, 2000);
    EXPECT_EQ(o.tap18.t4Ms, 3000);
    EXPECT_EQ(o.tap18.t5Ms, 6000);
    EXPECT_EQ(o.tap18.n3, 0);
    EXPECT_EQ(o.tap18.checksumLimit, 5);
    EXPECT_EQ(o.tap18.maxPages, 10);
    EXPECT_EQ(o.tap18.maxMessage, 80);
    EXPECT_EQ(o.tap18.password, "secret");
    EXPECT_EQ(o.portArgument, "9100");

    struct Case {
        std::vector<std::string> args;
        const char* error;
    };
    const Case cases[] = {
        { { "--terminal", "TAP18" }, "--terminal: 'TAP18' is not a terminal (classic, tap18)" },
        { { "--terminal" }, "--terminal needs a value" },
        { { "--t2", "5" }, "--t2: '5' is not a number from 10 to 3600000" },
        { { "--t4=4s" }, "--t4: '4s' is not a number from 1 to 3600000" },
        { { "--max-pages", "0" }, "--max-pages: '0' is not a number from 1 to 1000000" },
        { { "--checksum-limit", "" }, "--checksum-limit: '' is not a number from 1 to 100" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        EXPECT_EQ(parseProgramOptions(c.args).error, c.error);
    }
    EXPECT_NE(usageText().find("--terminal NAME"), std::string::npos);
    EXPECT_NE(usageText().find("--max-message N"), std::string::npos);
}

TEST(ProgramOptions, DeviceLinesSpeedAndNoise)
{
    const auto standard = parseProgramOptions({});
    EXPECT_TRUE(standard.ptys.empty() && standard.serials.empty());
    EXPECT_EQ(standard.baud, 2400);
    EXPECT_EQ(framingText(standard.framing), "7E1");
    EXPECT_EQ(standard.wire.bps, 0U);
    EXPECT_FALSE(standard.wire.autoRate);
    EXPECT_EQ(standard.wire.noiseRate, 0.0);

    const auto o
        = parseProgramOptions({ "--pty", "/tmp/a", "--pty=/tmp/b", "--serial", "/dev/ttyUSB0",
                                "--baud", "9600", "--framing", "8N1", "--flow", "rtscts", "--bps",
                                "auto", "--noise", "0.25", "--seed", "18446744073709551615" });
    EXPECT_EQ(o.error, "");
    EXPECT_EQ(o.ptys, (std::vector<std::string> { "/tmp/a", "/tmp/b" }));
    EXPECT_EQ(o.serials, std::vector<std::string> { "/dev/ttyUSB0" });
    EXPECT_EQ(o.baud, 9600);
    EXPECT_EQ(framingText(o.framing), "8N1");
    EXPECT_EQ(o.flow, SerialFlow::RtsCts);
    EXPECT_TRUE(o.wire.autoRate);
    EXPECT_EQ(o.wire.noiseRate, 0.25);
    EXPECT_EQ(o.wire.seed, 18446744073709551615ULL);
    EXPECT_EQ(parseProgramOptions({ "--bps", "50" }).wire.bps, 50U);

    struct Case {
        std::vector<std::string> args;
        const char* error;
    };
    const Case cases[] = {
        { { "--bps", "49" }, "--bps: '49' is not a rate from 50 to 4000000 bit/s (or auto)" },
        { { "--baud", "4000001" }, "--baud: '4000001' is not a rate from 50 to 4000000 bit/s" },
        { { "--noise", "1.5" },
          "--noise: '1.5' is not a rate from 0 to 1 (0.01: one character in 100)" },
        { { "--noise", "0.1x" },
          "--noise: '0.1x' is not a rate from 0 to 1 (0.01: one character in 100)" },
        { { "--seed", "-1" }, "--seed: '-1' is not a whole number" },
        { { "--framing", "7N2" }, "--framing: '7N2' is not 7E1, 7O1 or 8N1" },
        { { "--flow", "dtr" }, "--flow: 'dtr' is not none, rtscts or xonxoff" },
        { { "--pty", "" }, "--pty needs a path" },
        { { "--serial" }, "--serial needs a value" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        EXPECT_EQ(parseProgramOptions(c.args).error, c.error);
    }
    EXPECT_NE(usageText().find("--pty PATH"), std::string::npos);
}

TEST(ProgramOptions, TheSuiteAndItsReports)
{
    const auto standard = parseProgramOptions({});
    EXPECT_FALSE(standard.suite);
    EXPECT_EQ(standard.suiteOptions.caseWaitMs, 120'000);
    EXPECT_EQ(standard.reportFile, "");

    const auto o = parseProgramOptions({ "--suite", "--cases", "4,5.1", "--exclude-cases=4.2",
                                         "--case-wait", "30", "--exit-after-suite", "--strict",
                                         "--allow-no-show", "--report", "r.html" });
    EXPECT_EQ(o.error, "");
    EXPECT_TRUE(o.suite && o.exitAfterSuite && o.suiteOptions.strict && o.suiteOptions.allowNoShow);
    EXPECT_EQ(o.suiteOptions.cases, "4,5.1");
    EXPECT_EQ(o.suiteOptions.excluded, "4.2");
    EXPECT_EQ(o.suiteOptions.caseWaitMs, 30'000);
    EXPECT_EQ(o.reportFile, "r.html");
    // A report needs no suite.
    EXPECT_EQ(parseProgramOptions({ "--report", "r.html" }).error, "");

    struct Case {
        std::vector<std::string> args;
        const char* error;
    };
    const Case cases[] = {
        { { "--cases", "4" },
          "--cases, --exclude-cases, --case-wait, --strict, --allow-no-show and "
          "--exit-after-suite need --suite" },
        { { "--suite", "--cases", "4.10" }, "--cases: no case 4.10" },
        { { "--suite", "--exclude-cases", "7" }, "--exclude-cases: no case 7" },
        { { "--suite", "--cases", "4.1", "--exclude-cases", "4" },
          "--cases and --exclude-cases leave no case to play" },
        { { "--suite", "--lines", "2" }, "--suite plays one case at a time: it takes no --lines" },
        { { "--suite", "--case-wait", "0" },
          "--case-wait: '0' is not a number of seconds from 1 to 86400" },
        { { "--report", "" }, "--report needs a file name" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        EXPECT_EQ(parseProgramOptions(c.args).error, c.error);
    }
}

TEST(ConsoleCommand, TerminalShowsAndSetsTheProfileForTheNextCall)
{
    test::Rig rig;
    ConsolePanel panel;
    EXPECT_EQ(ConsoleCommand(panel, "terminal", nullptr, &rig.sim), "terminal: classic\n");
    EXPECT_EQ(ConsoleCommand(panel, "terminal tap18", nullptr, &rig.sim),
              "ok: terminal tap18 (from the next call)\n");
    EXPECT_EQ(rig.sim.terminal(), TerminalProfile::Tap18);
    EXPECT_EQ(ConsoleCommand(panel, "terminal", nullptr, &rig.sim), "terminal: tap18\n");
    EXPECT_EQ(ConsoleCommand(panel, "terminal hayes", nullptr, &rig.sim),
              "error: say 'terminal classic' or 'terminal tap18'\n");
    EXPECT_EQ(rig.sim.terminal(), TerminalProfile::Tap18);
    EXPECT_NE(ConsoleCommand(panel, "help").find("terminal classic|tap18"), std::string::npos);
}

TEST(ConsoleCommand, ModemQuitAndAnyCaseOfWordsAndNames)
{
    test::Rig rig;
    ConsolePanel panel;
    FaultPlan plan;
    struct Case {
        std::string line;
        std::string answer;
    };
    const Case cases[] = {
        { "modem", "modem: classic\n" },
        { "modem hayes", "ok: modem hayes (from the next call)\n" },
        { "MODEM", "modem: hayes\n" },
        { "Modem Classic", "ok: modem classic (from the next call)\n" },
        { "modem tap18", "error: say 'modem classic' or 'modem hayes'\n" },
        { "modem hayes now", "error: say 'modem classic' or 'modem hayes'\n" },
        { "TERMINAL Tap18", "ok: terminal tap18 (from the next call)\n" },
        { "Fault NAK On", "ok: fault nak on\n" },
        { "FAULT No-Carrier ON", "ok: fault no-carrier on\n" },
        { "DISCONNECT ON", "ok: disconnect on\n" },
        { "Faults",
          "faults: busy=off no-answer=off no-carrier=on no-dialtone=off nak=on rej=off "
          "no-response=off disconnect=on\n" },
        { "fault FIRE on", "error: unknown fault 'FIRE' (try: faults)\n" },
        { "PLAN DIAL Busy,CONNECT", "ok: plan dial busy,connect\n" },
        { "plan pager AbC REJ", "ok: plan dial busy,connect; pager AbC=rej\n" },
        { "Plan Clear", "ok: plan clear\n" },
        { "quit", "ok: quit, shutting down\n" },
        { " EXIT ", "ok: exit, shutting down\n" },
        { "quit now", "error: unknown command 'quit now' (try: help)\n" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(ConsoleCommand(panel, c.line, &plan, &rig.sim), c.answer);
    }
    EXPECT_EQ(rig.sim.modemProfile(), ModemProfile::Classic);
    EXPECT_EQ(rig.sim.terminal(), TerminalProfile::Tap18);
    EXPECT_TRUE(panel.ticked(Box::chkNoCarrier));

    for (const char* line : { "quit", "exit", "QUIT", "  Exit\r" })
        EXPECT_TRUE(ConsoleQuits(line)) << line;
    for (const char* line : { "", "quit now", "quitting", "help", "fault nak on" })
        EXPECT_FALSE(ConsoleQuits(line)) << line;

    const std::string help = ConsoleCommand(panel, "HELP");
    for (const char* word : { "modem classic|hayes", "quit (or exit)", "terminal classic|tap18" })
        EXPECT_NE(help.find(word), std::string::npos) << word;
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
        { { "--pager", "1234=yes" },
          "--pager: 'yes' is not a block reply (ack, nak, rej, none, garble, corrupt, drop)" },
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
              "error: 'maybe' is not a block reply (ack, nak, rej, none, garble, corrupt, drop)\n");
    EXPECT_EQ(ConsoleCommand(panel, "plan pager 1234", &plan).rfind("error: plan dial LIST", 0),
              0U);
    EXPECT_EQ(ConsoleCommand(panel, "plan", &plan),
              "plan: dial busy,connect; block nak,ack; number 5550001=busy; pager 1234=rej\n");
    EXPECT_EQ(ConsoleCommand(panel, "plan clear", &plan), "ok: plan clear\n");
    EXPECT_TRUE(plan.empty());
    EXPECT_EQ(ConsoleCommand(panel, "plan").rfind("error: unknown command", 0), 0U)
        << "no plan to set";
}

TEST(ProgramOptions, ControlApiPortAndAddress)
{
    EXPECT_EQ(parseProgramOptions({}).apiPort, -1);
    const auto o = parseProgramOptions({ "--api", "0", "--api-bind=::1" });
    EXPECT_EQ(o.error, "");
    EXPECT_EQ(o.apiPort, 0);
    EXPECT_EQ(o.apiBind, "::1");
    EXPECT_EQ(parseProgramOptions({ "--api=8080" }).apiBind, "127.0.0.1");
    EXPECT_EQ(parseProgramOptions({ "--api", "0", "--api-bind", "localhost" }).error, "");
    const std::pair<std::vector<std::string>, std::string> mistakes[] = {
        { { "--api", "65536" }, "--api: '65536' is not a port number from 0 to 65535" },
        { { "--api", "-1" }, "--api: '-1' is not a port number from 0 to 65535" },
        { { "--api=80x" }, "--api: '80x' is not a port number from 0 to 65535" },
        { { "--api" }, "--api needs a value" },
        { { "--api", "0", "--api-bind", "host.example" },
          "--api-bind: 'host.example' is not an IP address" },
        { { "--api-bind", "0.0.0.0" }, "--api-bind needs --api PORT" },
    };
    for (const auto& [args, error] : mistakes) {
        SCOPED_TRACE(args[0]);
        EXPECT_EQ(parseProgramOptions(args).error, error);
    }
}

TEST(ConsoleRecords, TheCodeAndTheProfilesShowOnlyWhereThereAreAny)
{
    PageRecord page;
    page.seq = 4;
    page.call = 2;
    page.caller = "127.0.0.1";
    page.pager = "123";
    page.message = "ABC";
    page.reply = "ACK";
    page.reason = "good";
    EXPECT_EQ(ConsoleRecords::pageText(page),
              "#4 call 2 from <127.0.0.1> pager <123> ACK (good) message <ABC>");
    page.code = "211";
    EXPECT_EQ(ConsoleRecords::pageText(page),
              "#4 call 2 from <127.0.0.1> pager <123> ACK 211 (good) message <ABC>");

    CallRecord call;
    call.id = 2;
    call.caller = "127.0.0.1";
    call.ended = "eot";
    const std::string classic = ConsoleRecords::callText(call);
    EXPECT_TRUE(classic.ends_with(" ended eot")) << classic;
    call.modem = "hayes";
    call.terminal = "tap18";
    EXPECT_EQ(ConsoleRecords::callText(call), classic + " modem hayes terminal tap18");
}

TEST(ProgramOptions, TheReportTheFailingLevelAndTheIgnoredRules)
{
    const auto standard = parseProgramOptions({});
    EXPECT_EQ(standard.junitFile, "");
    EXPECT_FALSE(standard.failOn) << "never, unless asked";
    EXPECT_TRUE(standard.ignoredRules.empty());

    const auto o
        = parseProgramOptions({ "--junit", "report.xml", "--fail-on=warning", "--ignore",
                                "block.gap", "--ignore=end.no-eot", "--ignore", "block.gap", "0" });
    EXPECT_EQ(o.error, "");
    EXPECT_EQ(o.junitFile, "report.xml");
    EXPECT_EQ(o.failOn, FindingLevel::Warning);
    EXPECT_EQ(o.ignoredRules, (std::set<std::string, std::less<>> { "block.gap", "end.no-eot" }));
    EXPECT_EQ(parseProgramOptions({ "--fail-on", "error" }).failOn, FindingLevel::Error);
    EXPECT_FALSE(parseProgramOptions({ "--fail-on", "error", "--fail-on", "never" }).failOn);

    struct Case {
        std::vector<std::string> args;
        const char* error;
    };
    const Case cases[] = {
        { { "--junit" }, "--junit needs a value" },
        { { "--junit=" }, "--junit needs a file name" },
        { { "--fail-on", "note" }, "--fail-on: 'note' is not a level (error, warning, never)" },
        { { "--fail-on", "ERROR" }, "--fail-on: 'ERROR' is not a level (error, warning, never)" },
        { { "--fail-on" }, "--fail-on needs a value" },
        { { "--ignore", "block.gapp" },
          "--ignore: 'block.gapp' is not a rule of the judge (ostrella --help lists them)" },
        { { "--ignore", "" },
          "--ignore: '' is not a rule of the judge (ostrella --help lists them)" },
        { { "--ignore" }, "--ignore needs a value" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        EXPECT_EQ(parseProgramOptions(c.args).error, c.error);
    }
    const std::string usage = usageText();
    for (const char* option : { "--junit FILE", "--fail-on LEVEL", "--ignore RULE" })
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    for (const JudgeRule& rule : judgeRules())
        EXPECT_NE(usage.find(" " + std::string(rule.id)), std::string::npos) << rule.id;
}

TEST(ProgramOptions, TheFailingLevelIsMetByItsLevelOrAbove)
{
    struct Case {
        const char* name;
        std::optional<FindingLevel> failOn;
        FindingCounts totals;
        bool fails;
    };
    const Case cases[] = {
        { "never, with errors", std::nullopt, { 2, 1, 1 }, false },
        { "error, with an error", FindingLevel::Error, { 1, 0, 0 }, true },
        { "error, with warnings and notes only", FindingLevel::Error, { 0, 3, 2 }, false },
        { "warning, with a warning", FindingLevel::Warning, { 0, 1, 0 }, true },
        { "warning, with an error", FindingLevel::Warning, { 1, 0, 0 }, true },
        { "warning, with notes only", FindingLevel::Warning, { 0, 0, 4 }, false },
        { "error, with nothing", FindingLevel::Error, {}, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(failOnReached(c.failOn, c.totals), c.fails);
    }
    EXPECT_EQ(FindingsExitStatus, 3);
}

TEST(ConsoleRecords, AFindingLineForEachFindingStampedAsThePageLines)
{
    // 09:05:17 local time on a day of the test's choosing.
    std::tm local {};
    local.tm_year = 126;
    local.tm_mon = 11;
    local.tm_mday = 8;
    local.tm_hour = 9;
    local.tm_min = 5;
    local.tm_sec = 17;
    local.tm_isdst = -1;
    const std::int64_t at = static_cast<std::int64_t>(std::mktime(&local)) * 1000 + 250;

    struct Case {
        const char* name;
        FindingRecord finding;
        const char* line;
    };
    const Case cases[] = {
        { "one line, no evidence",
          { 1, 3, 0, at, "end.no-eot", "error", "TAP 1.8 end", "hung up without EOT CR", "", {} },
          "FIND 09:05:17 :  call 3 error end.no-eot: hung up without EOT CR\n" },
        { "a bank's line, control bytes by name",
          { 2,
            4,
            12,
            at,
            "block.checksum",
            "error",
            "TAP 1.8 checksum",
            "sent 17:, TAP's is 17;",
            std::string("\x02"
                        "123\rABC\r\x03"
                        "17:\r"),
            {} },
          "FIND 09:05:17 : L12 call 4 error block.checksum: sent 17:, TAP's is 17; evidence "
          "<<STX>123<CR>ABC<CR><ETX>17:<CR>>\n" },
        { "a warning, bytes above 0x7F",
          { 3,
            5,
            0,
            at,
            "line.parity",
            "warning",
            "TAP 1.8 field realities",
            "byte 0x8D",
            "A\x8D\xE9",
            {} },
          "FIND 09:05:17 :  call 5 warning line.parity: byte 0x8D evidence <A<0x8D>\xC3\xA9>\n" },
        { "a device line, by its name",
          { 4, 6, 0, at, "end.no-eot", "error", "TAP 1.8 end", "hung up without EOT CR", "",
            "ttyOST" },
          "FIND 09:05:17 : ttyOST call 6 error end.no-eot: hung up without EOT CR\n" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        {
            ConsoleOutput out(fds[1]);
            ConsoleRecords records(out);
            records.findingRecorded(c.finding);
            out.drain(2000);
        }
        ::close(fds[1]);
        std::string got;
        char buf[512];
        for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;)
            got.append(buf, static_cast<std::size_t>(n));
        ::close(fds[0]);
        EXPECT_EQ(got, c.line);
    }
}
