// SPDX-License-Identifier: MIT
#include "engine/HayesCommands.h"
#include "engine/Scenario.h"
#include "link/SevenBit.h"

#include <array>
#include <gtest/gtest.h>
#include <utility>

using namespace ostrella;
using namespace ostrella::test;

namespace {

std::string framed(const std::string& word)
{
    return "\r\n" + word + "\r\n";
}

const std::string HOk = framed("OK");
const std::string HError = framed("ERROR");
const std::string HConnect = framed("CONNECT 2400");
const std::string Block2 = blockWithChecksum("\x02"
                                             "456\rDEF\r\x03");

const HayesModem& modem(Rig& rig)
{
    return rig.sim.lineAt(0).engine.hayesModem();
}

// A client connects to the hayes modem (state MODEM, echo on).
void connectHayes(Rig& rig)
{
    rig.sim.lineAt(0).engine.setModemProfile(ModemProfile::Hayes);
    connectClient(rig);
}

// Sends `text` and returns what the next engine tick wrote.
std::string command(Rig& rig, const std::string& text)
{
    rig.clientSends(text);
    rig.nextEngineTick();
    return rig.takeSent();
}

// Connects with echo off and dials; returns once CONNECT is out (state WAIT CR).
void hayesOnline(Rig& rig, const std::string& dial = "ATDT5551234\r")
{
    connectHayes(rig);
    ASSERT_EQ(command(rig, "ATE0\r"), "ATE0\r" + HOk);
    rig.clientSends(dial);
    ASSERT_GE(advanceUntilSent(rig, 11'000), 0);
    ASSERT_EQ(rig.takeSent(), HConnect);
    ASSERT_EQ(rig.state(), LineState::WAIT_CR);
}

// Online and logged on, one block answered ACK (state STXNO); returns a second after the block
// was sent, the client silent since.
std::int64_t hayesLoggedOn(Rig& rig)
{
    hayesOnline(rig);
    rig.clientSends("\r");
    advanceUntilSent(rig, 5'000);
    rig.clientSends(LogonLine);
    advanceUntilSent(rig, 5'000);
    EXPECT_EQ(rig.takeSent(), IdPrompt + LogonOk);
    const std::int64_t sent = rig.now();
    rig.clientSends(WorkedBlock);
    EXPECT_GE(advanceUntilSent(rig, 900), 0);
    EXPECT_EQ(rig.takeSent(), AckReply);
    EXPECT_EQ(rig.state(), LineState::STXNO);
    rig.advance(sent + 1'000 - rig.now());
    rig.takePet();
    return sent;
}

} // namespace

TEST(HayesCommandLine, TakesALineApartIntoItsCommands)
{
    using hayes::CommandKind;
    using hayes::ExtendedOp;
    const auto chained = hayes::parseCommandLine("e0V1 q0X4&c1S12=25S7?");
    ASSERT_TRUE(chained);
    ASSERT_EQ(chained->size(), 7U);
    EXPECT_EQ((*chained)[0].name, "E");
    EXPECT_EQ((*chained)[0].number, 0U);
    EXPECT_EQ((*chained)[2].name, "Q");
    EXPECT_EQ((*chained)[4].name, "&C");
    EXPECT_EQ((*chained)[5].kind, CommandKind::SetRegister);
    EXPECT_EQ((*chained)[5].number, 12U);
    EXPECT_EQ((*chained)[5].value, 25U);
    EXPECT_EQ((*chained)[6].kind, CommandKind::QueryRegister);

    const auto dial = hayes::parseCommandLine("X3dt 555 1234;E1");
    ASSERT_TRUE(dial);
    ASSERT_EQ(dial->size(), 2U) << "the dial takes the rest of the line";
    EXPECT_EQ((*dial)[1].kind, CommandKind::Dial);
    EXPECT_EQ((*dial)[1].text, "5551234");

    const auto extended = hayes::parseCommandLine("+fclass=?;+FCLASS=1;+FMFR?;+GMI");
    ASSERT_TRUE(extended);
    ASSERT_EQ(extended->size(), 4U);
    EXPECT_EQ((*extended)[0].name, "+FCLASS");
    EXPECT_EQ((*extended)[0].op, ExtendedOp::Test);
    EXPECT_EQ((*extended)[1].op, ExtendedOp::Set);
    EXPECT_EQ((*extended)[1].text, "1");
    EXPECT_EQ((*extended)[2].op, ExtendedOp::Read);
    EXPECT_EQ((*extended)[3].op, ExtendedOp::Action);

    for (const char* bad : { "!", "E0#", "S", "&" }) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(hayes::parseCommandLine(bad));
    }
}

TEST(HayesModem, ClassicIsTheDefaultProfile)
{
    Rig rig;
    EXPECT_EQ(rig.sim.lineAt(0).engine.modemProfile(), ModemProfile::Classic);
    EXPECT_EQ(modemProfileFromName("classic"), ModemProfile::Classic);
    EXPECT_EQ(modemProfileFromName("hayes"), ModemProfile::Hayes);
    EXPECT_FALSE(modemProfileFromName("Hayes"));
    ASSERT_NO_FATAL_FAILURE(connectClient(rig));
    EXPECT_EQ(command(rig, "ATI3\r"), Ok) << "no echo, classic framing, no identification";
}

TEST(HayesModem, ActsOnACommandLineOnlyOnceItsCrHasArrived)
{
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(connectHayes(rig));
    // Each byte is echoed as it arrives; the answer comes with the CR's echo.
    for (const char c : std::string("ATI3")) {
        EXPECT_EQ(command(rig, std::string(1, c)), std::string(1, c));
        EXPECT_EQ(rig.state(), LineState::MODEM);
    }
    EXPECT_EQ(command(rig, "\r"), "\r" + framed("Ostrella Hayes V1.0") + HOk);

    // Several lines in one packet: each answered, in order, in one write.
    rig.clientSends("ATE0\rATS12?\rnoise\rATV0\rATX9\rAT\r");
    rig.nextEngineTick();
    ASSERT_FALSE(rig.socket.sent.empty());
    EXPECT_EQ(rig.socket.sent.back().bytes, "ATE0\r" + HOk + framed("050") + HOk + "0\r4\r0\r");
    EXPECT_EQ(rig.takeSent(), rig.socket.sent.back().bytes);
    EXPECT_EQ(rig.link().gRxString(), "");
    EXPECT_TRUE(rig.petTexts().empty()) << "the modem logs no commands";
}

TEST(HayesModem, AnswersEachCommandAsAHayesModemDoes)
{
    struct Case {
        const char* name;
        std::string setup; // sent with echo off before the command
        std::string command;
        std::string reply;
    };
    const std::string Ident = framed("Ostrella Hayes V1.0");
    const Case cases[] = {
        { "plain AT", "", "AT\r", HOk },
        { "chained settings", "", "ATE0V1Q0X4\r", HOk },
        { "numeric results", "ATV0\r", "AT\r", "0\r" },
        { "numeric error", "ATV0\r", "ATE7\r", "4\r" },
        { "numeric information", "ATV0\r", "ATI0\r", "2400\r\n0\r" },
        { "quiet", "ATQ1\r", "AT\r", "" },
        { "quiet keeps information", "ATQ1\r", "ATI3\r", Ident },
        { "echo back on", "", "ATE1\r", HOk },
        { "reset by ATZ", "ATV0Q1\r", "ATZ\r", HOk },
        { "reset by AT&F", "ATV0\r", "AT&F\r", HOk },
        { "set and read a register", "ATS12=25\r", "ATS12?\r", framed("025") + HOk },
        { "selected register", "ATS7\r", "ATS?\r", framed("050") + HOk },
        { "register out of range", "", "ATS100=1\r", HError },
        { "value out of range", "", "ATS12=256\r", HError },
        { "identification", "", "ATI0I1I2\r", framed("2400") + framed("255") + HOk },
        { "no ATI8", "", "ATI8\r", HError },
        { "fax classes", "", "AT+FCLASS=?\r", framed("0,1") + HOk },
        { "fax class set and read", "AT+FCLASS=1\r", "at+fclass?\r", framed("1") + HOk },
        { "no fax class 2", "", "AT+FCLASS=2\r", HError },
        { "manufacturer", "", "AT+FMFR?;+GMI\r", framed("Ostrella") + framed("Ostrella") + HOk },
        { "model and revision", "", "AT+GMM+GMR\r",
          framed("Ostrella Hayes 2400") + framed("1.0") + HOk },
        { "class 1 rates", "", "AT+FTM=?;+FRM=?\r",
          framed("24,48,72,96") + framed("24,48,72,96") + HOk },
        { "class 1 HDLC rates", "", "AT+FTH=?;+FRH=?\r", framed("3") + framed("3") + HOk },
        { "unknown extended", "", "AT+FOO?\r", HError },
        { "unknown basic", "", "ATA\r", HError },
        { "left to right until an error", "", "ATI3X9I0\r", Ident + HError },
        { "back on line with no call", "", "ATO\r", framed("NO CARRIER") },
        { "repeat the last line", "ATI0\r", "A/", framed("2400") + HOk },
        { "backspace", "", "ATI3\b0\r", framed("2400") + HOk },
        { "text without AT", "", "hello\r\n", "" },
        { "longest line", "", "ATE0" + std::string(253, ' ') + "\r", HOk },
        { "one character too long", "", "ATE0" + std::string(254, ' ') + "\r", HError },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        ASSERT_NO_FATAL_FAILURE(connectHayes(rig));
        ASSERT_EQ(command(rig, "ATE0\r"), "ATE0\r" + HOk);
        if (!c.setup.empty())
            command(rig, c.setup);
        EXPECT_EQ(command(rig, c.command), c.reply);
        EXPECT_EQ(rig.state(), LineState::MODEM);
    }
}

TEST(HayesModem, DialOutcomesKeepTheClassicDelaysAndTheModemStaysInCommandMode)
{
    struct Case {
        const char* name;
        std::string setup;
        std::vector<Box> boxes;
        std::string plan;
        std::string reply;
        std::int64_t delay;
    };
    const Case cases[] = {
        { "connect", "", {}, "", HConnect, 10'000 },
        { "busy", "", { Box::chkBusy }, "", framed("BUSY"), 5'000 },
        { "no carrier", "", { Box::chkNoCarrier }, "", framed("NO CARRIER"), 20'000 },
        { "no dialtone", "", { Box::chkNoDialtone }, "", framed("NO DIALTONE"), 8'000 },
        { "no answer", "", { Box::chkNoAnswer }, "", framed("NO ANSWER"), 40'000 },
        { "first ticked box wins",
          "",
          { Box::chkNoCarrier, Box::chkBusy },
          "",
          framed("BUSY"),
          5'000 },
        { "planned", "", {}, "no-dialtone", framed("NO DIALTONE"), 8'000 },
        { "box before plan", "", { Box::chkBusy }, "no-carrier", framed("BUSY"), 5'000 },
        // What each result level reports; the delay stays the outcome's.
        { "X0 connect", "ATX0\r", {}, "", framed("CONNECT"), 10'000 },
        { "X0 busy", "ATX0\r", { Box::chkBusy }, "", framed("NO CARRIER"), 5'000 },
        { "X1 no dialtone", "ATX1\r", { Box::chkNoDialtone }, "", framed("NO CARRIER"), 8'000 },
        { "X2 no dialtone", "ATX2\r", { Box::chkNoDialtone }, "", framed("NO DIALTONE"), 8'000 },
        { "X2 busy", "ATX2\r", { Box::chkBusy }, "", framed("NO CARRIER"), 5'000 },
        { "X3 busy", "ATX3\r", { Box::chkBusy }, "", framed("BUSY"), 5'000 },
        { "X3 no answer", "ATX3\r", { Box::chkNoAnswer }, "", framed("NO ANSWER"), 40'000 },
        { "X3 no dialtone", "ATX3\r", { Box::chkNoDialtone }, "", framed("NO CARRIER"), 8'000 },
        { "numeric connect", "ATV0\r", {}, "", "10\r", 10'000 },
        { "numeric X0 connect", "ATV0X0\r", {}, "", "1\r", 10'000 },
        { "numeric busy", "ATV0\r", { Box::chkBusy }, "", "7\r", 5'000 },
        { "numeric no answer", "ATV0\r", { Box::chkNoAnswer }, "", "8\r", 40'000 },
        { "quiet", "ATQ1\r", { Box::chkBusy }, "", "", 5'000 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        VectorRecordSink sink;
        rig.sim.addRecordSink(&sink);
        ASSERT_EQ(rig.sim.plan().setDialPlan(c.plan), "");
        for (Box b : c.boxes)
            rig.panel.tick(b);
        ASSERT_NO_FATAL_FAILURE(connectHayes(rig));
        command(rig, "ATE0\r" + c.setup);
        // The dial is taken at its CR, which comes on a tick here.
        rig.clientSends("ATDT555 1234\r");
        const std::int64_t dialled = rig.now();
        EXPECT_EQ(rig.takeSent(), "") << "a dial answers only with its result";
        EXPECT_EQ(rig.state(), LineState::WAITCONNECT);
        // Ticks fall every 500 ms, so one falls exactly on the due time: not yet due.
        rig.advance(c.delay);
        EXPECT_EQ(rig.takeSent(), "");
        rig.advance(500);
        EXPECT_EQ(rig.takeSent(), c.reply);
        if (!c.reply.empty()) {
            EXPECT_EQ(rig.socket.sent.back().at, dialled + c.delay + 500);
        }
        if (c.delay == 10'000) {
            EXPECT_EQ(rig.state(), LineState::WAIT_CR);
        } else {
            EXPECT_EQ(rig.state(), LineState::MODEM);
            EXPECT_EQ(command(rig, "ATV1Q0\r"), HOk) << "still in command mode";
        }
        rig.peerCloses();
        ASSERT_EQ(sink.calls.size(), 1U);
        EXPECT_EQ(sink.calls[0].modem, "hayes");
        ASSERT_EQ(sink.calls[0].dials.size(), 1U);
        EXPECT_EQ(sink.calls[0].dials[0].number, "5551234");
    }
}

TEST(HayesModem, ACharacterAbortsAPendingDial)
{
    Rig rig;
    VectorRecordSink sink;
    rig.sim.addRecordSink(&sink);
    ASSERT_NO_FATAL_FAILURE(connectHayes(rig));
    command(rig, "ATE0\r");
    command(rig, "ATD5551234\r");
    rig.advance(9'037);
    rig.clientSends("x");
    ASSERT_FALSE(rig.socket.sent.empty());
    EXPECT_EQ(rig.socket.sent.back().at, rig.now()) << "at once, between ticks";
    EXPECT_EQ(rig.takeSent(), framed("NO CARRIER"));
    EXPECT_EQ(rig.state(), LineState::MODEM);
    rig.advance(2'000);
    EXPECT_EQ(rig.takeSent(), "") << "the aborted dial says nothing more";
    EXPECT_EQ(command(rig, "AT\r"), HOk);

    // A line feed after the dial's CR does not abort it; ATDP dials as ATDT does.
    rig.clientSends("ATDP5550000\r\n");
    ASSERT_GE(advanceUntilSent(rig, 11'000), 0);
    EXPECT_EQ(rig.takeSent(), HConnect);
    rig.peerCloses();
    ASSERT_EQ(sink.calls.size(), 1U);
    ASSERT_EQ(sink.calls[0].dials.size(), 2U);
    EXPECT_EQ(sink.calls[0].dials[0].outcome, "CONNECT") << "told when dialled";
    EXPECT_EQ(sink.calls[0].dials[1].number, "5550000");
}

TEST(HayesModem, EscapeNeedsTheGuardTimeOfSilenceBeforeAndAfter)
{
    {
        SCOPED_TRACE("silence before of exactly the guard time: no escape, the terminal has it");
        Rig rig;
        hayesLoggedOn(rig);
        rig.clientSends("+++");
        rig.advance(3'000);
        EXPECT_FALSE(modem(rig).callHeld());
        EXPECT_NE(
            std::find(rig.petTexts().begin(), rig.petTexts().end(), "  DP: Rxd bad STX packet +++"),
            rig.petTexts().end());
    }
    {
        SCOPED_TRACE("one ms more: OK once the guard time after has passed, not at it");
        Rig rig;
        hayesLoggedOn(rig);
        rig.advance(1);
        const std::int64_t plus = rig.now();
        rig.clientSends("+++");
        rig.advance(1'000);
        EXPECT_EQ(rig.takeSent(), "");
        EXPECT_EQ(rig.state(), LineState::STXNO);
        const std::int64_t at = advanceUntilSent(rig, 200);
        EXPECT_GT(at, plus + 1'000);
        EXPECT_LE(at, plus + 1'100) << "on the next 100 ms tick";
        EXPECT_EQ(rig.takeSent(), HOk);
        EXPECT_EQ(rig.state(), LineState::MODEM);
        EXPECT_TRUE(modem(rig).callHeld());
        EXPECT_TRUE(rig.takePet().empty()) << "the terminal never saw the escape";
    }
    struct Case {
        const char* name;
        std::vector<std::pair<std::int64_t, std::string>> sends; // ms after the last, bytes
        bool escapes;
    };
    const Case cases[] = {
        { "one at a time, the guard time apart",
          { { 1001, "+" }, { 1000, "+" }, { 1000, "+" } },
          true },
        { "too slow", { { 1001, "++" }, { 1001, "+" } }, false },
        { "a character after it", { { 1001, "+++" }, { 999, "x" } }, false },
        { "a fourth", { { 1001, "++++" } }, false },
        { "data before it", { { 1001, "x+++" } }, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        hayesLoggedOn(rig);
        std::int64_t last = rig.now() - 1'000;
        for (const auto& [after, bytes] : c.sends) {
            rig.advance(last + after - rig.now());
            rig.clientSends(bytes);
            last = rig.now();
        }
        rig.advance(1'500);
        EXPECT_EQ(modem(rig).callHeld(), c.escapes);
    }
}

TEST(HayesModem, HeldCallResumesWithAtoAndEndsWithAth)
{
    Rig rig;
    hayesLoggedOn(rig);
    rig.advance(1);
    command(rig, "+++");
    ASSERT_GE(advanceUntilSent(rig, 1'200), 0);
    ASSERT_EQ(rig.takeSent(), HOk);
    EXPECT_EQ(command(rig, "ATI0\r"), framed("2400") + HOk) << "commands while the call is held";

    // ATO: the terminal goes on where it was, waiting for the next block.
    rig.clientSends("ATO\r" + Block2);
    EXPECT_EQ(rig.takeSent(), HConnect);
    EXPECT_EQ(rig.state(), LineState::STXNO);
    EXPECT_EQ(rig.link().gRxString(), Block2) << "what follows ATO is the terminal's";
    rig.advance(1'000);
    EXPECT_EQ(rig.takeSent(), AckReply);

    // ATH: the terminal's call ends, the modem stays in command mode on the open connection.
    rig.advance(1'001);
    command(rig, "+++");
    ASSERT_GE(advanceUntilSent(rig, 1'200), 0);
    ASSERT_EQ(rig.takeSent(), HOk);
    EXPECT_EQ(command(rig, "ATH\r"), HOk);
    EXPECT_FALSE(modem(rig).callHeld());
    EXPECT_EQ(rig.state(), LineState::MODEM);
    EXPECT_EQ(rig.socket.state(), SocketState::Connected);
    EXPECT_EQ(command(rig, "ATO\r"), framed("NO CARRIER"));
    rig.advance(5'000);
    EXPECT_EQ(rig.state(), LineState::MODEM);
    EXPECT_EQ(rig.takeSent(), "");

    // A held call is not dialled over; EOT hands the line back to command mode.
    hayesOnline(rig);
    rig.advance(1'001);
    command(rig, "+++");
    ASSERT_GE(advanceUntilSent(rig, 1'200), 0);
    EXPECT_EQ(rig.takeSent(), HOk);
    EXPECT_EQ(command(rig, "ATDT5551234\r"), HError);
    EXPECT_EQ(command(rig, "ATO\r"), HConnect);
    EXPECT_EQ(rig.state(), LineState::WAIT_CR);
    rig.clientSends("\x04\r");
    rig.advance(3'000);
    EXPECT_EQ(rig.state(), LineState::MODEM);
    EXPECT_EQ(command(rig, "AT\r"), HOk);
}

TEST(HayesModem, SevenBitDialSwitchesTheLineFromConnectOn)
{
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(hayesOnline(rig, "ATDT125107\r"));
    EXPECT_TRUE(rig.link().gSevenBitActive()) << "CONNECT went out plain, the call is seven-bit";
    EXPECT_TRUE(rig.session().gSevenBitDialled);
    rig.nextEngineTick();
    EXPECT_EQ(rig.takePet(), std::vector<std::string> { "  DP:CONVERT 7 BIT active" });
    rig.clientSends(std::string("\x8d")); // CR with its parity bit
    ASSERT_GE(advanceUntilSent(rig, 5'000), 0);
    EXPECT_EQ(rig.takeSent(), SevenBitEncode(IdPrompt));

    // The modem talks seven-bit while the call is held; after ATH the line is plain again.
    rig.advance(1'001);
    rig.clientSends(SevenBitEncode("+++"));
    ASSERT_GE(advanceUntilSent(rig, 1'200), 0);
    EXPECT_EQ(rig.takeSent(), SevenBitEncode(HOk));
    EXPECT_EQ(command(rig, SevenBitEncode("ATH\r")), SevenBitEncode(HOk));
    EXPECT_FALSE(rig.link().gSevenBitActive());
    EXPECT_EQ(command(rig, "AT\r"), HOk);

    // Only that number: a longer one is a plain call.
    command(rig, "ATDT1251070\r");
    ASSERT_GE(advanceUntilSent(rig, 11'000), 0);
    EXPECT_EQ(rig.takeSent(), HConnect);
    EXPECT_FALSE(rig.link().gSevenBitActive());
}

TEST(HayesModem, BuffersStayBoundedAndEveryLineIsAnsweredInOrder)
{
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(connectHayes(rig));
    command(rig, "ATE0\r");
    // A line that never ends: what is kept stops at the buffer's size, the CR gets ERROR.
    rig.clientSends("AT" + std::string(10'000, 'x'));
    rig.nextEngineTick();
    EXPECT_EQ(modem(rig).pendingLineSize(), hayes::MaxCommandLine);
    EXPECT_EQ(command(rig, "\r"), HError);
    EXPECT_EQ(command(rig, "AT\r"), HOk);

    // Thousands of lines in one packet: answered over several ticks, a bounded write each.
    const int lines = 3'000;
    std::string flood;
    for (int i = 0; i < lines; ++i)
        flood += "AT\r";
    rig.clientSends(flood);
    const std::size_t before = rig.socket.sent.size();
    rig.advance(5'000);
    ASSERT_GT(rig.socket.sent.size(), before + 1);
    for (std::size_t i = before; i < rig.socket.sent.size(); ++i)
        EXPECT_LE(rig.socket.sent[i].bytes.size(), HayesModem::MaxReplyPerTick + HOk.size());
    std::string all;
    for (int i = 0; i < lines; ++i)
        all += HOk;
    EXPECT_EQ(rig.takeSent(), all);
}

TEST(HayesModem, AnswersAsBytesArriveWhereTheClassicModemWaitsForItsTick)
{
    struct Case {
        const char* name;
        ModemProfile profile;
        std::string setup; // answered first, with the tick after it
        std::string send; // 37 ms after that tick
        std::string reply;
        std::int64_t after; // ms from the send to the reply; -1: none
    };
    const std::string Dialling = "ATE0\rATD5551234\r";
    const Case cases[] = {
        { "echo of a line begun", ModemProfile::Hayes, "", "AT", "AT", 0 },
        { "no echo, no line yet", ModemProfile::Hayes, "ATE0\r", "AT", "", -1 },
        { "answer at the CR", ModemProfile::Hayes, "ATE0\r", "AT\r", HOk, 0 },
        { "echo and answer in one write", ModemProfile::Hayes, "", "ATI0\rAT",
          "ATI0\r" + framed("2400") + HOk + "AT", 0 },
        { "numeric", ModemProfile::Hayes, "ATE0V0\r", "ATX9\r", "4\r", 0 },
        { "a character aborts a dial", ModemProfile::Hayes, Dialling, "x", framed("NO CARRIER"),
          0 },
        { "a line feed does not", ModemProfile::Hayes, Dialling, "\n", "", -1 },
        // Due 10 s after the CR, out on the first tick past that.
        { "a dial's result on its tick", ModemProfile::Hayes, "ATE0\r", "ATD5551234\r", HConnect,
          10'463 },
        { "classic: on the next tick", ModemProfile::Classic, "", "AT\r", Ok, 463 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.sim.lineAt(0).engine.setModemProfile(c.profile);
        ASSERT_NO_FATAL_FAILURE(connectClient(rig));
        if (c.setup.empty())
            rig.nextEngineTick();
        else
            command(rig, c.setup);
        rig.advance(37);
        const std::int64_t sentAt = rig.now();
        rig.clientSends(c.send);
        if (c.after != 0) {
            rig.advance(c.after < 0 ? 1'000 : c.after - 1);
            EXPECT_EQ(rig.takeSent(), "");
        }
        if (c.after > 0)
            rig.advance(1);
        if (c.after >= 0) {
            ASSERT_FALSE(rig.socket.sent.empty());
            EXPECT_EQ(rig.socket.sent.back().at, sentAt + c.after);
            EXPECT_EQ(rig.takeSent(), c.reply);
        }
        rig.advance(1'000);
        EXPECT_EQ(rig.takeSent(), "") << "the ticks after add nothing";
        if (c.after < 0)
            continue;
        // Logged as received, then as sent.
        const std::vector<std::string> log = rig.systemTexts();
        const std::string pkt = "Event: <" + rig.socket.peerIp + "> Data Pkt ";
        const auto rxd = std::find(log.begin(), log.end(), pkt + "Rxd <" + c.send + ">");
        ASSERT_NE(rxd, log.end());
        ASSERT_NE(rxd + 1, log.end());
        EXPECT_EQ(*(rxd + 1), pkt + "Txd ----> <" + c.reply + ">");
    }
}

TEST(HayesModem, BytesArrivingDuringItsOwnWriteWaitForTheNextTick)
{
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(connectHayes(rig));
    command(rig, "ATE0\r");
    bool sentMore = false;
    rig.socket.onSend = [&](std::string_view) {
        if (!std::exchange(sentMore, true))
            rig.clientSends("ATI0\r");
    };
    rig.advance(37);
    rig.clientSends("AT\r");
    EXPECT_EQ(rig.takeSent(), HOk) << "written once";
    EXPECT_EQ(rig.link().gRxString(), "ATI0\r");
    rig.nextEngineTick();
    EXPECT_EQ(rig.takeSent(), framed("2400") + HOk);
    EXPECT_EQ(rig.link().gRxString(), "");
}

TEST(HayesModem, ConnectNamesTheLineRate)
{
    struct Case {
        unsigned bps;
        std::string words;
        std::string code;
    };
    const Case cases[] = {
        { 0, "CONNECT 2400", "10" },     { 300, "CONNECT 300", "1" },
        { 1200, "CONNECT 1200", "5" },   { 1201, "CONNECT 1201", "1" },
        { 2400, "CONNECT 2400", "10" },  { 4800, "CONNECT 4800", "11" },
        { 7200, "CONNECT 7200", "1" },   { 9600, "CONNECT 9600", "12" },
        { 14400, "CONNECT 14400", "1" }, { 19200, "CONNECT 19200", "14" },
        { 57600, "CONNECT 57600", "1" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bps);
        Rig rig;
        rig.sim.lineAt(0).engine.setLineRate(c.bps);
        ASSERT_NO_FATAL_FAILURE(connectHayes(rig));
        command(rig, "ATE0\r");
        rig.clientSends("ATDT5551234\r");
        ASSERT_GE(advanceUntilSent(rig, 11'000), 0);
        EXPECT_EQ(rig.takeSent(), framed(c.words));
        const std::vector<std::string> texts = HayesModem::replyTexts(c.bps);
        EXPECT_NE(std::find(texts.begin(), texts.end(), c.words), texts.end());
        // Held and resumed: numeric, then at ATX0.
        const std::array<std::array<std::string, 3>, 2> resumes { {
            { HOk, "ATV0O\r", c.code + "\r" },
            { "0\r", "ATX0O\r", "1\r" },
        } };
        for (const auto& [ok, resume, connect] : resumes) {
            rig.advance(1'001);
            rig.clientSends("+++");
            ASSERT_GE(advanceUntilSent(rig, 1'600), 0);
            EXPECT_EQ(rig.takeSent(), ok);
            rig.clientSends(resume);
            EXPECT_EQ(rig.takeSent(), connect);
            EXPECT_EQ(rig.state(), LineState::WAIT_CR);
        }
    }
    const std::vector<std::string> unset = HayesModem::replyTexts();
    EXPECT_NE(std::find(unset.begin(), unset.end(), "CONNECT 2400"), unset.end());
    EXPECT_EQ(std::find(unset.begin(), unset.end(), "CONNECT 1200"), unset.end());

    // The classic modem names no rate.
    Rig classic;
    classic.sim.lineAt(0).engine.setLineRate(1200);
    ASSERT_NO_FATAL_FAILURE(dialAndConnect(classic));
}
