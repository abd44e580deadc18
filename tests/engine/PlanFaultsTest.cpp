// SPDX-License-Identifier: MIT
// The plan's faults of the line (garble, corrupt, drop) in virtual time, for both terminal
// profiles and both modem profiles: the bytes on the line, the log lines, what the call report
// hears and the records.
#include "engine/Tap18Scenario.h"
#include "link/SevenBit.h"

#include <algorithm>
#include <cstddef>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace ostrella;
using namespace ostrella::test;

namespace {

const std::string Ip = "Event: <127.0.0.1> ";
const std::string HayesNoCarrier = "\r\nNO CARRIER\r\n";
// The worked block as the plan's corrupt has the terminal read it: '1' (0x31) read as '0'.
const std::string CorruptedBlock = "\x02"
                                   "023\rABC\r\x03"
                                   "17;\r";

// Tells the line's records everything, and keeps what the plan's faults tell.
struct ReportSpy : CallReport {
    explicit ReportSpy(CallReport& records)
        : next(records)
    {
    }
    void dialled(std::string_view number, DialOutcome outcome, bool sevenBit) override
    {
        next.dialled(number, outcome, sevenBit);
    }
    void loggedOn() override { next.loggedOn(); }
    void blockAnswered(std::string_view packet, BlockReply reply, ReplyReason reason) override
    {
        next.blockAnswered(packet, reply, reason);
    }
    void pageAnswered(const TakenPage& page, BlockReply reply, ReplyReason reason) override
    {
        next.pageAnswered(page, reply, reason);
    }
    void eotReceived() override { next.eotReceived(); }
    void dialEnded(bool carrier) override { next.dialEnded(carrier); }
    void terminalHungUp() override
    {
        told.emplace_back("hung up");
        next.terminalHungUp();
    }
    void lineChanged(bool inbound, char before, char after) override
    {
        told.push_back(std::string(inbound ? "in " : "out ") + before + after);
        next.lineChanged(inbound, before, after);
    }
    void carrierDropped() override
    {
        told.emplace_back("dropped");
        next.carrierDropped();
    }

