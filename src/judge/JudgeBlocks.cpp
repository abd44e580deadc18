// SPDX-License-Identifier: MIT
// The blocks as the judge reads them: each one's form, checksum and transparency, how the client
// paces them against the terminal's replies, and the pages they make.
#include "engine/Tap18Block.h"
#include "judge/CallJudge.h"
#include "link/ControlChars.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace ostrella {

namespace {

using tap18::Sub;

std::string checksumText(std::uint64_t sum)
{
    return { static_cast<char>('0' + ((sum >> 8) & 0xF)),
             static_cast<char>('0' + ((sum >> 4) & 0xF)), static_cast<char>('0' + (sum & 0xF)) };
}

std::string hexText(std::uint64_t sum, bool upperCase)
{
    char text[8];
    std::snprintf(text, sizeof text, upperCase ? "%03llX" : "%03llx",
                  static_cast<unsigned long long>(sum & 0xFFF));
    return text;
}

std::string names(std::string_view controls)
{
    std::string out;
    for (const char c : controls) {
        if (!out.empty())
            out += ", ";
        out += controlName(static_cast<unsigned char>(c));
    }
    return out;
}

// The fields of a block (STX and terminator taken off, SUB transparency undone, split at CR);
// with `continues` the last one goes on in the next block, else a final empty part is dropped.
std::vector<std::string> fieldsOf(std::string_view content, bool continues)
{
    std::vector<std::string> fields(1);
    const std::string_view body = content.substr(1, content.size() - 2);
    for (std::size_t i = 0; i < body.size(); ++i) {
        char c = body[i];
        if (c == Sub && i + 1 < body.size())
            c = static_cast<char>(body[++i] - 0x40);
        else if (c == Cr) {
            fields.emplace_back();
            continue;
        }
        fields.back().push_back(c);
    }
    if (!continues && fields.back().empty())
        fields.pop_back();
    return fields;
}

} // namespace

void CallJudge::startBlock(std::int64_t now)
{
    block_ = Block {};
    block_.stxAt = now;
    block_.bytes.assign(1, Stx);
    block_.length = 1;
    block_.beforeGoAhead = !goAhead_;
    block_.afterDisconnect = terminalClosed_;
    inBlock_ = true;
}

bool CallJudge::blockByte(std::int64_t now, char c)
{
    Block& b = block_;
    if (b.terminatorAt > 0 && b.checksum.size() == 3) {
        if (c != Cr) {
            blockEnded(now, "has no CR after its checksum");
            return false;
        }
        b.crAfterChecksum = true;
        ++b.length;
        b.bytes.push_back(c);
        blockEnded(now, "");
        return true;
    }
    ++b.length;
    if (b.bytes.size() < KeptBlockBytes)
        b.bytes.push_back(c);
    if (b.terminatorAt > 0) {
        if (c == Cr) {
            blockEnded(now,
                       "has a checksum of " + std::to_string(b.checksum.size())
                           + " characters, not 3");
            return true;
        }
        b.checksum.push_back(c);
        return true;
    }
    if (b.length > KeptBlockBytes) {
        blockEnded(now,
                   "has no terminator within " + std::to_string(KeptBlockBytes) + " characters");
        return true;
    }
    if (b.subPending) {
        b.subPending = false;
        if (c >= 0x40 && c <= 0x5F)
            return true;
        if (b.badEscapes.size() < 16)
            b.badEscapes.append({ Sub, c });
        if (static_cast<unsigned char>(c) >= 0x20)
            return true;
    }
    if (tap18::isTerminator(c)) {
        b.terminatorAt = b.bytes.size() - 1;
        return true;
    }
    if (c == Sub) {
        b.subPending = true;
    } else if (c == Lf || c == Esc || c == Eot || c == Stx) {
        if (b.unescaped.find(c) == std::string::npos)
            b.unescaped.push_back(c);
    } else if (static_cast<unsigned char>(c) > 0x7F) {
        b.eightBit = true;
    }
    return true;
}

void CallJudge::blockEnded(std::int64_t now, std::string_view why)
{
    inBlock_ = false;
    block_.endAt = now;
    judgeContent(block_, why);
    judgeTurn(block_.stxAt, &block_);
    std::swap(previous_, block_);
    havePrevious_ = true;
    previousReply_ = Reply::None;
}

