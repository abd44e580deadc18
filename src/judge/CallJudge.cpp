// SPDX-License-Identifier: MIT
// The call's course as the judge follows it: the modem dialogue, the logon and the end.
#include "judge/CallJudge.h"

#include "engine/Tap18Block.h"
#include "link/ControlChars.h"

#include <bit>

namespace ostrella {

namespace {

std::string ms(std::int64_t value)
{
    return std::to_string(value) + " ms";
}

} // namespace

CallJudge::CallJudge(const Setup& setup)
    : events_(setup.events)
    , run_(setup.run)
    , closesAfterEot_(setup.closesAfterEot)
    , tap18_(setup.tap18)
    , call_(setup.call)
{
}

void CallJudge::emit(std::string_view rule, std::int64_t at, std::string text, std::string evidence,
                     bool aboutBlock)
{
    const JudgeRule* known = findRule(rule);
    emit(rule, known != nullptr ? known->level : FindingLevel::Error, at, std::move(text),
         std::move(evidence), aboutBlock);
}

void CallJudge::emit(std::string_view rule, FindingLevel level, std::int64_t at, std::string text,
                     std::string evidence, bool aboutBlock)
{
    if (events_ == nullptr)
        return;
    events_->finding(Finding { rule, level, at, std::move(text), std::move(evidence), aboutBlock });
}

// --- the call's course ---------------------------------------------------------------------------

void CallJudge::dialStarted(std::int64_t, bool sevenBit)
{
    sevenBitDial_ = sevenBit;
    dialDataFlagged_ = false;
    if (phase_ == Phase::Command)
        phase_ = Phase::Dialling;
}

void CallJudge::dialEnded(std::int64_t now, bool carrier)
{
    if (!carrier) {
        phase_ = Phase::Command;
        return;
    }
    phase_ = Phase::Terminal;
    sevenBit_ = sevenBitDial_;
    connectAt_ = now;
    command_.clear();
    commandAt_ = -1;
}

void CallJudge::poll(std::int64_t now)
{
    if (commandAt_ >= 0 && !commandFlagged_ && now - commandAt_ > tap::AtCommandCr) {
        commandFlagged_ = true;
        emit("modem.no-cr", commandAt_ + tap::AtCommandCr,
             "AT command not ended by CR within 1 s; a modem takes a command at its CR", command_);
    }
    if (phase_ == Phase::Terminal && !heardSinceConnect_ && !idSent_ && !noCrTold_
        && now - connectAt_ > tap::NoCrAfterConnect) {
        noCrTold_ = true;
        emit("logon.no-cr", connectAt_ + tap::NoCrAfterConnect,
             "nothing sent for 3 s after CONNECT; a TAP 1.8 terminal sends ID= when the client "
             "sends CR (every t1, 2 s)");
    }
    if (eotAwaitsCr_ && now - eotAt_ > tap::EotCrWait)
        eotEnded(false);
}

void CallJudge::callEnded(std::int64_t now, bool byClient)
{
    poll(now);
    if (inLogon_)
        logonEnded(now, "not ended by CR before the call ended");
    if (inBlock_)
        blockEnded(now, "the call ended before the block's CR");
    if (eotAwaitsCr_)
        eotEnded(false);
    if (!byClient)
        return;
    for (const std::string& content : nakedNeverResent_) {
        emit("block.nak-ignored", now,
             "a block answered NAK was never sent again after a different block; TAP 1.8 asks "
             "for the same block again after NAK",
             content, true);
    }
    const bool terminalEnded = terminalClosed_ || terminalHungUp_;
    if (loggedOn_ && !eotReceived_ && !terminalEnded) {
        emit("end.no-eot", now,
             "the client hung up after its logon without EOT CR; TAP 1.8 ends a call with EOT CR "
             "and waits for the terminal's ESC EOT CR");
    }
    if (eotReceived_ && closingExpected_ && !terminalEnded) {
        emit("end.hangup-early", now,
             "the client hung up " + ms(now - eotAt_)
                 + " after its EOT, before the terminal's closing ESC EOT CR");
    }
}

// --- bytes from the client -----------------------------------------------------------------------

char CallJudge::framed(std::int64_t now, unsigned char raw)
{
    if (sevenBit_ || phase_ != Phase::Terminal)
        return static_cast<char>(raw & 0x7F);
    const bool evenOnes = std::popcount(raw) % 2 == 0;
    evenSoFar_ = evenSoFar_ && evenOnes;
    oddSoFar_ = oddSoFar_ && !evenOnes;
    if (!stripParity_ && raw > 0x7F && (evenSoFar_ || oddSoFar_)) {
        stripParity_ = true;
        if (!parityTold_) {
            parityTold_ = true;
            emit("line.parity", now,
                 std::string("the client's bytes carry ") + (evenSoFar_ ? "even" : "odd")
                     + " parity in bit 7 on an eight-bit line; the rules read their 7-bit values",
                 std::string(1, static_cast<char>(raw)));
        }
    }
    return static_cast<char>(stripParity_ ? raw & 0x7F : raw);
}

void CallJudge::received(std::int64_t now, std::string_view bytes)
{
    poll(now);
    ++piece_;
    for (const char b : bytes) {
        const char c = framed(now, static_cast<unsigned char>(b));
        switch (phase_) {
        case Phase::Command:
            commandByte(now, c);
            break;
        case Phase::Dialling:
            if (c != Lf && !dialDataFlagged_) {
                dialDataFlagged_ = true;
                emit("modem.data-during-dial", now,
                     "bytes sent while the modem was dialling; a real modem aborts the dial",
                     std::string(bytes));
            }
            break;
        case Phase::Terminal:
            terminalByte(now, c);
            break;
        }
    }
}

void CallJudge::commandByte(std::int64_t now, char c)
{
    if (c == Cr) {
        if (commandAt_ >= 0 && !commandFlagged_ && now - commandAt_ > tap::AtCommandCr) {
            emit("modem.no-cr", commandAt_ + tap::AtCommandCr,
                 "AT command ended by CR " + ms(now - commandAt_)
                     + " after its first character; a modem takes a command at its CR",
                 command_);
        }
        // "ATO" takes an escaped call back on line.
        const bool online = command_.size() >= 3 && upper(command_[0]) == 'A'
            && upper(command_[1]) == 'T' && upper(command_[2]) == 'O';
        command_.clear();
        commandAt_ = -1;
        commandFlagged_ = false;
        if (online && connectAt_ > 0)
            phase_ = Phase::Terminal;
        return;
    }
    if (c == Lf && command_.empty())
        return;
    if (command_.size() < KeptCommandBytes)
        command_.push_back(c);
    if (command_.size() == 1 && upper(c) == 'A')
        commandAt_ = now;
    else if (command_.size() == 2 && !(upper(command_[0]) == 'A' && upper(c) == 'T'))
        commandAt_ = -1;
}

void CallJudge::terminalByte(std::int64_t now, char c)
{
    heardSinceConnect_ = true;
    if (inBlock_) {
        if (blockByte(now, c))
            return;
    }
    if (inLogon_) {
        logonByte(now, c);
        return;
    }
    if (logonAwaitsReply_ && logonPiece_ == piece_ && !logonTailTold_ && c != Stx) {
        logonTailTold_ = true;
        emit("logon.format", now,
             "bytes after the logon's CR in the same line; TAP 1.8 asks for ESC PG1 [password] "
             "CR and nothing more until the terminal answers",
             std::string(1, c));
    }
    if (eotAwaitsCr_) {
        eotEnded(c == Cr);
        if (c == Cr)
            return;
    }
    pluses_ = c == '+' ? pluses_ + 1 : 0;
    switch (c) {
    case Stx:
        startBlock(now);
        break;
    case Esc:
        if (terminalClosed_ && !afterDisconnectTold_) {
            afterDisconnectTold_ = true;
            emit("end.after-disconnect", now,
                 "a logon sent after the terminal's ESC EOT CR; the call is over");
        }
        if (!idSent_)
            emit("logon.before-id", now,
                 "the logon came before the terminal sent ID=; TAP 1.8 logs on only after ID=");
        inLogon_ = true;
        logonAt_ = now;
        logon_.clear();
        logonTailTold_ = false;
        break;
    case Eot:
        if (!loggedOn_ && !goAhead_ && !havePrevious_)
            break;
        judgeTurn(now, nullptr);
        eotReceived_ = true;
        eotAwaitsCr_ = true;
        eotAt_ = now;
        closingExpected_ = closesAfterEot_ && closesAfterEot_();
        break;
    case Cr:
        if (idSent_)
            break;
        ++crsBeforeId_;
        if (lastCrAt_ >= 0 && now - lastCrAt_ < tap::T1Fast && !crFastTold_) {
            crFastTold_ = true;
            emit("logon.cr-retry-fast", now,
                 "CR repeated " + ms(now - lastCrAt_)
                     + " after the previous one while waiting for ID=; TAP 1.8 repeats it every "
                       "t1 (2 s)");
        }
        if (crsBeforeId_ > tap::N1 && !crManyTold_) {
            crManyTold_ = true;
            emit("logon.cr-retry-many", now,
                 std::to_string(crsBeforeId_) + " CRs before ID=; TAP 1.8 gives up after n1 (3)");
        }
        lastCrAt_ = now;
        break;
    default:
        if (pluses_ == 3)
            phase_ = Phase::Command;
        break;
    }
}

void CallJudge::logonByte(std::int64_t now, char c)
{
    if (c == Cr) {
        logonEnded(now, "");
        return;
    }
    if (c == Lf) {
        logonEnded(now, "ended by LF, not CR");
        return;
    }
    if (c == Stx) {
        logonEnded(now, "not ended by CR before a block");
        startBlock(now);
        return;
    }
    if (logon_.size() >= KeptLogonBytes) {
        logonEnded(now, "not ended by CR within 64 characters");
        return;
    }
    logon_.push_back(c);
}

void CallJudge::logonEnded(std::int64_t now, std::string_view why)
{
    inLogon_ = false;
    logonAwaitsReply_ = true;
    logonPiece_ = piece_;
    const std::string line = std::string(1, Esc) + logon_;
    std::string problem(why);
    bool lowerCase = false;
    if (problem.empty()) {
        const bool service = logon_.size() >= 3 && upper(logon_[0]) == 'P'
            && upper(logon_[1]) == 'G' && logon_[2] == '1';
        bool printable = true;
        for (std::size_t i = 3; i < logon_.size(); ++i)
            printable = printable && logon_[i] >= 0x20 && logon_[i] < 0x7F;
        if (!service)
            problem = "service \"" + logon_.substr(0, 3) + "\" where TAP 1.8 has PG1";
        else if (!printable)
            problem = "a control character in the password";
        else
            lowerCase = logon_[0] != 'P' || logon_[1] != 'G';
    }
    if (!problem.empty()) {
        emit("logon.format", now,
             "logon line " + problem + "; TAP 1.8 asks for ESC PG1 [password] CR", line);
    } else if (lowerCase) {
        emit("logon.lower-case", now,
             "logon service sent as \"" + logon_.substr(0, 3)
                 + "\"; TAP 1.8 has PG1 in capitals and terminals differ on the case",
             line);
    }
}

void CallJudge::eotEnded(bool withCr)
{
    eotAwaitsCr_ = false;
    if (!withCr) {
        emit("end.eot-format", eotAt_, "EOT not followed by CR; TAP 1.8 ends a call with EOT CR",
             std::string(1, Eot));
    }
}

// --- bytes from the terminal ---------------------------------------------------------------------

void CallJudge::sent(std::int64_t now, std::string_view bytes)
{
    poll(now);
    if (phase_ != Phase::Terminal)
        return;
    for (const char c : bytes)
        sentByte(now, c);
}

void CallJudge::sentByte(std::int64_t now, char c)
{
    const char c7 = static_cast<char>(c & 0x7F);
    sentTail_ = { sentTail_[1], sentTail_[2], c7 };
    if (sentTail_ == std::array<char, 3> { 'I', 'D', '=' }) {
        idSent_ = true;
        logonAwaitsReply_ = false;
    }
    if (sentEsc_ && c7 == Eot) {
        sentEsc_ = false;
        replied(now, Reply::Disconnect);
        return;
    }
    if (sentTail_ == std::array<char, 3> { Esc, '[', 'p' }) {
        goAhead_ = true;
        if (inBlock_)
            blockEnded(now, "the terminal answered before the block's CR");
        lastReplyAt_ = now;
    }
    sentEsc_ = c7 == Esc;
    switch (c7) {
    case Ack:
        if (!loggedOn_ && (logonAwaitsReply_ || (!havePrevious_ && !inBlock_))) {
            logonAwaitsReply_ = false;
            loggedOn_ = true;
            break;
        }
        replied(now, Reply::Accepted);
        break;
    case Nak:
        if (!loggedOn_ && (logonAwaitsReply_ || (!havePrevious_ && !inBlock_))) {
            logonAwaitsReply_ = false;
            break;
        }
        replied(now, Reply::Again);
        break;
    case Rs:
        replied(now, Reply::Refused);
        break;
    case Cr:
    case Lf:
    case Esc:
        break;
    default:
        if (static_cast<unsigned char>(c7) < 0x20 && havePrevious_ && !inBlock_
            && previousReply_ == Reply::None)
            replied(now, Reply::Unreadable);
        break;
    }
}

} // namespace ostrella