    CallReport& next;
    std::vector<std::string> told;
};

struct Profiles {
    TerminalProfile terminal;
    ModemProfile modem;
    bool sevenBit;
};

// Dials, answers ID= and logs on with the line's profiles; returns with the go-ahead sent.
void logOnWith(Tap18Rig& rig, const Profiles& line)
{
    rig.sim.setTerminal(line.terminal);
    rig.sim.setModemProfile(line.modem);
    rig.advance(1200);
    rig.connect();
    rig.clientSends(line.sevenBit ? "ATDT125107\r" : "ATDT5551234\r");
    rig.advance(11'000);
    ASSERT_NE(rig.takeSent().find("CONNECT"), std::string::npos);
    const auto send = [&](const std::string& text) {
        rig.clientSends(line.sevenBit ? SevenBitEncode(text) : text);
        rig.advance(2'000);
        return SevenBitStrip(rig.takeSent());
    };
    // CR until ID= (the classic terminal reads seven bits only from its first pass through IDLE).
    bool prompted = false;
    for (int tries = 0; tries < 3 && !prompted; ++tries)
        prompted = send("\r").find("ID=") != std::string::npos;
    ASSERT_TRUE(prompted);
    ASSERT_NE(send(LogonLine).find("\x1b[p\r"), std::string::npos);
    ASSERT_EQ(rig.state(), LineState::STXNO);
    rig.takePet();
}

// The system log's lines from the plan's first one on.
std::vector<std::string> fromPlanLine(const std::vector<std::string>& texts)
{
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (texts[i].starts_with(Ip + "Plan "))
            return { texts.begin() + static_cast<std::ptrdiff_t>(i), texts.end() };
    }
    return {};
}

} // namespace

TEST(PlanFaults, EachWordInEachProfile)
{
    constexpr Profiles Classic { TerminalProfile::Classic, ModemProfile::Classic, false };
    constexpr Profiles Classic7 { TerminalProfile::Classic, ModemProfile::Classic, true };
    constexpr Profiles ClassicHayes { TerminalProfile::Classic, ModemProfile::Hayes, false };
    constexpr Profiles Tap18 { TerminalProfile::Tap18, ModemProfile::Classic, false };
    constexpr Profiles Tap18Hayes { TerminalProfile::Tap18, ModemProfile::Hayes, false };
    constexpr Profiles Tap18Hayes7 { TerminalProfile::Tap18, ModemProfile::Hayes, true };
    const std::string badPager = tap18Block("12a\rABC\r");
    const std::string etbBlock = tap18Block("123\rABC\r", '\x17');
    const std::string sent211 = codeLine(Tap18Code::PageSent);
    struct Case {
        const char* name;
        Profiles line;
        const char* word;
        std::string block;
        // The terminal's reply as sent (before framing), and what follows it (plain).
        std::string reply;
        std::string after;
        // The page record's reply and reason ("" for none yet).
        const char* recorded;
    };
    const Case cases[] = {
        { "classic garble", Classic, "garble", WorkedBlock, "\x07\r", "", "ACK good" },
        { "classic garble seven-bit", Classic7, "garble", WorkedBlock, "\x07\r", "", "ACK good" },
        { "classic garble of NAK", Classic, "garble", CorruptedBlock, "\x14\r", "",
          "NAK bad-checksum" },
        { "classic corrupt", Classic, "corrupt", WorkedBlock, NakReply, "", "NAK bad-checksum" },
        { "classic drop", Classic, "drop", WorkedBlock, AckReply, NoCarrier, "ACK good" },
        { "classic drop hayes", ClassicHayes, "drop", WorkedBlock, AckReply, HayesNoCarrier,
          "ACK good" },
        { "tap18 garble", Tap18, "garble", WorkedBlock, sent211 + "\x07\r", "", "ACK good" },
        { "tap18 garble hayes seven-bit", Tap18Hayes7, "garble", WorkedBlock, sent211 + "\x07\r",
          "", "ACK good" },
        { "tap18 garble of RS", Tap18, "garble", badPager,
          codeLine(Tap18Code::IllegalPagerId) + "\x1f\r", "", "RS pager-rule" },
        // The transaction its ACKed block began is cut off by the hang-up: an incomplete page.
        { "tap18 garble of a bare ACK", Tap18, "garble", etbBlock, "\x07\r", "",
          "none incomplete" },
        { "tap18 corrupt", Tap18, "corrupt", WorkedBlock, Nak514, "", "NAK bad-checksum" },
        { "tap18 drop", Tap18, "drop", WorkedBlock, Sent211, NoCarrier, "ACK good" },
        { "tap18 drop hayes", Tap18Hayes, "drop", WorkedBlock, Sent211, HayesNoCarrier,
          "ACK good" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string word = c.word;
        // What each word changes, logs and tells: garble the reply's control, corrupt the
        // worked block's '1' (0x31) read as '0' (0x30).
        const char control = c.reply[c.reply.size() - 2];
        const std::string flipped { static_cast<char>(control ^ 1), control };
        std::string planLine = "Plan drop, carrier lost";
        std::vector<std::string> told { "dropped", "hung up" };
        if (word == "garble") {
            planLine
                = "Plan garble Txd <" + flipped.substr(0, 1) + "> -> <" + flipped.substr(1) + ">";
            told = { "out " + flipped };
        } else if (word == "corrupt") {
            planLine = "Plan corrupt Rxd <1> -> <0>";
            told = { "in 10" };
        }
        const std::string read = word == "corrupt" ? CorruptedBlock : c.block;

        Tap18Rig rig;
        ReportSpy spy(rig.line().calls);
        rig.line().engine.setCallReport(&spy);
        ASSERT_EQ(rig.sim.plan().setBlockPlan(word + ",ack"), "");
        ASSERT_NO_FATAL_FAILURE(logOnWith(rig, c.line));
        const std::size_t logged = rig.systemTexts().size();
        const auto framed = [&](const std::string& bytes) {
            return c.line.sevenBit ? SevenBitEncode(bytes) : bytes;
        };

        rig.clientSends(framed(c.block));
        rig.advance(2'000);
        EXPECT_EQ(rig.takeSent(), framed(c.reply) + c.after) << "in the framing in force";
        const std::vector<std::string> pet = rig.takePet();
        ASSERT_FALSE(pet.empty());
        EXPECT_EQ(pet[0], "  DP: Rxd STX pkt:" + read) << "the block as the terminal reads it";
        const std::vector<std::string> all = rig.systemTexts();
        const std::vector<std::string> sys
            = fromPlanLine({ all.begin() + static_cast<std::ptrdiff_t>(logged), all.end() });
        ASSERT_GE(sys.size(), 2U);
        EXPECT_EQ(sys[0], Ip + planLine);
        EXPECT_EQ(sys[1],
                  Ip + "Data Pkt Txd ----> <" + (c.after.empty() ? c.reply : c.after) + ">");
        EXPECT_EQ(spy.told, told);
        const bool dropped = word == "drop";
        EXPECT_EQ(rig.state(), dropped ? LineState::MODEM : LineState::STXNO);

        // The terminal goes on as if the line had carried everything true: the block sent again
        // is answered by the plan's next word; after the drop the modem answers.
        rig.clientSends(framed(dropped ? "AT\r" : c.block));
        rig.advance(2'000);
        const std::string next = SevenBitStrip(rig.takeSent());
        EXPECT_NE(next.find(dropped ? "OK\r\n" : "\x06\r"), std::string::npos) << next;
        rig.peerCloses();
        rig.advance(100);

        ASSERT_EQ(rig.sink.calls.size(), 1U);
        EXPECT_EQ(rig.sink.calls[0].ended, dropped ? "carrier-lost" : "hangup");
        const std::string recorded = rig.sink.pages.empty()
            ? std::string()
            : rig.sink.pages[0].reply + " " + rig.sink.pages[0].reason;
        EXPECT_EQ(recorded, c.recorded) << "the terminal's own reply";
    }
}

TEST(PlanFaults, BoxesAndTheTerminalsOwnHangUpComeFirst)
{
    {
        // A ticked box wins: the plain NAK, nothing changed, nothing logged of the plan.
        Tap18Rig rig;
        ASSERT_EQ(rig.sim.plan().setBlockPlan("garble"), "");
        rig.panel.tick(Box::chkNAK);
        ASSERT_NO_FATAL_FAILURE(
            logOnWith(rig, { TerminalProfile::Classic, ModemProfile::Classic, false }));
        EXPECT_EQ(answerTo(rig, WorkedBlock), NakReply);
        EXPECT_TRUE(fromPlanLine(rig.systemTexts()).empty());
    }
    {
        // The tap18 terminal's third bad checksum ends the call with 503: no reply to drop after,
        // one NO CARRIER.
        Tap18Rig rig;
        Tap18Settings settings;
        settings.checksumLimit = 1;
        rig.sim.setTap18Settings(settings);
        ASSERT_EQ(rig.sim.plan().setBlockPlan("drop"), "");
        ASSERT_NO_FATAL_FAILURE(
            logOnWith(rig, { TerminalProfile::Tap18, ModemProfile::Classic, false }));
        EXPECT_EQ(tap18Answer(rig, CorruptedBlock),
                  codeLine(Tap18Code::ChecksumErrors) + Disconnect + NoCarrier);
        EXPECT_TRUE(fromPlanLine(rig.systemTexts()).empty());
    }
}

TEST(PlanFaults, ALineOfABankLogsWithItsNumber)
{
    BankRig bank(2);
    ASSERT_EQ(bank.sim.plan().setPager("123=drop"), "");
    bank.advance(1200);
    bank.connect();
    bank.connect();
    EXPECT_NE(bank.exchange(1, "ATDT5551234\r", 11'000).find("CONNECT"), std::string::npos);
    (void)bank.exchange(1, "\r", 2'000);
    (void)bank.exchange(1, LogonLine, 2'000);
    EXPECT_EQ(bank.exchange(1, WorkedBlock, 2'000), AckReply + NoCarrier);
    const std::vector<std::string> sys = bank.systemTexts();
    EXPECT_NE(std::find(sys.begin(), sys.end(), "L2 " + Ip + "Plan drop, carrier lost"), sys.end());
}
