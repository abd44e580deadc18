// SPDX-License-Identifier: MIT
// The hayes modem profile: a Hayes-compatible modem in front of the terminal. It echoes what
// arrives and answers a command line the moment its CR arrives, in words or digits; it keeps
// S-registers, answers the identification and fax-class queries modem set-up code sends, and
// goes back to command mode on "+++" framed by guard times. Dial outcomes and their delays are the
// fault policy's, as for the classic modem; the call's script may have the call's first dial get
// no result at all (CallScript::firstDialSilent). It reads and consumes what the client sent only
// through the line link: in command mode, and while a dial is pending, as the bytes arrive; on the
// engine's ticks it reports a dial's result once due, recognises the escape once its guard time
// after has passed, and answers what a write's bound left over.
//
// Deliberate departures from a real modem:
// - the escape sequence is not passed on to the terminal, and whatever the terminal had not yet
//   taken when the escape is recognised is dropped with it;
// - when the terminal hands the line back (EOT) the modem is in command mode at once and says
//   nothing, where a real one would say NO CARRIER once the far end dropped the carrier;
// - S3, S4 and S5 are kept and reported, but lines always end at CR, results are always framed
//   with CR LF and BS always takes a character back; S6, S7 and S8 do not change the dial's
//   delays; only S2 (the escape character) and S12 (the guard time) act;
// - a dial of a held call (after "+++") is refused with ERROR rather than hanging it up first;
// - each new connection finds the modem as after ATZ, like a modem switched on for the call.
#pragma once

#include "engine/HayesCommands.h"
#include "engine/LineContext.h"
#include "engine/LineSides.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ostrella {

// Result codes with their numbers (ATV0).
enum class HayesResult {
    Ok = 0,
    Connect = 1,
    Ring = 2,
    NoCarrier = 3,
    Error = 4,
    NoDialtone = 6,
    Busy = 7,
    NoAnswer = 8,
};

// The result's words (ATV1): "OK", "CONNECT"...
std::string_view resultWord(HayesResult result);

class HayesModem : public ModemSide {
public:
    // The S-registers S0 to S99, each 0 to 255.
    static constexpr std::size_t RegisterCount = 100;
    static constexpr std::size_t EscapeCharRegister = 2;
    static constexpr std::size_t GuardTimeRegister = 12;
    // A pass over the input (on an arrival, or a tick) stops taking it once it has this much to
    // write; what is left is answered on the next ticks (or arrivals), in order.
    static constexpr std::size_t MaxReplyPerTick = 4096;
    // The most one command line can bring: its echo, and a framed text of at most 64 bytes for
    // each of its commands (two characters at least each). One write is at most
    // MaxReplyPerTick + MaxLineReply.
    static constexpr std::size_t MaxLineReply
        = hayes::MaxCommandLine + 3 + (hayes::MaxCommandLine / 2 + 1) * 64;
    // The data rate CONNECT names (ATX1 and up) while the line's rate is not set.
    static constexpr unsigned ConnectRate = 2400;
    // Dialling exactly this number switches the line to seven-bit even parity from CONNECT on.
    static constexpr std::string_view SevenBitNumber = ostrella::SevenBitNumber;

    // Command: answering commands (a call may be held after "+++"); Dialling: a dial's result is
    // pending; Online: the line belongs to the terminal.
    enum class Mode { Command, Dialling, Online };

    HayesModem(LineContext& line, ModemEvents& events);

    // A new connection: factory settings (as after ATZ), command mode, no call held, no dial made.
    void reset();
    void newCall() override { reset(); }

    // Bytes from the client have arrived (seven-bit stripped where the line is). In MODEM the
    // modem echoes them and answers every complete command line at once; in WAITCONNECT a
    // character aborts the dial at once (NO CARRIER); online, the escape sequence is timed from
    // them.
    void dataArrived(std::string_view bytes) override;

