// SPDX-License-Identifier: MIT
// The tap18 terminal profile: the paging terminal as TAP 1.8 describes it, played after CONNECT
// instead of the classic terminal. It reads the line by its framing (lines, blocks, EOT) straight
// from the receive accumulator rather than by packets cut by silence, so it answers on the next
// engine tick, which runs every 100 ms (or faster, see tickMs) while it is on the line.
//
// Call flow: a CR is answered "ID=" CR; the logon ESC "PG1" [password] CR with "110 1.8" CR, ACK
// CR and the go-ahead ESC "[p" CR; each block with a message-sequence line and ACK, NAK or RS;
// EOT CR with "115" and the disconnect. The disconnect is ESC EOT CR, after which the terminal
// hangs up: the modem says NO CARRIER and is back in its command state, the connection stays
// open (as the cable to a real modem would). A carrier the plan drops after a block's reply ends
// the call the same way, without the disconnect. The call's script (CallScript) may have it
// prompt late, early or never, refuse a logon, hold or lengthen a reply, disconnect at a block and
// end the call oddly after EOT; each scripted act is logged, and the default script changes
// nothing.
#pragma once

#include "engine/CallScript.h"
#include "engine/LineContext.h"
#include "engine/LineSides.h"
#include "engine/Tap18Block.h"
#include "engine/Tap18Codes.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrella {

// The terminal's disconnect message.
inline const std::string Tap18Disconnect = { Esc, Eot, Cr };

// The terminal's timers (ms) and limits, with the protocol's defaults.
struct Tap18Settings {
    // t2: a CR is answered "ID=" within this.
    int t2Ms = 1000;
    // t3: the logon and each block are answered within this; a client may resend a block it got
    // no answer to after it.
    int t3Ms = 10'000;
    // t4: the longest wait for the next block (or EOT) after a reply.
    int t4Ms = 4000;
    // t5: the longest wait for the logon after "ID=".
    int t5Ms = 8000;
    // n3: times "ID=" (or a refused password) is repeated when no proper logon comes.
    int n3 = 3;
    // Checksum failures in a row that end the call with 503.
    int checksumLimit = 3;
    // Pages accepted in one call before the next gets 112 and the disconnect; 0: no limit.
    int maxPages = 0;
    // Message characters (fields 2..N) above which a page gets 517 and RS; 0: no limit.
    int maxMessage = 0;
    // The password the logon must carry; none: any password (or none) is taken.
    std::optional<std::string> password;
};

class Tap18Terminal : public TerminalSide {
public:
    // The fastest the engine timer runs for the terminal.
    static constexpr int MinTickMs = 10;
    // A block that ends in CR without a terminator is taken as it is once nothing has arrived for
    // this long.
    static constexpr std::int64_t QuietMs = 500;
    // The most a transaction spread over several blocks may hold (field bytes plus one for each
    // field); beyond it the page is refused with 513 and RS.
    static constexpr std::size_t MaxTransactionBytes = 4096;
    // A logon-phase line longer than this without a CR is taken as one (bad) line.
    static constexpr std::size_t MaxLogonLine = tap18::MaxBlockLength;
    // A pager ID is 1 to this many digits; any other is answered 510 and RS.
    static constexpr std::size_t MaxPagerIdLength = 16;

    Tap18Terminal(LineContext& line, TerminalEvents& events);
    Tap18Terminal(const Tap18Terminal&) = delete;
    Tap18Terminal& operator=(const Tap18Terminal&) = delete;

    Tap18Settings settings;

    // A client has been put through: nothing of the last call is kept.
    void newCall() override;

    // The modem has sent its dial result: after a CONNECT what came before the carrier is dropped,
    // the engine timer speeds up and the terminal answers the call on the next tick; after a
    // failed dial the line goes back to the modem's command state on the next tick.
    void putThrough(bool carrier) override;
    // The engine tick's work while the tap18 profile is in force for the call, for the state at
    // the start of the tick. WAIT CR after a CONNECT: the terminal answers the call. WAIT CR,
    // PASSWD and STXNO while it is on the line: reads and answers what has arrived, then checks
    // its time-out. True when the tick's work is done; false: the line is not the terminal's
    // (before a call is put through, the classic terminal keeps it).
    bool tick(LineState state) override;

    // The terminal has answered the call and not hung up yet.
    bool onLine() const { return onLine_; }
    // Bytes held of the transaction in progress (field bytes plus one for each field).
    std::size_t transactionBytes() const { return transactionBytes_; }
    // The engine timer's interval while the terminal is on the line: 100 ms, or t2 or t3 when
    // shorter (at least MinTickMs).
    int tickMs() const;
    // The client has hung up: a hang-up the script has the terminal wait for (no logon while
    // "ID=" is held back, silence after EOT) is called off.
    void clientGone() override;
    void callCut() override;

private:
    enum class Dial { None, Connected, Failed };

    void carrierUp();

