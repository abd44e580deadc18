// SPDX-License-Identifier: MIT
// Every rule of the judge on both sides of its boundary, on transcripts played in virtual time:
// the client's and the terminal's bytes with their times, as the line would carry them.
#include "engine/Tap18Block.h"
#include "judge/Judge.h"
#include "support/Fakes.h"

#include <algorithm>
#include <bit>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace ostrella::test {
namespace {

const std::string Logon = "\x1bPG1000000\r";
const std::string LogonOk = "110 1.8\r\x06\r\x1b[p\r";
const std::string Ack = "211 Page(s) Sent Successfully\r\x06\r";
const std::string AckOnly = "\x06\r";
const std::string Nak = "514 Checksum error\r\x15\r";
const std::string Rs = "511 Unknown pager ID\r\x1e\r";
const std::string Bye = "115 Goodbye\r\x1b\x04\r";

// STX, `body`, the terminator, the TAP checksum and CR.
std::string block(std::string_view body, char terminator = '\x03')
{
    std::string b = "\x02" + std::string(body) + terminator;
    const auto sum = tap18::checksum(b);
    b.append(sum.begin(), sum.end());
    return b + '\r';
}

// The block with its three checksum characters replaced.
std::string withChecksum(std::string b, std::string_view sum)
{
    b.replace(b.size() - 4, 3, sum);
    return b;
}

const std::string Page = block("123\rABC\r");

struct Sink : FindingEvents {
    void finding(const Finding& f) override { made.push_back(f); }
    std::vector<Finding> made;
};

// One line's judge on a virtual clock; each step moves the clock on by `after` ms first.
struct JudgeRig {
    explicit JudgeRig(bool tap18 = true, bool closes = true)
        : judge(clock, run)
    {
        judge.setFindings(&sink);
        judge.setClosesAfterEot([this] { return closes_; });
        closes_ = closes;
        judge.callStarted(tap18);
    }
    JudgeRig& client(std::string_view bytes, std::int64_t after = 100)
    {
        clock.now += after;
        judge.poll();
        judge.received(bytes);
        return *this;
    }
    JudgeRig& terminal(std::string_view bytes, std::int64_t after = 100)
    {
        clock.now += after;
        judge.poll();
        judge.sent(bytes);
        return *this;
    }
    JudgeRig& wait(std::int64_t ms)
    {
        for (std::int64_t t = 0; t < ms; t += 100) {
            clock.now += std::min<std::int64_t>(100, ms - t);
            judge.poll();
        }
        return *this;
    }
    // Dials and connects: the dial at 0, CONNECT at 1 s.
    JudgeRig& connect(bool sevenBit = false)
    {
        client("ATDT5551234\r", 0);
        judge.dialStarted(sevenBit);
        terminal("CONNECT 2400\r", 1000);
        judge.dialEnded(true);
        return *this;
    }
    JudgeRig& logOn(const std::string& logon = Logon)
    {
        connect().client("\r").terminal("ID=\r").client(logon).terminal(LogonOk);
        return *this;
    }
    // EOT CR, the terminal's goodbye, the client's hang-up.
    JudgeRig& end()
    {
        client("\x04\r").terminal(Bye);
        return hangUp();
    }
    JudgeRig& hangUp(std::int64_t after = 100)
    {
        clock.now += after;
        judge.callEnded(true);
        return *this;
    }
    std::vector<std::string> rules() const
    {
        std::vector<std::string> out;
        for (const Finding& f : sink.made)
            out.emplace_back(f.rule);
        return out;
    }
    bool found(std::string_view rule) const
    {
        return std::any_of(sink.made.begin(), sink.made.end(),
                           [rule](const Finding& f) { return f.rule == rule; });
    }
    const Finding* finding(std::string_view rule) const
    {
        for (const Finding& f : sink.made)
            if (f.rule == rule)
                return &f;
        return nullptr;
    }