void CallJudge::judgeContent(const Block& b, std::string_view why)
{
    const std::int64_t at = b.endAt;
    std::string problem(why);
    if (b.terminatorAt == 0 && problem.empty())
        problem = "has no terminator";
    else if (b.terminatorAt == 0 && problem.find("terminator") == std::string::npos)
        problem = "has no terminator (" + problem + ")";
    if (!problem.empty()) {
        emit("block.format", at,
             "block " + problem
                 + "; TAP 1.8 blocks are STX, fields, ETX, ETB or US, three checksum characters "
                   "and CR",
             b.bytes, true);
    }
    if (b.terminatorAt > 0) {
        if (b.terminator() != Us && b.bytes[b.terminatorAt - 1] != Cr) {
            emit("block.field-cr", at,
                 "the field before "
                     + std::string(controlName(static_cast<unsigned char>(b.terminator())))
                     + " is not ended by CR; TAP 1.8 ends every field in CR, empty ones too",
                 b.bytes, true);
        }
        if (const std::size_t info = b.terminatorAt - 1; info > tap::MaxInfo) {
            emit("block.info-too-long", at,
                 std::to_string(info)
                     + " characters of fields; TAP 1.8 allows at most 250 in a "
                       "block",
                 b.bytes, true);
        }
        if (b.checksum.size() == 3)
            judgeChecksum(b);
    }
    if (b.length > tap::MaxBlock) {
        emit("block.too-long", at,
             "block of " + std::to_string(b.length)
                 + " characters; TAP 1.8 allows at most 256 from STX to the final CR",
             b.bytes, true);
    }
    if (b.eightBit) {
        emit("block.eight-bit", at,
             "a byte above 0x7F in the block; TAP 1.8 sends 7-bit characters only", b.bytes, true);
    }
    if (!b.unescaped.empty()) {
        emit("block.control-unescaped", tap18_ ? FindingLevel::Error : FindingLevel::Warning, at,
             names(b.unescaped)
                 + " raw inside a field; TAP 1.8 sends it as SUB and the "
                   "character plus 0x40",
             b.bytes, true);
    }
    if (!b.badEscapes.empty()) {
        emit("block.bad-escape", at,
             "SUB followed by a character outside 0x40-0x5F; TAP 1.8 transparency shifts only "
             "the controls",
             b.badEscapes, true);
    }
}

void CallJudge::judgeChecksum(const Block& b)
{
    const std::string_view range = b.content();
    std::uint64_t sum7 = 0;
    std::uint64_t sum8 = 0;
    for (const char c : range) {
        sum7 += static_cast<unsigned char>(c) & 0x7FU;
        sum8 += static_cast<unsigned char>(c);
    }
    const std::string expected = checksumText(sum7);
    if (b.checksum == expected)
        return;
    const std::uint64_t terminator = static_cast<unsigned char>(b.terminator());
    const std::array<std::pair<std::string, std::string_view>, 6> mistakes { {
        { checksumText(sum8), "the client summed 8-bit values" },
        { checksumText(sum7 & 0xFF), "the client kept only the low 8 bits" },
        { checksumText(sum7 - static_cast<unsigned char>(Stx)), "the client left STX out" },
        { checksumText(sum7 - terminator), "the client left the terminator out" },
        { hexText(sum7, true), "the client sent hex digits A-F for the nibbles" },
        { hexText(sum7, false), "the client sent hex digits a-f for the nibbles" },
    } };
    std::string_view mistake;
    for (const auto& [value, what] : mistakes) {
        if (value == b.checksum && value != expected) {
            mistake = what;
            break;
        }
    }
    const bool digits = std::all_of(b.checksum.begin(), b.checksum.end(),
                                    [](char c) { return c >= '0' && c <= '?'; });
    if (!digits && mistake.empty()) {
        emit("block.format", b.endAt,
             "checksum characters \"" + b.checksum
                 + "\" outside 0-?; TAP 1.8 sends each nibble as 0x30 plus its value",
             b.bytes, true);
        return;
    }
    emit("block.checksum", b.endAt,
         "checksum \"" + b.checksum + "\" where TAP 1.8 gives \"" + expected
             + "\" (the 7-bit values from STX through the terminator, low 12 bits)"
             + (mistake.empty() ? std::string() : ": " + std::string(mistake)),
         b.bytes, true);
}