    // The modem's part of one engine tick. True when the modem did this tick's work: in MODEM it
    // answers what is left of the input (echo first); in WAITCONNECT the same, and the dial's
    // result goes out once due (a CONNECT puts the call through to the terminal); online, a
    // recognised escape holds the call and answers OK, and while an escape may still be under way
    // the terminal is held back. False when the terminal's state should do its work as usual.
    bool tick(LineState state) override;
    // The terminal has hung up: NO CARRIER (in the framing in force) and command mode.
    void carrierLost() override;
    // Online, or a call held after "+++"; AT&C and AT&D as set; under AT&D1 a drop of DTR holds
    // the call as the escape does, and says OK.
    bool holdsCarrier() const override { return mode_ == Mode::Online || callHeld_; }
    unsigned dcdMode() const override { return settings_.dcd; }
    unsigned dtrMode() const override { return settings_.dtr; }
    void dtrCommandMode() override;

    Mode mode() const { return mode_; }
    // A call is held in command mode ("+++"): ATO resumes it, ATH ends it.
    bool callHeld() const { return callHeld_; }
    bool echo() const { return settings_.echo; }
    unsigned registerValue(std::size_t n) const { return settings_.registers.at(n); }
    // The command line being collected; never longer than hayes::MaxCommandLine.
    std::size_t pendingLineSize() const { return assembler_.line().size(); }

    // Every text the modem writes on a line of `lineRate` bit/s (0: not set), unframed: result
    // words, information texts and register values (000 to 255).
    static std::vector<std::string> replyTexts(unsigned lineRate = 0);

    // What CONNECT names at ATX1 and up on a line of `lineRate` bit/s: that rate, or ConnectRate
    // while it is not set (0). Its words ("CONNECT 1200"), and its number under ATV0: the Hayes
    // code of a standard rate (1 for 300, 5 for 1200, 10 for 2400, 11 for 4800, 12 for 9600, 14
    // for 19200), and for any other rate 1, the plain CONNECT, so that a number never names a
    // rate the line does not run at.
    static unsigned connectRate(unsigned lineRate)
    {
        return lineRate != 0 ? lineRate : ConnectRate;
    }
    static std::string connectWord(unsigned lineRate);
    static unsigned connectCode(unsigned lineRate);

private:
    enum class Step { Next, Fail, Done };

    struct Settings {
        Settings();
        bool echo = true;
        bool verbose = true;
        bool quiet = false;
        // ATX: 0 plain CONNECT; 1 CONNECT with its rate; 2 and 4 report NO DIALTONE; 3 and 4
        // report BUSY and NO ANSWER (below that both are NO CARRIER, as blind dialling gives).
        unsigned level = 4;
        unsigned faxClass = 0;
        // AT&C and AT&D.
        unsigned dcd = 1;
        unsigned dtr = 2;
        std::size_t currentRegister = 0;
        std::array<unsigned, RegisterCount> registers {};
    };

    void noteArrival(std::string_view bytes);
    void enterCommandMode();
    void takeInput();
    void takeByte(char c);
    void runLine(const std::string& body, bool overflowed);
    Step execute(const hayes::Command& c);
    Step executeBasic(const hayes::Command& c);
    Step executeExtended(const hayes::Command& c);
    Step dial(const hayes::Command& c);
    Step goOnline();
    void finishDial();
    void abortDial();
    void escape();
    bool escapeDue(std::int64_t now) const;
    bool escapeMayBeUnderWay(std::int64_t now) const;
    std::int64_t guardMs() const;
    void result(HayesResult r);
    // CONNECT as the result level and the line's rate have it.
    void connected();
    void frame(std::string_view word, unsigned code);
    void info(std::string_view text);
    void flush();

    LineContext& line_;
    ModemEvents& events_;

    Settings settings_;
    hayes::LineAssembler assembler_;
    std::string lastLine_;
    Mode mode_ = Mode::Command;
    bool callHeld_ = false;
    // The terminal's state when the call was held.
    LineState heldState_ = LineState::IDLE;
    // Dials since the call began (the script's silent dial is the first).
    int dials_ = 0;
    DialOutcome dialOutcome_ = DialOutcome::Connect;
    bool dialSevenBit_ = false;
    std::int64_t dialDue_ = 0;
    // When the last byte arrived, and how many escape characters of a possible escape followed
    // a guard time of silence.
    std::int64_t lastRxMs_ = 0;
    int escapeCount_ = 0;
    // This pass's output, and whether the line goes back to eight bits once it is sent.
    std::string out_;
    bool plainAfterFlush_ = false;
    // The output is being written: bytes arriving meanwhile (from inside the write) are left in
    // the link for the next arrival or tick.
    bool writing_ = false;
};

} // namespace ostrella
