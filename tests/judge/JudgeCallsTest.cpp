// SPDX-License-Identifier: MIT
// The judge on whole calls through the simulator in virtual time: a client that keeps every rule
// is told nothing against every modem and terminal profile and on the seven-bit line; the
// classic terminal's own ways (packets cut by silence, an 8-bit checksum) do not mislead it; and
// the findings reach the records.
#include "link/SevenBit.h"
#include "sim/RecordJson.h"
#include "support/Rig.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace ostrella::test {
namespace {

// STX, `body`, ETX, the TAP checksum (7-bit values, low 12 bits) and CR.
std::string block(std::string_view body)
{
    std::string b = "\x02" + std::string(body) + '\x03';
    unsigned sum = 0;
    for (const char c : b)
        sum += static_cast<unsigned char>(c) & 0x7FU;
    for (const int shift : { 8, 4, 0 })
        b.push_back(static_cast<char>('0' + ((sum >> shift) & 0xF)));
    return b + '\r';
}

// A client as a TAP 1.8 sender behaves: it waits for each answer before it goes on.
struct Client {
    Rig& rig;
    bool sevenBit = false;
    std::size_t read = 0;

    void send(std::string_view bytes, std::int64_t after = 50)
    {
        rig.advance(after);
        rig.clientSends(sevenBit ? SevenBitEncode(bytes) : std::string(bytes));
    }
    // Waits up to `maxMs` for `text` in what the line sent since the last wait.
    bool await(std::string_view text, std::int64_t maxMs = 15'000)
    {
        for (std::int64_t waited = 0; waited <= maxMs; waited += 10) {
            const std::string got = SevenBitStrip(rig.sentBytes().substr(read));
            if (const auto at = got.find(text); at != std::string::npos) {
                read += at + text.size();
                return true;
            }
            rig.advance(10);
        }
        return false;
    }
};

std::vector<std::string> rulesOf(const VectorRecordSink& sink)
{
    std::vector<std::string> rules;
    for (const FindingRecord& f : sink.findings)
        rules.push_back(f.rule);
    return rules;
}

struct Profile {
    const char* name;
    TerminalProfile terminal;
    ModemProfile modem;
    bool sevenBit;
    bool sendDisconnect;
};

void useProfile(Rig& rig, VectorRecordSink& sink, const Profile& p)
{
    rig.sim.addRecordSink(&sink);
    rig.sim.setTerminal(p.terminal);
    rig.sim.setModemProfile(p.modem);
    rig.panel.tick(Box::chkDisconnect, p.sendDisconnect);
}

// Dials (on a plain line: the modem's command state) and logs on.
void dialAndLogOn(Client& client, const Profile& p)
{
    client.sevenBit = false;
    client.send(p.sevenBit ? "ATDT125107\r" : "ATDT5551234\r");
    ASSERT_TRUE(client.await("CONNECT")) << p.name;
    ASSERT_TRUE(client.await("\r")) << p.name;
    client.sevenBit = p.sevenBit;
    // CR every t1 (2 s) until ID=, at most three times.
    bool prompted = false;
    for (int tries = 0; tries < 3 && !prompted; ++tries) {
        client.send("\r", tries == 0 ? 300 : 0);
        prompted = client.await("ID=", 2000);
    }
    ASSERT_TRUE(prompted) << p.name;
    client.send("\x1bPG1000000\r", 200);
    ASSERT_TRUE(client.await("\x1b[p\r")) << p.name;
}

// Ends with EOT CR and waits for the terminal's goodbye where it sends one, then hangs up.
void endCall(Rig& rig, Client& client, const Profile& p)
{
    client.send("\x04\r");
    const bool closes = p.terminal == TerminalProfile::Tap18 || p.sendDisconnect;
    if (closes)
        ASSERT_TRUE(client.await("\x1b\x04\r")) << p.name;
    else
        rig.advance(1000);
    rig.advance(100);
    rig.peerCloses();
    rig.advance(100);
}

// Dials, logs on, sends two pages, ends with EOT CR and waits for the terminal's goodbye where
// it sends one.
void referenceCall(Rig& rig, const Profile& p)
{
    Client client { rig };
    rig.advance(1200);
    rig.connect();
    ASSERT_NO_FATAL_FAILURE(dialAndLogOn(client, p));
    for (const char* page : { "1234\rFirst page\r", "5678\rSecond page\r" }) {
        client.send(block(page));
        ASSERT_TRUE(client.await("\x06\r")) << p.name;
    }
    ASSERT_NO_FATAL_FAILURE(endCall(rig, client, p));
}

TEST(JudgeCalls, ReferenceClientIsToldNothingInEveryProfile)
{
    const Profile profiles[] = {
        { "classic", TerminalProfile::Classic, ModemProfile::Classic, false, false },
        { "classic send-disconnect", TerminalProfile::Classic, ModemProfile::Classic, false, true },
        { "classic hayes", TerminalProfile::Classic, ModemProfile::Hayes, false, false },
        { "tap18", TerminalProfile::Tap18, ModemProfile::Classic, false, false },
        { "tap18 hayes", TerminalProfile::Tap18, ModemProfile::Hayes, false, false },
        { "classic seven-bit", TerminalProfile::Classic, ModemProfile::Classic, true, false },
        { "tap18 hayes seven-bit", TerminalProfile::Tap18, ModemProfile::Hayes, true, false },
    };
    for (const Profile& p : profiles) {
        Rig rig;
        VectorRecordSink sink;
        useProfile(rig, sink, p);
        ASSERT_NO_FATAL_FAILURE(referenceCall(rig, p));
        std::string told;
        for (const FindingRecord& f : sink.findings)
            told += f.rule + " (" + f.text + ") ";
        EXPECT_EQ(told, "") << p.name;
        ASSERT_EQ(sink.calls.size(), 1U) << p.name;
        EXPECT_EQ(sink.calls[0].ack, 2) << p.name;
        EXPECT_EQ(sink.calls[0].sevenBit, p.sevenBit) << p.name;
        EXPECT_EQ(toJson(sink.calls[0].findings), R"({"error":0,"warning":0,"note":0})");
    }
}

TEST(JudgeCalls, JudgingChangesNothingOnTheLine)
{
    const Profile profiles[] = {
        { "classic", TerminalProfile::Classic, ModemProfile::Classic, false, true },
        { "tap18 hayes", TerminalProfile::Tap18, ModemProfile::Hayes, false, false },
    };
    for (const Profile& p : profiles) {
        std::vector<std::string> lines[2];
        for (const bool judged : { true, false }) {
            Rig rig;
            VectorRecordSink sink;
            useProfile(rig, sink, p);
            if (!judged) {
                rig.line().wire.setTap(nullptr);
                rig.line().calls.setJudge(nullptr);
            }
            ASSERT_NO_FATAL_FAILURE(referenceCall(rig, p));
            std::vector<std::string>& out = lines[judged ? 0 : 1];
            for (const auto& sent : rig.socket.sent)
                out.push_back(std::to_string(sent.at) + " " + sent.bytes);
            for (const std::string& text : rig.systemTexts())
                out.push_back(text);
            for (const std::string& text : rig.petTexts())
                out.push_back(text);
        }
        EXPECT_EQ(lines[0], lines[1]) << p.name;
        EXPECT_GT(lines[0].size(), 20U) << p.name;
    }
}

// The control of the terminal's next reply, read past any code line before it: a control alone
// before CR, or ESC EOT CR; '\0' when none came within 15 s.
char awaitReply(Client& client)
{
    for (std::int64_t waited = 0; waited <= 15'000; waited += 10) {
        const std::string got = SevenBitStrip(client.rig.sentBytes().substr(client.read));
        for (std::size_t cr = got.find('\r'); cr != std::string::npos;
             cr = got.find('\r', cr + 1)) {
            const char c = cr >= 1 ? got[cr - 1] : '\r';
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\r' || c == '\n')
                continue;
            if (cr == 1 || got[cr - 2] == '\r' || got[cr - 2] == '\x1b') {
                client.read += cr + 1;
                return c;
            }
        }
        client.rig.advance(10);
    }
    return '\0';
}

// A careful sender: it sends a page again after NAK or a reply it cannot read (at once, or
// `resendAfterMs` later), and after NO CARRIER dials again and goes on (or, `hangUpOnDrop`, hangs
// up).
void carefulCall(Rig& rig, const Profile& p, bool hangUpOnDrop, std::int64_t resendAfterMs)
{
    Client client { rig };
    rig.advance(1200);
    rig.connect();
    ASSERT_NO_FATAL_FAILURE(dialAndLogOn(client, p));
    for (const char* page : { "1234\rFirst page\r", "5678\rSecond page\r" }) {
        for (int tries = 0;; ++tries) {
            ASSERT_LT(tries, 4) << p.name;
            client.send(block(page));
            const char reply = awaitReply(client);
            ASSERT_NE(reply, '\0') << p.name;
            if (client.await("NO CARRIER", 300)) {
                if (hangUpOnDrop) {
                    rig.advance(100);
                    rig.peerCloses();
                    rig.advance(100);
                    return;
                }
                ASSERT_NO_FATAL_FAILURE(dialAndLogOn(client, p));
            }
            if (reply == '\x06')
                break;
            rig.advance(resendAfterMs);
        }
    }
    ASSERT_NO_FATAL_FAILURE(endCall(rig, client, p));
}

TEST(JudgeCalls, PlannedLineFaultsAccuseNoCarefulClient)
{
    constexpr Profile Classic { "classic", TerminalProfile::Classic, ModemProfile::Classic, false,
                                false };
    constexpr Profile Tap18 { "tap18", TerminalProfile::Tap18, ModemProfile::Classic, false,
                              false };
    struct Case {
        const char* plan;
        Profile profile;
        bool hangUpOnDrop;
        int acks;
        const char* ended;
        std::int64_t resendAfterMs = 0;
    };
    const Case cases[] = {
        { "garble,ack", Classic, false, 3, "eot" },
        { "garble,ack", Classic, false, 3, "eot", 10'000 },
        { "garble,ack", Tap18, false, 3, "eot" },
        { "garble,ack",
          { "tap18 hayes seven-bit", TerminalProfile::Tap18, ModemProfile::Hayes, true, false },
          false,
          3,
          "eot" },
        { "corrupt,ack", Classic, false, 2, "eot" },
        { "corrupt,ack", Tap18, false, 2, "eot" },
        { "drop,ack", Classic, false, 2, "eot" },
        { "drop,ack",
          { "tap18 hayes", TerminalProfile::Tap18, ModemProfile::Hayes, false, false },
          false,
          2,
          "eot" },
        { "ack,drop",
          { "classic hayes", TerminalProfile::Classic, ModemProfile::Hayes, false, false },
          true,
          2,
          "carrier-lost" },
        { "ack,drop", Tap18, true, 2, "carrier-lost" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.plan) + " " + c.profile.name + " resending after "
                     + std::to_string(c.resendAfterMs) + " ms");
        Rig rig;
        VectorRecordSink sink;
        useProfile(rig, sink, c.profile);
        ASSERT_EQ(rig.sim.plan().setBlockPlan(c.plan), "");
        ASSERT_NO_FATAL_FAILURE(carefulCall(rig, c.profile, c.hangUpOnDrop, c.resendAfterMs));
        std::string told;
        for (const FindingRecord& f : sink.findings)
            told += f.rule + " (" + f.text + ") ";
        EXPECT_EQ(told, "");
        ASSERT_EQ(sink.calls.size(), 1U);
        EXPECT_EQ(sink.calls[0].ack, c.acks) << "the terminal's own replies, as it decided them";
        EXPECT_EQ(sink.calls[0].ended, c.ended);
    }
}

TEST(JudgeCalls, ClassicTerminalsOwnWaysDoNotMisleadTheJudge)
{
    Rig rig;
    VectorRecordSink sink;
    rig.sim.addRecordSink(&sink);
    Client client { rig };
    rig.advance(1200);
    rig.connect();
    client.send("ATDT5551234\r");
    ASSERT_TRUE(client.await("CONNECT\r\n"));
    client.send("\r", 300);
    ASSERT_TRUE(client.await("ID="));
    // The block rides in the logon's packet: the classic terminal takes the packet as the logon
    // and never answers the block; the judge reads the stream and sees a block before the
    // go-ahead, and the next block sent before that one was answered.
    client.send("\x1bPG1000000\r" + block("1234\rRiding\r"));
    ASSERT_TRUE(client.await("\x1b[p\r"));
    rig.advance(3000);
    // A byte above 0x7F under a TAP-correct checksum: the classic terminal sums 8-bit values and
    // NAKs it; the judge tells the eight-bit byte, not the checksum.
    client.send(block("1234\rCaf\xe9\r"));
    ASSERT_TRUE(client.await("\x15\r"));
    client.send("\x04\r");
    rig.advance(1000);
    rig.peerCloses();
    rig.advance(100);

    const std::vector<std::string> rules = rulesOf(sink);
    EXPECT_EQ(
        rules,
        (std::vector<std::string> { "block.before-go-ahead", "block.eight-bit", "block.no-wait" }));
    ASSERT_FALSE(sink.findings.empty());
    const FindingRecord& first = sink.findings[0];
    EXPECT_EQ(first.seq, 1);
    EXPECT_EQ(first.call, 1);
    EXPECT_EQ(first.level, "error");
    EXPECT_EQ(first.ref, "TAP 1.8 go-ahead");
    EXPECT_EQ(first.evidence, block("1234\rRiding\r"));
    // The blocks' findings go with the next page recorded; the call counts them by level.
    ASSERT_EQ(sink.pages.size(), 1U);
    EXPECT_EQ(sink.pages[0].reply, "NAK");
    EXPECT_EQ(sink.pages[0].findings, rules);
    ASSERT_EQ(sink.calls.size(), 1U);
    EXPECT_EQ(toJson(sink.calls[0].findings), R"({"error":3,"warning":0,"note":0})");
    EXPECT_EQ(rig.sim.findingTotals().error, 3);

    // Ignored rules are neither recorded nor counted.
    rig.sim.setIgnoredRules({ "block.before-go-ahead", "block.eight-bit", "block.no-wait" });
    sink.findings.clear();
    Client again { rig };
    again.read = rig.sentBytes().size();
    rig.advance(1200);
    rig.connect();
    again.send("ATDT5551234\r");
    ASSERT_TRUE(again.await("CONNECT\r\n"));
    again.send("\r\x1bPG1\r");
    rig.advance(2000);
    rig.peerCloses();
    rig.advance(100);
    EXPECT_EQ(rulesOf(sink), (std::vector<std::string> { "logon.before-id" }));
    EXPECT_EQ(rig.sim.findingTotals().error, 4);
}

} // namespace
} // namespace ostrella::test