    VirtualClock clock;
    JudgeRun run;
    Judge judge;
    Sink sink;
    bool closes_ = true;
};

std::string joined(const std::vector<std::string>& rules)
{
    std::string out;
    for (const std::string& r : rules)
        out += (out.empty() ? "" : ", ") + r;
    return out;
}

TEST(JudgeRules, ReferenceCallHasNoFinding)
{
    JudgeRig rig;
    rig.logOn().client(Page).terminal(Ack).client(block("456\rDEF\r")).terminal(Ack).end();
    EXPECT_EQ(joined(rig.rules()), "");
    EXPECT_GT(rig.judge.transcript().pieces().size(), 10U);
    EXPECT_EQ(rig.judge.transcript().dropped(), 0);
}

struct RuleCase {
    const char* name;
    const char* rule;
    // True: the client breaks the rule; false: it stays just inside it.
    bool broken;
    std::function<void(JudgeRig&)> call;
    bool tap18 = true;
};

std::string longBody(std::size_t message)
{
    return "123\r" + std::string(message, 'x') + "\r";
}

// A block of `n` characters from STX to the final CR.
std::string blockOfLength(std::size_t n)
{
    return block(longBody(n - 6 - 5));
}

const std::vector<RuleCase>& cases()
{
    static const std::vector<RuleCase> table {
        // --- logon ---
        { "LogonBeforeId", "logon.before-id", true,
          [](JudgeRig& r) { r.connect().client("\r" + Logon).terminal("ID=\r").hangUp(); } },
        { "LogonAfterId", "logon.before-id", false, [](JudgeRig& r) { r.logOn().end(); } },
        { "LogonEndedByLf", "logon.format", true,
          [](JudgeRig& r) { r.logOn("\x1bPG1000000\n").hangUp(); } },
        { "LogonOtherService", "logon.format", true,
          [](JudgeRig& r) { r.logOn("\x1bPG3\r").hangUp(); } },
        { "LogonLfAfterCr", "logon.format", true,
          [](JudgeRig& r) { r.logOn("\x1bPG1000000\r\n").end(); } },
        { "LogonWithoutPassword", "logon.format", false,
          [](JudgeRig& r) { r.logOn("\x1bPG1\r").end(); } },
        { "LogonLowerCase", "logon.lower-case", true,
          [](JudgeRig& r) { r.logOn("\x1bpg1000000\r").end(); } },
        { "CrRetryAt999", "logon.cr-retry-fast", true,
          [](JudgeRig& r) {
              r.connect().client("\r").client("\r", 999).terminal("ID=\r").hangUp();
          } },
        { "CrRetryAt1000", "logon.cr-retry-fast", false,
          [](JudgeRig& r) {
              r.connect().client("\r").client("\r", 1000).terminal("ID=\r").client(Logon);
              r.terminal(LogonOk).end();
          } },
        { "FourCrs", "logon.cr-retry-many", true,
          [](JudgeRig& r) {
              r.connect();
              for (int i = 0; i < 4; ++i)
                  r.client("\r", 2000);
              r.hangUp();
          } },
        { "ThreeCrs", "logon.cr-retry-many", false,
          [](JudgeRig& r) {
              r.connect();
              for (int i = 0; i < 3; ++i)
                  r.client("\r", 2000);
              r.terminal("ID=\r").client(Logon).terminal(LogonOk).end();
          } },
        { "SilentAfterConnect", "logon.no-cr", true,
          [](JudgeRig& r) { r.connect().wait(3100).hangUp(); } },
        { "CrAt3000", "logon.no-cr", false,
          [](JudgeRig& r) {
              r.connect().client("\r", 3000).terminal("ID=\r").client(Logon).terminal(LogonOk);
              r.end();
          } },
        { "UnpromptedId", "logon.no-cr", false,
          [](JudgeRig& r) {
              r.connect().terminal("ID=\r", 500).client(Logon, 4000).terminal(LogonOk).end();
          } },
        // --- block form ---
        { "BlockWithLogon", "block.before-go-ahead", true,
          [](JudgeRig& r) {
              r.connect().client("\r").terminal("ID=\r").client(Logon + Page).terminal(LogonOk);
              r.terminal(Ack).end();
          } },
        { "NoTerminator", "block.format", true,
          [](JudgeRig& r) {
              r.logOn()
                  .client("\x02"
                          "123\rABC\r")
                  .terminal(Nak)
                  .end();
          } },
        { "NoCrAfterChecksum", "block.format", true,
          [](JudgeRig& r) {
              r.logOn().client(Page.substr(0, Page.size() - 1)).terminal(Nak).end();
          } },
        { "ChecksumOutsideDigits", "block.format", true,
          [](JudgeRig& r) { r.logOn().client(withChecksum(Page, "1xz")).terminal(Nak).end(); } },
        { "FieldWithoutCr", "block.field-cr", true,
          [](JudgeRig& r) { r.logOn().client(block("123\rABC")).terminal(Ack).end(); } },
        { "FieldBeforeUsWithoutCr", "block.field-cr", false,
          [](JudgeRig& r) {
              r.logOn().client(block("123\rAB", '\x1f')).terminal(AckOnly);
              r.client(block("C\r")).terminal(Ack).end();
          } },
        { "Block257", "block.too-long", true,
          [](JudgeRig& r) { r.logOn().client(blockOfLength(257)).terminal(Rs).end(); } },
        { "Block256", "block.too-long", false,
          [](JudgeRig& r) { r.logOn().client(blockOfLength(256)).terminal(Ack).end(); } },
        { "Info251", "block.info-too-long", true,
          [](JudgeRig& r) { r.logOn().client(blockOfLength(257)).terminal(Rs).end(); } },
        { "Info250", "block.info-too-long", false,
          [](JudgeRig& r) { r.logOn().client(blockOfLength(256)).terminal(Ack).end(); } },
        { "WrongChecksum", "block.checksum", true,
          [](JudgeRig& r) {
              r.logOn().client(withChecksum(Page, "17<")).terminal(Nak).client(Page);
              r.terminal(Ack).end();
          } },
        { "EightBitByte", "block.eight-bit", true,
          [](JudgeRig& r) { r.logOn().client(block("123\rCaf\xe9\r")).terminal(Ack).end(); } },
        { "RawLf", "block.control-unescaped", true,
          [](JudgeRig& r) { r.logOn().client(block("123\rAB\nC\r")).terminal(Ack).end(); } },
        { "EscapedLf", "block.control-unescaped", false,
          [](JudgeRig& r) {
              r.logOn()
                  .client(block("123\rAB\x1aJ"
                                "C\r"))
                  .terminal(Ack)
                  .end();
          } },
        { "BadEscape", "block.bad-escape", true,
          [](JudgeRig& r) {
              r.logOn()
                  .client(block("123\rAB\x1a"
                                "aC\r"))
                  .terminal(Ack)
                  .end();
          } },
        { "EscapeOf5F", "block.bad-escape", false,
          [](JudgeRig& r) { r.logOn().client(block("123\rAB\x1a_C\r")).terminal(Ack).end(); } },
        // --- pacing ---
        { "BlockBeforeReply", "block.no-wait", true,
          [](JudgeRig& r) {
              r.logOn().client(Page).client(block("456\rDEF\r"), 50).terminal(Ack).terminal(Ack);
              r.end();
          } },
        { "EotBeforeReply", "block.no-wait", true,
          [](JudgeRig& r) { r.logOn().client(Page).client("\x04\r", 50).terminal(Ack).hangUp(); } },
        { "NakIgnored", "block.nak-ignored", true,
          [](JudgeRig& r) {
              r.logOn().client(Page).terminal(Nak).client(block("456\rDEF\r")).terminal(Ack).end();
          } },
        { "NakResentLater", "block.nak-ignored", false,
          [](JudgeRig& r) {
              r.logOn().client(Page).terminal(Nak).client(block("456\rDEF\r")).terminal(Ack);
              r.client(Page).terminal(Ack).end();
          } },
        { "FourResendsAfterNak", "block.nak-limit", true,
          [](JudgeRig& r) {
              r.logOn().client(Page);
              for (int i = 0; i < 4; ++i)
                  r.terminal(Nak).client(Page);
              r.terminal(Ack).end();
          } },
        { "ThreeResendsAfterNak", "block.nak-limit", false,
          [](JudgeRig& r) {
              r.logOn().client(Page);
              for (int i = 0; i < 3; ++i)
                  r.terminal(Nak).client(Page);
              r.terminal(Ack).end();
          } },
        { "ResentAfterRs", "block.resend-after-rs", true,
          [](JudgeRig& r) {
              r.logOn().client(Page).terminal(Rs).client(block("456\rDEF\r")).terminal(Ack);
              r.client(Page).terminal(Rs).end();
          } },
        { "NextAfterRs", "block.resend-after-rs", false,
          [](JudgeRig& r) {
              r.logOn().client(Page).terminal(Rs).client(block("456\rDEF\r")).terminal(Ack).end();
          } },
        { "ResendAt9499", "block.resend-early", true,
          [](JudgeRig& r) { r.logOn().client(Page).client(Page, 9499).terminal(Ack).end(); } },
        { "ResendAt10000", "block.resend-early", false,
          [](JudgeRig& r) { r.logOn().client(Page).client(Page, 10'000).terminal(Ack).end(); } },
        { "ResendAt9500", "block.no-wait", false,
          [](JudgeRig& r) { r.logOn().client(Page).client(Page, 9500).terminal(Ack).end(); } },
        { "ResentAfterAck", "block.resend-after-ack", true,
          [](JudgeRig& r) {
              r.logOn().client(Page).terminal(Ack).client(Page).terminal(Ack).end();
          } },
        { "NextAt4001", "block.gap", true,
          [](JudgeRig& r) {
              r.logOn().client(Page).terminal(Ack).client(block("4\rD\r"), 4001).terminal(Ack);
              r.end();
          } },
        { "NextAt4000", "block.gap", false,
          [](JudgeRig& r) {
              r.logOn().client(Page).terminal(Ack).client(block("4\rD\r"), 4000).terminal(Ack);
              r.end();
          } },
        { "EotAt4001", "block.gap", true,
          [](JudgeRig& r) {
              r.logOn().client(Page).terminal(Ack).client("\x04\r", 4001).hangUp();
          } },
        // --- pages ---
        { "ThreeFields", "page.fields", true,
          [](JudgeRig& r) { r.logOn().client(block("123\rAB\rC\r")).terminal(Ack).end(); } },
        { "TwoFieldsOverTwoBlocks", "page.fields", false,
          [](JudgeRig& r) {
              r.logOn().client(block("123\rAB", '\x1f')).terminal(AckOnly);
              r.client(block("C\r")).terminal(Ack).end();
          } },
        // --- the end ---
        { "HangUpWithoutEot", "end.no-eot", true,
          [](JudgeRig& r) { r.logOn().client(Page).terminal(Ack).hangUp(); } },
        { "TerminalTimesOut", "end.no-eot", false,
          [](JudgeRig& r) { r.logOn().terminal("501 Time-out\r\x1b\x04\r", 4100).hangUp(); } },
        { "EotWithoutCr", "end.eot-format", true,
          [](JudgeRig& r) {
              r.logOn().client(Page).terminal(Ack).client("\x04").wait(2100).end();
          } },
        { "EotCrInTwoPieces", "end.eot-format", false,
          [](JudgeRig& r) {
              r.logOn().client(Page).terminal(Ack).client("\x04").client("\r", 300).terminal(Bye);
              r.hangUp();
          } },
        { "HangUpBeforeGoodbye", "end.hangup-early", true,
          [](JudgeRig& r) { r.logOn().client(Page).terminal(Ack).client("\x04\r").hangUp(50); } },
        { "BlockAfterGoodbye", "end.after-disconnect", true,
          [](JudgeRig& r) {
              r.logOn().client(Page).terminal(Ack).client("\x04\r").terminal(Bye).client(Page);
              r.hangUp();
          } },
        // --- the modem ---
        { "KeyDuringDial", "modem.data-during-dial", true,
          [](JudgeRig& r) {
              r.client("ATDT5551234\r", 0);
              r.judge.dialStarted(false);
              r.client("\n", 10).client("x", 500);
              r.terminal("NO CARRIER\r", 10);
              r.judge.dialEnded(false);
              r.hangUp();
          } },
        { "LfAfterDial", "modem.data-during-dial", false,
          [](JudgeRig& r) {
              r.client("ATDT5551234\r", 0);
              r.judge.dialStarted(false);
              r.client("\n", 10).terminal("CONNECT\r", 1000);
              r.judge.dialEnded(true);
              r.client("\r").terminal("ID=\r").client(Logon).terminal(LogonOk).end();
          } },
        { "AtCrAfter1001", "modem.no-cr", true,
          [](JudgeRig& r) { r.client("AT", 0).client("\r", 1001).hangUp(); } },
        { "AtCrAfter1000", "modem.no-cr", false,
          [](JudgeRig& r) { r.client("AT", 0).client("\r", 1000).hangUp(); } },
        { "AtNeverEnded", "modem.no-cr", true,
          [](JudgeRig& r) { r.client("ATDT555", 0).wait(1100).hangUp(); } },
    };
    return table;
}

TEST(JudgeRules, EachRuleOnBothSidesOfItsBoundary)
{
    for (const RuleCase& c : cases()) {
        JudgeRig rig(c.tap18);
        c.call(rig);
        EXPECT_EQ(rig.found(c.rule), c.broken)
            << c.name << ": " << c.rule << " in [" << joined(rig.rules()) << "]";
        // One finding per rule per block or step.
        const std::vector<std::string> rules = rig.rules();
        const auto count = std::count(rules.begin(), rules.end(), c.rule);
        EXPECT_LE(count, 1) << c.name;
    }
    // Every rule has a case that breaks it (the reference call keeps them all), but the two
    // with tests of their own.
    for (const JudgeRule& rule : judgeRules()) {
        const bool listed = std::any_of(cases().begin(), cases().end(), [&](const RuleCase& c) {
            return c.rule == rule.id && c.broken;
        });
        EXPECT_TRUE(listed || rule.id == "page.duplicate" || rule.id == "line.parity") << rule.id;
    }
}

TEST(JudgeRules, ChecksumMistakesAreNamed)
{
    // STX 123 CR ABC CR ETX: 379 in all, "17;" in TAP's digits.
    const struct {
        const char* sent;
        const char* named;
    } mistakes[] = {
        { "17;", nullptr },        { "07;", "low 8 bits" },
        { "179", "left STX out" }, { "178", "left the terminator out" },
        { "17B", "hex digits" },   { "17<", "" },
    };
    for (const auto& m : mistakes) {
        JudgeRig rig;
        rig.logOn().client(withChecksum(Page, m.sent)).terminal(Ack).end();
        const Finding* f = rig.finding("block.checksum");
        if (m.named == nullptr) {
            EXPECT_EQ(f, nullptr) << m.sent;
            continue;
        }
        ASSERT_NE(f, nullptr) << m.sent;
        EXPECT_EQ(f->level, FindingLevel::Error);
        EXPECT_NE(f->text.find("where TAP 1.8 gives \"17;\""), std::string::npos) << f->text;
        EXPECT_NE(f->text.find(m.named), std::string::npos) << f->text;
        EXPECT_TRUE(f->aboutBlock);
        EXPECT_EQ(f->evidence, withChecksum(Page, m.sent));
        EXPECT_FALSE(rig.found("block.format")) << m.sent;
    }
    // An 8-bit sum, told apart where the block has a byte above 0x7F.
    JudgeRig rig;
    std::string eight = "\x02"
                        "1\r\xe9\r\x03";
    std::uint64_t sum = 0;
    for (const char c : eight)
        sum += static_cast<unsigned char>(c);
    eight += std::string { static_cast<char>('0' + ((sum >> 8) & 0xF)),
                           static_cast<char>('0' + ((sum >> 4) & 0xF)),
                           static_cast<char>('0' + (sum & 0xF)), '\r' };
    rig.logOn().client(eight).terminal(Ack).end();
    ASSERT_NE(rig.finding("block.checksum"), nullptr);
    EXPECT_NE(rig.finding("block.checksum")->text.find("8-bit values"), std::string::npos);
    EXPECT_TRUE(rig.found("block.eight-bit"));
}

TEST(JudgeRules, LevelsTimesAndTexts)
{
    JudgeRig rig;
    rig.logOn().client(blockOfLength(291)).terminal(Rs).end();
    const Finding* f = rig.finding("block.too-long");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->text,
              "block of 291 characters; TAP 1.8 allows at most 256 from STX to the final CR");
    EXPECT_EQ(f->timeMs, 1500);

    // A raw control is an error against the tap18 terminal, a warning against the classic one.
    for (const bool tap18 : { true, false }) {
        JudgeRig r(tap18);
        r.logOn()
            .client(block("123\rAB\x1b"
                          "C\r"))
            .terminal(Ack)
            .end();
        ASSERT_NE(r.finding("block.control-unescaped"), nullptr);
        EXPECT_EQ(r.finding("block.control-unescaped")->level,
                  tap18 ? FindingLevel::Error : FindingLevel::Warning);
    }

    // The silence after CONNECT is told at its 3 s, as soon as a tick sees it.
    JudgeRig silent;
    silent.connect().wait(3200);
    ASSERT_NE(silent.finding("logon.no-cr"), nullptr);
    EXPECT_EQ(silent.finding("logon.no-cr")->timeMs, 4000);
}

TEST(JudgeRules, WhatDependsOnTheTerminalIsCheckedOnlyWhenItSaidIt)
{
    // No closing ESC EOT CR to wait for: hanging up after EOT CR is right.
    JudgeRig classic(false, false);
    classic.logOn().client(Page).terminal(AckOnly).client("\x04\r").hangUp(50);
    EXPECT_EQ(joined(classic.rules()), "");
    // The terminal hung up: no EOT is owed.
    JudgeRig hungUp;
    hungUp.logOn().client(Page).terminal(Ack);
    hungUp.judge.terminalHungUp();
    hungUp.hangUp();
    EXPECT_FALSE(hungUp.found("end.no-eot"));
    // A shut-down or a takeover ends the call, not the client.
    JudgeRig shutDown;
    shutDown.logOn().client(Page).terminal(Ack);
    shutDown.judge.callEnded(false);
    EXPECT_EQ(joined(shutDown.rules()), "");
}

TEST(JudgeRules, FramingOfTheLine)
{
    // 7E1 bytes on an eight-bit line: told once, then read as 7-bit values.
    const auto evenParity = [](std::string_view text) {
        std::string out(text);
        for (char& c : out) {
            const int ones = std::popcount(static_cast<unsigned char>(c & 0x7F));
            c = static_cast<char>((c & 0x7F) | (ones % 2 != 0 ? 0x80 : 0));
        }
        return out;
    };
    JudgeRig parity;
    parity.connect().client(evenParity("\r")).terminal("ID=\r").client(evenParity(Logon));
    parity.terminal(LogonOk).client(evenParity(Page)).terminal(Ack).client(evenParity("\x04\r"));
    parity.terminal(Bye).hangUp();
    EXPECT_EQ(joined(parity.rules()), "line.parity");

    // On the seven-bit line parity is the line's own: nothing to tell.
    JudgeRig seven;
    seven.client("ATDT125107\r", 0);
    seven.judge.dialStarted(true);
    seven.terminal("CONNECT\r", 1000);
    seven.judge.dialEnded(true);
    seven.client(evenParity("\r")).terminal("ID=\r").client(evenParity(Logon)).terminal(LogonOk);
    seven.client(evenParity(Page)).terminal(Ack).client(evenParity("\x04\r")).terminal(Bye);
    seven.hangUp();
    EXPECT_EQ(joined(seven.rules()), "");
}

TEST(JudgeRules, PageDeliveredInAnEarlierCall)
{
    VirtualClock clock;
    JudgeRun run;
    Judge judge(clock, run);
    Sink sink;
    judge.setFindings(&sink);
    for (int call = 0; call < 2; ++call) {
        judge.callStarted(true);
        for (const auto& [fromClient, bytes] :
             std::vector<std::pair<bool, std::string>> { { true, "ATDT1\r" },
                                                         { false, "CONNECT\r" },
                                                         { true, "\r" },
                                                         { false, "ID=\r" },
                                                         { true, Logon },
                                                         { false, LogonOk },
                                                         { true, Page },
                                                         { false, Ack },
                                                         { true, "\x04\r" },
                                                         { false, Bye } }) {
            clock.now += 100;
            if (bytes == "CONNECT\r")
                judge.dialStarted(false);
            fromClient ? judge.received(bytes) : judge.sent(bytes);
            if (bytes == "CONNECT\r")
                judge.dialEnded(true);
        }
        judge.callEnded(true);
    }
    ASSERT_EQ(sink.made.size(), 1U);
    EXPECT_EQ(sink.made[0].rule, "page.duplicate");
}

TEST(JudgeRules, TranscriptIsBounded)
{
    JudgeRig rig;
    rig.logOn();
    const std::string chunk(64 * 1024, 'x');
    for (int i = 0; i < 5; ++i)
        rig.client(chunk, 1);
    EXPECT_LE(rig.judge.transcript().bytes(), Transcript::Limit);
    EXPECT_GT(rig.judge.transcript().dropped(), 64 * 1024);
    // Every rule in the table has a known level and a reference.
    for (const JudgeRule& rule : judgeRules()) {
        EXPECT_FALSE(rule.ref.empty()) << rule.id;
        EXPECT_EQ(findRule(rule.id), &rule);
    }
}

} // namespace
} // namespace ostrella::test
