// SPDX-License-Identifier: MIT
// The call script in virtual time, through the hayes modem and the tap18 terminal: each scripted
// behaviour on both sides of its boundary, the dial hook, and the default script changing nothing.
#include "engine/Tap18Scenario.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <utility>

using namespace ostrella;
using namespace ostrella::test;

namespace {

const std::string HConnect = "\r\nCONNECT 2400\r\n";
const std::string HNoCarrier = "\r\nNO CARRIER\r\n";
const std::string Page1 = tap18Block("123\rABC\r");
const std::string Page2 = tap18Block("456\rDEF\r");
const std::string BadChecksum = "\x02"
                                "123\rABC\r\x03"
                                "000\r";

struct ScriptRig : Tap18Rig {
    explicit ScriptRig(const CallScript& script = {})
    {
        engine().setModemProfile(ModemProfile::Hayes);
        engine().setCallScript(script);
    }
    Engine& engine() { return sim.lineAt(0).engine; }
    long logged(const std::string& text) const
    {
        const auto pet = petTexts();
        return static_cast<long>(std::count(pet.begin(), pet.end(), text));
    }
};

// A client on the hayes modem with echo off (state MODEM).
void hayesReady(ScriptRig& rig)
{
    connectClient(rig);
    rig.clientSends("ATE0\r");
    rig.advance(10);
    ASSERT_EQ(rig.takeSent(), "ATE0\r\r\nOK\r\n");
}

// Dials; returns with CONNECT out (at `connectedAt`) and the terminal about to answer.
void hayesConnect(ScriptRig& rig, std::int64_t* connectedAt = nullptr)
{
    ASSERT_NO_FATAL_FAILURE(hayesReady(rig));
    rig.clientSends("ATDT5551234\r");
    const std::int64_t at = advanceUntilSent(rig, 11'000);
    ASSERT_GE(at, 0);
    ASSERT_EQ(rig.takeSent(), HConnect);
    if (connectedAt != nullptr)
        *connectedAt = at;
}

// Dials, answers ID= and logs on (state STXNO).
void hayesLogOn(ScriptRig& rig)
{
    ASSERT_NO_FATAL_FAILURE(hayesConnect(rig));
    ASSERT_EQ(tap18Answer(rig, "\r"), Tap18Id);
    ASSERT_EQ(tap18Answer(rig, LogonLine), Tap18LogonOk);
    rig.takePet();
}

CallScript withScript(void (*set)(CallScript&))
{
    CallScript script;
    set(script);
    return script;
}

} // namespace

TEST(CallScript, TheDefaultScriptSetAfterAnotherChangesNothingInAWholeCall)
{
    // What the client hears, write by write, and the PET log of a whole call.
    const auto wholeCall = [](ScriptRig& rig) {
        const std::size_t sentFrom = rig.socket.sent.size();
        const std::size_t petFrom = rig.petTexts().size();
        hayesLogOn(rig);
        for (const std::string& bytes : { Page1, BadChecksum, Page1, Page2, std::string("\x04\r") })
            tap18Answer(rig, bytes);
        rig.peerCloses();
        rig.advance(1'000);
        std::vector<std::string> said;
        for (std::size_t i = sentFrom; i < rig.socket.sent.size(); ++i)
            said.push_back(rig.socket.sent[i].bytes);
        const auto pet = rig.petTexts();
        return std::make_pair(said, std::vector<std::string>(pet.begin() + petFrom, pet.end()));
    };
    ScriptRig plain;
    const auto expected = wholeCall(plain);

    CallScript everything;
    everything.firstDialSilent = true;
    everything.idAfterCrs = 2;
    everything.logon = CallScript::Logon::NakFirst;
    everything.firstReplyDelayMs = 1'000;
    everything.longReply = true;
    everything.disconnectAtBlock = 3;
    everything.maxPages = 1;
    everything.afterEot = CallScript::AfterEot::Silent;
    ScriptRig scripted(everything);
    ASSERT_NO_FATAL_FAILURE(hayesReady(scripted));
    EXPECT_EQ(tap18Answer(scripted, "ATDT5551234\r", 20'000), "");
    EXPECT_EQ(tap18Answer(scripted, "x"), HNoCarrier);
    EXPECT_EQ(tap18Answer(scripted, "ATDT5551234\r", 11'000), HConnect);
    EXPECT_EQ(tap18Answer(scripted, "\r"), "");
    EXPECT_EQ(tap18Answer(scripted, "\r"), Tap18Id);
    EXPECT_EQ(tap18Answer(scripted, LogonLine), "\x15\r");
    EXPECT_EQ(tap18Answer(scripted, LogonLine), Tap18LogonOk);
    EXPECT_EQ(tap18Answer(scripted, Page1, 500), "");
    scripted.peerCloses();
    // The terminal misses the hang-up: it answers the held block into the closed line.
    scripted.advance(2'000);
    scripted.engine().setCallScript(CallScript {});
    EXPECT_EQ(scripted.engine().callScript(), CallScript {});
    const auto got = wholeCall(scripted);
    EXPECT_EQ(got.first, expected.first);
    EXPECT_EQ(got.second, expected.second);
    ASSERT_EQ(scripted.sink.calls.size(), 2U);
    EXPECT_EQ(scripted.sink.calls[1].ack, plain.sink.calls[0].ack);
    EXPECT_EQ(scripted.sink.calls[1].ended, plain.sink.calls[0].ended);
}

TEST(CallScript, TheFirstDialOfEachCallGetsNoResultUntilTheClientGivesItUp)
{
    ScriptRig rig(withScript([](CallScript& s) { s.firstDialSilent = true; }));
    ASSERT_NO_FATAL_FAILURE(hayesReady(rig));
    rig.clientSends("ATDT5551234\r");
    rig.advance(300'000);
    EXPECT_EQ(rig.takeSent(), "") << "no result after 300 s";
    EXPECT_EQ(rig.state(), LineState::WAITCONNECT);
    EXPECT_EQ(rig.logged("  DP: Dial left unanswered"), 1);
    rig.clientSends("x");
    EXPECT_EQ(rig.takeSent(), HNoCarrier) << "a character gives it up at once";
    EXPECT_EQ(rig.state(), LineState::MODEM);
    rig.clientSends("ATDT5551234\r");
    const std::int64_t redialAt = rig.now();
    const std::int64_t connectAt = advanceUntilSent(rig, 11'000);
    EXPECT_GT(connectAt - redialAt, ConnectDelayMs) << "the redial is answered as always";
    EXPECT_EQ(rig.takeSent(), HConnect);
    EXPECT_EQ(tap18Answer(rig, "\r"), Tap18Id);
    rig.peerCloses();

    // The next call's first dial is silent again; the client's hang-up ends it.
    ASSERT_NO_FATAL_FAILURE(hayesReady(rig));
    EXPECT_EQ(tap18Answer(rig, "ATDT5551234\r", 60'000), "");
    rig.peerCloses();
    rig.advance(1'000);
    ASSERT_EQ(rig.sink.calls.size(), 2U);
    ASSERT_EQ(rig.sink.calls[0].dials.size(), 2U);
    EXPECT_EQ(rig.sink.calls[0].dials[0].outcome, "NO ANSWER");
    EXPECT_EQ(rig.sink.calls[0].dials[1].outcome, "CONNECT");
    ASSERT_EQ(rig.sink.calls[1].dials.size(), 1U);
    EXPECT_EQ(rig.sink.calls[1].dials[0].outcome, "NO ANSWER");
    EXPECT_EQ(rig.logged("  DP: Dial left unanswered"), 2);
}

TEST(CallScript, TheDialHookDecidesThePlanTheTerminalAndTheScriptOfItsDial)
{
    ScriptRig rig;
    std::vector<std::string> numbers;
    rig.engine().setDialHook([&rig, &numbers](std::string_view number) {
        numbers.emplace_back(number);
        (void)rig.sim.plan().setDialPlan(number == "111" ? "busy" : "");
        if (number == "222")
            rig.engine().setCallTerminal(TerminalProfile::Classic);
        if (number == "333")
            rig.engine().setCallScript(withScript([](CallScript& s) { s.firstDialSilent = true; }));
    });
    ASSERT_NO_FATAL_FAILURE(hayesReady(rig));
    EXPECT_EQ(tap18Answer(rig, "ATDT111\r", 6'000), "\r\nBUSY\r\n") << "the plan the hook set";
    EXPECT_EQ(tap18Answer(rig, "ATDT222\r", 11'000), HConnect);
    EXPECT_EQ(rig.engine().callTerminal(), TerminalProfile::Classic);
    rig.engine().setCallTerminal(TerminalProfile::Tap18);
    EXPECT_EQ(rig.engine().callTerminal(), TerminalProfile::Classic) << "put through: kept";
    EXPECT_EQ(tap18Answer(rig, "\r", 5'000), IdPrompt) << "the classic terminal's ID=";
    rig.peerCloses();

    ASSERT_NO_FATAL_FAILURE(hayesReady(rig));
    EXPECT_EQ(rig.engine().callTerminal(), TerminalProfile::Tap18) << "each call starts afresh";
    EXPECT_EQ(tap18Answer(rig, "ATDT333\r", 20'000), "") << "the script the hook set";
    EXPECT_EQ(rig.state(), LineState::WAITCONNECT);
    EXPECT_EQ(numbers, (std::vector<std::string> { "111", "222", "333" }));
}

TEST(CallScript, IdAnswersOnlyTheScriptedCr)
{
    ScriptRig rig(withScript([](CallScript& s) { s.idAfterCrs = 3; }));
    ASSERT_NO_FATAL_FAILURE(hayesConnect(rig));
    rig.advance(9'000);
    EXPECT_EQ(rig.takeSent(), "") << "no unasked ID= after t5 before the third CR";
    EXPECT_EQ(tap18Answer(rig, "\r", 2'000), "");
    EXPECT_EQ(tap18Answer(rig, "\r", 2'000), "");
    EXPECT_EQ(tap18Answer(rig, "\r"), Tap18Id);
    EXPECT_EQ(tap18Answer(rig, LogonLine), Tap18LogonOk);
    EXPECT_EQ(rig.logged("  DP: Ignoring CR 1 of 3 before IDentify"), 1);
    EXPECT_EQ(rig.logged("  DP: Ignoring CR 2 of 3 before IDentify"), 1);
    EXPECT_EQ(rig.logged("  DP: Returning IDentify"), 1);
}

TEST(CallScript, WithNoIdTheTerminalHangsUpUnaskedAMinuteAfterAnswering)
{
    for (const bool clientLeaves : { false, true }) {
        SCOPED_TRACE(clientLeaves ? "the client hangs up first" : "the client stays");
        ScriptRig rig(withScript([](CallScript& s) { s.idAfterCrs = 0; }));
        std::int64_t connectedAt = 0;
        ASSERT_NO_FATAL_FAILURE(hayesConnect(rig, &connectedAt));
        for (int cr = 0; cr < 3; ++cr)
            EXPECT_EQ(tap18Answer(rig, "\r", 2'000), "") << cr;
        EXPECT_EQ(rig.logged("  DP: Ignoring CR 3, no IDentify this call"), 1);
        if (clientLeaves)
            rig.peerCloses();
        // The terminal answers on the first tick after CONNECT, 100 ms later.
        rig.advance(connectedAt + 100 + CallScript::SilentHangUpMs - rig.now());
        EXPECT_EQ(rig.takeSent(), "") << "nothing, not even ID= after t5, for a minute";
        rig.advance(200);
        EXPECT_EQ(rig.takeSent(), clientLeaves ? "" : HNoCarrier) << "no ESC EOT CR";
        EXPECT_EQ(rig.state(), clientLeaves ? LineState::WAIT_CR : LineState::MODEM);
        rig.advance(1'000);
        EXPECT_EQ(rig.logged("  DP: No logon, hanging up without disconnect"),
                  clientLeaves ? 0 : 1);
    }
}

TEST(CallScript, AnUnaskedIdGoesOutWhenTheTerminalAnswers)
{
    for (const bool unasked : { false, true }) {
        SCOPED_TRACE(unasked);
        ScriptRig rig(
            withScript(unasked ? [](CallScript& s) { s.idUnasked = true; } : [](CallScript&) {}));
        std::int64_t connectedAt = 0;
        ASSERT_NO_FATAL_FAILURE(hayesConnect(rig, &connectedAt));
        const std::int64_t at = advanceUntilSent(rig, 1'000);
        if (!unasked) {
            EXPECT_EQ(at, -1) << "as always, ID= waits for a CR";
            continue;
        }
        EXPECT_EQ(at - connectedAt, 100) << "on the tick that answers the call";
        EXPECT_EQ(rig.takeSent(), Tap18Id);
        EXPECT_EQ(rig.state(), LineState::PASSWD);
        EXPECT_EQ(tap18Answer(rig, LogonLine), Tap18LogonOk);
        EXPECT_EQ(rig.logged("  DP: Returning IDentify unasked"), 1);
    }
}

TEST(CallScript, NakFirstRefusesTheFirstLogonOnlyAndRestartsT5)
{
    for (const std::string& first : { LogonLine, std::string("\x1bP\r") }) {
        SCOPED_TRACE(first == LogonLine ? "well-formed" : "malformed");
        ScriptRig rig(withScript([](CallScript& s) { s.logon = CallScript::Logon::NakFirst; }));
        ASSERT_NO_FATAL_FAILURE(hayesConnect(rig));
        EXPECT_EQ(tap18Answer(rig, "\r", 5'000), Tap18Id);
        rig.clientSends(first);
        const std::int64_t nakAt = advanceUntilSent(rig, 1'000);
        EXPECT_EQ(rig.takeSent(), "\x15\r") << "NAK CR only";
        EXPECT_EQ(rig.state(), LineState::PASSWD);
        rig.advance(nakAt + 8'000 - rig.now());
        EXPECT_EQ(rig.takeSent(), "") << "t5 runs again from the NAK";
        const std::int64_t againAt = advanceUntilSent(rig, 100);
        EXPECT_EQ(againAt, nakAt + 8'100) << "on the first tick after it";
        EXPECT_EQ(rig.takeSent(), Tap18Id);
        EXPECT_EQ(tap18Answer(rig, LogonLine), Tap18LogonOk) << "the second logon as always";
        EXPECT_EQ(rig.logged("  DP: Sending NAK to the first logon"), 1);
    }
}

TEST(CallScript, ARefusedLogonGetsTheDisconnectAndTheHangUp)
{
    ScriptRig rig(withScript([](CallScript& s) { s.logon = CallScript::Logon::Refuse; }));
    ASSERT_NO_FATAL_FAILURE(hayesConnect(rig));
    EXPECT_EQ(tap18Answer(rig, "\r"), Tap18Id);
    EXPECT_EQ(tap18Answer(rig, LogonLine), Disconnect + HNoCarrier);
    EXPECT_EQ(rig.state(), LineState::MODEM);
    EXPECT_EQ(rig.logged("  DP: Refusing the logon, sending disconnect"), 1);
    rig.peerCloses();
    ASSERT_EQ(rig.sink.calls.size(), 1U);
    EXPECT_FALSE(rig.sink.calls[0].logon);
}

TEST(CallScript, TheFirstReplyIsHeldAndAResendIsReadAfterIt)
{
    ScriptRig rig(withScript([](CallScript& s) { s.firstReplyDelayMs = 8'000; }));
    ASSERT_NO_FATAL_FAILURE(hayesLogOn(rig));
    const std::int64_t sentAt = rig.now();
    rig.clientSends(Page1);
    rig.advance(3'000);
    rig.clientSends(Page1);
    rig.advance(sentAt + 7'900 - rig.now());
    EXPECT_EQ(rig.takeSent(), "") << "no reply at 7.9 s, and no t4 time-out";
    rig.advance(200);
    EXPECT_EQ(rig.takeSent(), Sent211 + Sent211) << "by 8.1 s, the resend read as the next block";
    EXPECT_EQ(rig.logged("  DP: Holding the first block's reply 8000 ms"), 1);
    rig.clientSends(Page2);
    const std::int64_t secondAt = rig.now();
    EXPECT_LE(advanceUntilSent(rig, 1'000) - secondAt, 100) << "the next block is not held";
    EXPECT_EQ(rig.takeSent(), Sent211);
    EXPECT_EQ(rig.sink.pages.size(), 3U);
}

TEST(CallScript, TheFirstAckedPageGetsTheLongReply)
{
    ScriptRig rig(withScript([](CallScript& s) { s.longReply = true; }));
    ASSERT_NO_FATAL_FAILURE(hayesLogOn(rig));
    EXPECT_EQ(tap18Answer(rig, BadChecksum), Nak514);
    EXPECT_EQ(tap18Answer(rig, Page1),
              "211 Page(s) Sent Successfully\r 1 message queued for delivery\r114 Welcome\r\x06\r");
    EXPECT_EQ(tap18Answer(rig, Page2), Sent211);
    ASSERT_EQ(rig.sink.pages.size(), 3U);
    EXPECT_EQ(rig.sink.pages[1].code, "211");
    EXPECT_EQ(rig.logged("  DP: Sending 211 ACK with a long message sequence"), 1);
}

TEST(CallScript, TheScriptedBlockGetsItsCodeAndTheDisconnectBeforeThePlan)
{
    CallScript script;
    script.disconnectAtBlock = 2;
    script.disconnectCode = Tap18Code::CannotDeliver;
    ScriptRig rig(script);
    ASSERT_EQ(rig.sim.plan().setBlockPlan("nak"), "");
    ASSERT_NO_FATAL_FAILURE(hayesLogOn(rig));
    EXPECT_EQ(tap18Answer(rig, Page1), Nak514) << "block 1: the plan's NAK";
    EXPECT_EQ(tap18Answer(rig, Page1), "512 Temporarily cannot deliver\r" + Disconnect + HNoCarrier)
        << "block 2, a resend: the script's, over the plan's";
    EXPECT_EQ(rig.state(), LineState::MODEM);
    EXPECT_EQ(rig.logged("  DP: Sending 512 and disconnect at block 2"), 1);
    ASSERT_EQ(rig.sink.pages.size(), 2U);
    EXPECT_EQ(rig.sink.pages[1].reply, "none");
    EXPECT_EQ(rig.sink.pages[1].reason, "plan");
    EXPECT_EQ(rig.sink.pages[1].code, "512");
    EXPECT_EQ(rig.sink.pages[1].pager, "123");
}

TEST(CallScript, TheScriptsPageLimitOverridesTheSetting)
{
    struct Case {
        const char* name;
        int setting;
        std::optional<int> script;
        int accepted;
    };
    const Case cases[] = {
        { "the setting holds", 1, std::nullopt, 1 },
        { "one over no limit", 0, 1, 1 },
        { "two over one", 1, 2, 2 },
    };
    const std::string limit = "112 Maximum pages entered\r" + Disconnect + HNoCarrier;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CallScript script;
        script.maxPages = c.script;
        ScriptRig rig(script);
        rig.sim.tap18Settings().maxPages = c.setting;
        ASSERT_NO_FATAL_FAILURE(hayesLogOn(rig));
        for (int page = 1; page <= c.accepted; ++page)
            EXPECT_EQ(tap18Answer(rig, page % 2 == 1 ? Page1 : Page2), Sent211) << page;
        EXPECT_EQ(tap18Answer(rig, Page1), limit);
    }
}

TEST(CallScript, WhatFollowsEot)
{
    struct Case {
        const char* name;
        CallScript::AfterEot afterEot;
        std::string reply;
        std::string log;
    };
    const Case cases[] = {
        { "goodbye", CallScript::AfterEot::Goodbye, Goodbye + HNoCarrier,
          "  DP: Sending 115 and disconnect" },
        { "late refusal", CallScript::AfterEot::LateRefusal, "\x1e\r" + Disconnect + HNoCarrier,
          "  DP: Sending RS after EOT and disconnect" },
        { "silent", CallScript::AfterEot::Silent, "", "  DP: Saying nothing after EOT" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CallScript script;
        script.afterEot = c.afterEot;
        ScriptRig rig(script);
        ASSERT_NO_FATAL_FAILURE(hayesLogOn(rig));
        EXPECT_EQ(tap18Answer(rig, Page1), Sent211);
        EXPECT_EQ(tap18Answer(rig, "\x04\r"), c.reply);
        EXPECT_EQ(rig.logged(c.log), 1);
        rig.peerCloses();
        ASSERT_EQ(rig.sink.calls.size(), 1U);
        EXPECT_EQ(rig.sink.calls[0].ended, "eot");
    }
}

TEST(CallScript, SilentAfterEotTheTerminalHangsUpAMinuteLaterUnlessTheClientDid)
{
    for (const bool clientLeaves : { false, true }) {
        SCOPED_TRACE(clientLeaves ? "the client hangs up first" : "the client stays");
        ScriptRig rig(withScript([](CallScript& s) { s.afterEot = CallScript::AfterEot::Silent; }));
        ASSERT_NO_FATAL_FAILURE(hayesLogOn(rig));
        rig.clientSends("\x04\r");
        rig.advance(100); // the tick that reads it
        const std::int64_t readAt = rig.now();
        EXPECT_EQ(tap18Answer(rig, "\x04\r" + Page1, 30'000), "") << "what follows is dropped";
        EXPECT_EQ(rig.logged("  DP: Dropped after EOT: \x04\r" + Page1), 1);
        if (clientLeaves)
            rig.peerCloses();
        rig.advance(readAt + CallScript::SilentHangUpMs - rig.now());
        EXPECT_EQ(rig.takeSent(), "");
        rig.advance(100);
        EXPECT_EQ(rig.takeSent(), clientLeaves ? "" : HNoCarrier) << "no ESC EOT CR";
        rig.advance(1'000);
        EXPECT_EQ(rig.logged("  DP: Hanging up, silent since EOT"), clientLeaves ? 0 : 1);
        EXPECT_EQ(rig.sink.pages.size(), 0U) << "nothing after EOT is taken as a page";
    }
}

TEST(CallScript, TheJudgeWaitsForNoClosingAfterASilentEot)
{
    // The client that hangs up right after its EOT is told it left too early, unless the script
    // has the terminal say nothing after EOT, where hanging up is all it can do.
    for (const bool silent : { false, true }) {
        SCOPED_TRACE(silent ? "silent" : "goodbye");
        CallScript script;
        if (silent)
            script.afterEot = CallScript::AfterEot::Silent;
        ScriptRig rig(script);
        ASSERT_NO_FATAL_FAILURE(hayesLogOn(rig));
        EXPECT_EQ(tap18Answer(rig, Page1), Sent211);
        rig.clientSends("\x04\r");
        rig.advance(silent ? 2'000 : 0);
        rig.peerCloses();
        rig.advance(100);
        const bool told
            = std::any_of(rig.sink.findings.begin(), rig.sink.findings.end(),
                          [](const FindingRecord& f) { return f.rule == "end.hangup-early"; });
        EXPECT_EQ(told, !silent);
    }
}