void CallJudge::judgeTurn(std::int64_t at, const Block* block)
{
    const std::string_view what = block != nullptr ? "block" : "EOT";
    const std::string_view content = block != nullptr ? block->content() : std::string_view();
    const std::string evidence = block != nullptr ? block->bytes : std::string(1, Eot);
    if (block != nullptr) {
        if (block->beforeGoAhead) {
            emit("block.before-go-ahead", at,
                 "STX sent before the terminal's go-ahead ESC [p CR; TAP 1.8 sends blocks only "
                 "after it",
                 evidence, true);
        }
        if (block->afterDisconnect && !afterDisconnectTold_) {
            afterDisconnectTold_ = true;
            emit("end.after-disconnect", at,
                 "a block sent after the terminal's ESC EOT CR; the call is over", evidence, true);
        }
        if (!content.empty() && sameAsRefused(content)) {
            emit("block.resend-after-rs", at,
                 "a block refused with RS sent again; TAP 1.8 says a refused block is not resent",
                 evidence, true);
        }
        std::erase(nakedNeverResent_, content);
    }
    if (!havePrevious_) {
        if (lastReplyAt_ >= 0 && at - lastReplyAt_ > tap::T4) {
            emit("block.gap", at,
                 std::string(what) + " " + std::to_string(at - lastReplyAt_)
                     + " ms after the go-ahead; a TAP 1.8 terminal waits t4 (4 s) at most",
                 evidence, block != nullptr);
        }
        return;
    }
    const bool same = !content.empty() && content == previous_.content();
    if (previousReply_ == Reply::None) {
        const std::int64_t waited = at - previous_.endAt;
        if (waited >= tap::T3 - tap::T3Tolerance)
            return;
        if (same) {
            emit("block.resend-early", at,
                 "block resent " + std::to_string(waited)
                     + " ms after it without a reply; TAP 1.8 resends only after t3 (10 s)",
                 evidence, true);
        } else {
            emit("block.no-wait", at,
                 std::string(what) + " sent " + std::to_string(waited)
                     + " ms after the previous block, before the terminal answered it; TAP 1.8 "
                       "waits for the reply",
                 evidence, block != nullptr);
        }
        return;
    }
    if (previousReply_ == Reply::Disconnect)
        return;
    // A reply the client could not read: it may send the block again, at once or after t3.
    if (previousReply_ == Reply::Unreadable && same)
        return;
    if (at - lastReplyAt_ > tap::T4) {
        emit("block.gap", at,
             std::string(what) + " " + std::to_string(at - lastReplyAt_)
                 + " ms after the terminal's reply; a TAP 1.8 terminal waits t4 (4 s) at most",
             evidence, block != nullptr);
    }
    if (previousReply_ == Reply::Accepted && same) {
        emit("block.resend-after-ack", at,
             "the block just answered ACK sent again: the page is delivered twice", evidence, true);
    }
    if (previousReply_ == Reply::Again) {
        if (same && nakCount_ > tap::NakResends && !nakLimitTold_) {
            nakLimitTold_ = true;
            emit("block.nak-limit", at,
                 "block resent " + std::to_string(nakCount_)
                     + " times after NAK; TAP 1.8 clients give up after 3",
                 evidence, true);
        } else if (!same && block != nullptr && nakedNeverResent_.size() < KeptBlocks) {
            nakedNeverResent_.emplace_back(previous_.content());
        }
    }
}

void CallJudge::replied(std::int64_t now, Reply reply)
{
    if (inBlock_)
        blockEnded(now, "was answered before its CR");
    if (reply == Reply::Disconnect)
        terminalClosed_ = true;
    lastReplyAt_ = now;
    if (!havePrevious_ || previousReply_ != Reply::None)
        return;
    previousReply_ = reply;
    const std::string content(previous_.content());
    switch (reply) {
    case Reply::Accepted:
        if (content.empty())
            break;
        if (previous_.terminator() == Etx) {
            transactionAcked(previous_, now);
        } else {
            std::vector<std::string> fields = fieldsOf(content, previous_.terminator() == Us);
            if (fieldContinues_ && !transaction_.empty() && !fields.empty()) {
                transaction_.back() += fields.front();
                fields.erase(fields.begin());
            }
            if (transaction_.size() < KeptBlocks)
                transaction_.insert(transaction_.end(), fields.begin(), fields.end());
            fieldContinues_ = previous_.terminator() == Us;
        }
        break;
    case Reply::Again:
        if (content == nakedContent_) {
            ++nakCount_;
        } else {
            nakedContent_ = content;
            nakCount_ = 1;
            nakLimitTold_ = false;
        }
        break;
    case Reply::Refused:
        if (refused_.size() < KeptBlocks && !content.empty())
            refused_.push_back(content);
        transaction_.clear();
        fieldContinues_ = false;
        break;
    case Reply::None:
    case Reply::Disconnect:
    case Reply::Unreadable:
        break;
    }
}

void CallJudge::transactionAcked(const Block& block, std::int64_t now)
{
    std::vector<std::string> fields = fieldsOf(block.content(), false);
    if (fieldContinues_ && !transaction_.empty() && !fields.empty()) {
        transaction_.back() += fields.front();
        fields.erase(fields.begin());
    }
    transaction_.insert(transaction_.end(), fields.begin(), fields.end());
    std::string page;
    for (const std::string& field : transaction_)
        page += field + '\r';
    if (transaction_.size() != 2) {
        emit("page.fields", now,
             "a transaction of " + std::to_string(transaction_.size())
                 + " fields; the usual one has two (pager ID, message) and terminals differ on "
                   "others",
             page, true);
    }
    const long earlier = run_.deliveredIn(page);
    if (earlier != 0 && earlier != call_) {
        emit("page.duplicate", now,
             "a page ACKed in an earlier call delivered again; TAP 1.8 has no sequence numbers, "
             "so it reaches the pager twice",
             page, true);
    }
    run_.delivered(page, call_);
    transaction_.clear();
    fieldContinues_ = false;
}

bool CallJudge::sameAsRefused(std::string_view content) const
{
    return std::find(refused_.begin(), refused_.end(), content) != refused_.end();
}

} // namespace ostrella
