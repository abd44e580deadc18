// SPDX-License-Identifier: MIT
// One call as the judge follows it: the modem dialogue, the logon, the blocks and the end, read
// byte by byte from both directions. CallJudge.cpp follows the call's course, the modem and the
// logon; JudgeBlocks.cpp the blocks and the terminal's replies to them.
#pragma once

#include "judge/Finding.h"
#include "judge/Judge.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrella {

// TAP's timers and counters as the client is judged against them, in ms, and the limits of what
// the judge keeps of one call.
namespace tap {
inline constexpr std::int64_t T1Fast = 1000; // a CR repeated sooner is fast (t1 is 2 s)
inline constexpr std::int64_t T3 = 10'000;
inline constexpr std::int64_t T3Tolerance = 500;
inline constexpr std::int64_t T4 = 4000;
inline constexpr std::int64_t NoCrAfterConnect = 3000;
inline constexpr std::int64_t AtCommandCr = 1000;
inline constexpr std::int64_t EotCrWait = 2000;
inline constexpr int N1 = 3;
inline constexpr int NakResends = 3;
inline constexpr std::size_t MaxBlock = 256;
inline constexpr std::size_t MaxInfo = 250;
} // namespace tap

class CallJudge {
public:
    static constexpr std::size_t KeptBlockBytes = 2048;
    static constexpr std::size_t KeptLogonBytes = 64;
    static constexpr std::size_t KeptCommandBytes = 256;
    static constexpr std::size_t KeptBlocks = 64;

    struct Setup {
        FindingEvents* events;
        JudgeRun& run;
        const std::function<bool()>& closesAfterEot;
        bool tap18;
        long call;
    };
    explicit CallJudge(const Setup& setup);

    // The call's terminal was chosen again before the call was put through to it.
    void setTap18(bool tap18) { tap18_ = tap18; }
    void dialStarted(std::int64_t now, bool sevenBit);
    void dialEnded(std::int64_t now, bool carrier);
    void terminalHungUp() { terminalHungUp_ = true; }
    void poll(std::int64_t now);
    void callEnded(std::int64_t now, bool byClient);
    void received(std::int64_t now, std::string_view bytes);
    void sent(std::int64_t now, std::string_view bytes);

private:
    enum class Phase { Command, Dialling, Terminal };

    // A block as it comes: from its STX up to the CR after its checksum.
    struct Block {
        std::int64_t stxAt = 0;
        std::int64_t endAt = 0;
        // What was read of it (seven-bit values where the line has them), up to KeptBlockBytes,
        // and how long it was in all.
        std::string bytes;
        std::size_t length = 0;
        // Where its terminator is in `bytes` (0: none yet), and the checksum characters after it.
        std::size_t terminatorAt = 0;
        std::string checksum;
        bool crAfterChecksum = false;
        bool subPending = false;
        std::string unescaped; // the raw controls seen in fields
        std::string badEscapes;
        bool eightBit = false;
        bool beforeGoAhead = false;
        bool afterDisconnect = false;
        // STX through the terminator: what makes two blocks the same block.
        std::string_view content() const
        {
            return std::string_view(bytes).substr(0, terminatorAt > 0 ? terminatorAt + 1 : 0);
        }
        char terminator() const { return terminatorAt > 0 ? bytes[terminatorAt] : '\0'; }
    };

    // A reply of the terminal, as it went out. Unreadable: a control the client cannot take for
    // any reply (as a bit flipped on the line makes of one).
    enum class Reply { None, Accepted, Again, Refused, Disconnect, Unreadable };

    void emit(std::string_view rule, std::int64_t at, std::string text, std::string evidence = {},
              bool aboutBlock = false);
    void emit(std::string_view rule, FindingLevel level, std::int64_t at, std::string text,
              std::string evidence, bool aboutBlock);

    // --- the modem dialogue and the logon (CallJudge.cpp) ---
    void commandByte(std::int64_t now, char c);
    void terminalByte(std::int64_t now, char c);
    void logonByte(std::int64_t now, char c);
    void logonEnded(std::int64_t now, std::string_view why);
    void eotEnded(bool withCr);
    // The byte as the rules read it: bit 7 taken off on a seven-bit line, or where the client's
    // bytes carry a parity bit on an eight-bit one (told once).
    char framed(std::int64_t now, unsigned char raw);
    void sentByte(std::int64_t now, char c);

    // --- the blocks (JudgeBlocks.cpp) ---
    void startBlock(std::int64_t now);
    // False when the byte ended the block without belonging to it (to be read again).
    bool blockByte(std::int64_t now, char c);
    // The block in progress is over (complete or cut short by `why`): every rule on it.
    void blockEnded(std::int64_t now, std::string_view why);
    void judgeContent(const Block& block, std::string_view why);
    void judgeChecksum(const Block& block);
    // The client's turn after the last block (`block`: the next one; nullptr: EOT), at `at`.
    void judgeTurn(std::int64_t at, const Block* block);
    void replied(std::int64_t now, Reply reply);
    void transactionAcked(const Block& block, std::int64_t now);
    bool sameAsRefused(std::string_view content) const;

    FindingEvents* events_;
    JudgeRun& run_;
    const std::function<bool()>& closesAfterEot_;
    bool tap18_;
    long call_;

    Phase phase_ = Phase::Command;
    bool sevenBitDial_ = false;
    bool sevenBit_ = false;

    // The modem dialogue.
    std::string command_;
    std::int64_t commandAt_ = -1; // the 'A' of an AT command waiting for its CR
    bool commandFlagged_ = false;
    bool dialDataFlagged_ = false;
    int pluses_ = 0;
    // Pieces received so far, and the one the logon's CR came in.
    long piece_ = 0;
    long logonPiece_ = -1;

    // Parity on an eight-bit line.
    bool evenSoFar_ = true;
    bool oddSoFar_ = true;
    bool parityTold_ = false;
    bool stripParity_ = false;

    // The logon.
    std::int64_t connectAt_ = 0;
    bool heardSinceConnect_ = false;
    bool noCrTold_ = false;
    bool idSent_ = false;
    int crsBeforeId_ = 0;
    std::int64_t lastCrAt_ = -1;
    bool crFastTold_ = false;
    bool crManyTold_ = false;
    bool inLogon_ = false;
    std::int64_t logonAt_ = 0;
    std::string logon_;
    bool logonAwaitsReply_ = false;
    bool logonTailTold_ = false;
    bool loggedOn_ = false;
    bool goAhead_ = false;

    // What the terminal sent, as far as the rules read it.
    // The last three bytes sent, oldest first.
    std::array<char, 3> sentTail_ {};
    bool sentEsc_ = false;
    bool terminalClosed_ = false;
    bool terminalHungUp_ = false;
    bool afterDisconnectTold_ = false;

    // The blocks.
    bool inBlock_ = false;
    Block block_;
    bool havePrevious_ = false;
    Block previous_;
    Reply previousReply_ = Reply::None;
    std::int64_t lastReplyAt_ = -1;
    std::string nakedContent_;
    int nakCount_ = 0;
    bool nakLimitTold_ = false;
    std::vector<std::string> refused_;
    std::vector<std::string> nakedNeverResent_;
    // The fields of the transaction so far (complete ones, and the last while it continues).
    std::vector<std::string> transaction_;
    bool fieldContinues_ = false;

    // The end.
    bool eotReceived_ = false;
    bool eotAwaitsCr_ = false;
    std::int64_t eotAt_ = 0;
    bool closingExpected_ = false;
};

} // namespace ostrella