    // Logon side (Tap18Terminal.cpp).
    void answerCall();
    void tickLogon(LineState state);
    void onLogonLine(const std::string& line, LineState state);
    void logon(std::string_view line);
    void prompt(std::string_view logLine = "  DP: Returning IDentify");
    // No proper logon: "ID=" again (509 and NAK for a password), or after n3 of them `code` and
    // the disconnect.
    void retry(Tap18Code code);
    std::optional<std::string> takeLine();
    void closing();
    void disconnect(Tap18Code code);
    void hangUp();
    // On the line and still reading it (not gone silent after EOT).
    bool reading() const { return onLine_ && !scripted_.eotSilent; }

    // The call's script (Tap18Script.cpp).
    const CallScript& script() const { return line_.script(); }
    // t4 for the call: the script's, else the setting.
    int t4Ms() const { return script().t4Ms.value_or(settings.t4Ms); }
    // The call answered: the script's unasked "ID=", and its silent hang-up armed when "ID=" waits
    // for another CR than the first.
    void scriptAnswer();
    // A CR line in WAIT CR: true when it is the one "ID=" answers; one it ignores is logged.
    bool idDueOnCr();
    // No logon came before the WAIT CR deadline: "ID=" unasked, or, when the script holds "ID="
    // back, the hang-up without the disconnect.
    void waitCrTimedOut();
    // True when the script answered the logon itself (NAK for the first, or the refusal).
    bool scriptedLogon();
    // The call's first block is held in the receive accumulator until firstReplyDelayMs after the
    // tick that found it complete: true while it is held.
    bool holdsFirstBlock(tap18::FrameKind kind);
    // The call's disconnectAtBlock'th block (`index` 0 first): recorded with no reply, answered
    // with the script's code line and the disconnect. True when it was that block.
    bool scriptDisconnects(std::size_t index, const std::string& read,
                           const tap18::DecodedTap18Block& block);
    // 211 and ACK; for the call's first ACKed page under longReply, a longer message sequence.
    void answerPageSent();
    // The page limit in force: the script's, else the setting.
    int pageLimit() const;
    // After EOT: true when the script ends the call its own way (silence, or RS and disconnect).
    bool scriptedClosing();
    // A tick while silent after EOT: what arrives is dropped; the hang-up once due.
    void tickSilent();
    // The script's hang-up without the disconnect, unless the client has gone.
    void silentHangUp(std::string_view why);

    // Block side (Tap18Blocks.cpp).
    void tickBlocks();
    void onItem(tap18::FrameKind kind, const std::string& item);
    // A block as it came: the fault policy asked, the plan's fault of the line played around
    // the answer.
    void onBlock(tap18::FrameKind kind, const std::string& frame);
    // What a ticked fault box or the fault plan decides for the block.
    BlockDecision decide(const tap18::DecodedTap18Block& block, std::size_t index) const;
    // The block as the terminal reads it, answered: the directed reply, else its own rules.
    void answerBlock(tap18::FrameKind kind, const tap18::DecodedTap18Block& block,
                     const std::optional<DirectedReply>& directed);
    void takeBlock(const tap18::DecodedTap18Block& block, ReplyReason reason);
    void answer(Tap18Code code, char control);
    // A block's reply (ending in its control and CR), garbled when the plan says so.
    void sendReply(std::string reply);
    void record(std::vector<std::string> fields, const tap18::DecodedTap18Block* block,
                BlockReply reply, ReplyReason reason, Tap18Code code);
    void clearTransaction();

    void send(const std::string& bytes);
    void logPet(std::string text);
    std::int64_t now() const;

    LineContext& line_;
    TerminalEvents& events_;
    Dial dial_ = Dial::None;
    bool onLine_ = false;
    // The time-out in force: strictly after it the terminal acts.
    std::int64_t deadline_ = 0;
    // "ID=" repeats and refused passwords in this logon.
    int tries_ = 0;
    int checksumFailures_ = 0;
    // Pages accepted in this call.
    int pages_ = 0;
    // What follows an overlong item, up to the next STX or EOT, is dropped.
    bool skipping_ = false;
    // The receive accumulator's size after the last tick, and when it last grew.
    std::size_t lastRxSize_ = 0;
    std::int64_t lastRxChange_ = 0;
    // The transaction in progress: its fields so far, the last one still open after US.
    std::vector<std::string> fields_;
    bool fieldOpen_ = false;
    std::size_t transactionBytes_ = 0;
    // The plan's fault of the line for the block being answered.
    LineFault fault_ = LineFault::None;

    // Where the call stands in its script.
    struct ScriptState {
        // CR lines read in WAIT CR since the terminal answered.
        int crs = 0;
        bool logonSeen = false;
        bool longReplySent = false;
        // When the tick found the call's first block complete, while it is held.
        std::optional<std::int64_t> heldSince;
        // Silent after EOT, and when the terminal hangs up.
        bool eotSilent = false;
        std::int64_t silentHangUpAt = 0;
        bool clientGone = false;
    };
    ScriptState scripted_;
};

} // namespace ostrella
