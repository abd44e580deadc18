// SPDX-License-Identifier: MIT
// The fuzz input's event encoding, shared by the fuzz target (which decodes it) and the seed
// writer (which encodes protocol scenarios with it).
//
// An input is a sequence of events. Each starts with one byte, taken modulo Op::Count, followed by
// the event's arguments; an argument cut off by the end of the input reads as zero bytes.
#pragma once

#include "engine/Checksum.h"
#include "engine/FaultPlan.h"
#include "engine/Tap18Block.h"
#include "link/SevenBit.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace ostrella::fuzz {

enum class Op : std::uint8_t {
    Send, // u8 n, n bytes: the client sends them
    SendLong, // u16 n (big-endian), n bytes (as many as the input still has)
    SendRepeat, // u8 p, p % 16 + 1 pattern bytes, u16 k: the pattern repeated to 2k + 1 bytes
    Token, // u8 t, u8 flags: protocol text Tokens[t % size]; flags bit 0: seven-bit encoded
    Block, // u8 n, n body bytes, u8 flags: STX body ETX checksum CR; flags bit 0: checksum off by
           // one, bit 1: seven-bit encoded
    Advance, // u16 v: time passes, 1 + v % 60000 ms
    AdvanceShort, // u8 v: time passes, 1 + v ms
    NextEngineTick, // time passes up to and including the engine timer's next tick
    Connect, // a client's connection request (only while the server listens)
    PeerClose, // the client hangs up (only while connected)
    SocketError, // the socket reports an error
    FailSends, // u8 f: bit 0 on: from now on writes to the client fail
    ToggleBox, // u8 b: fault box b % 8 flips
    SetBoxes, // u8 mask: fault box i ticked when bit i is set
    RefuseListen, // u8 f: bit 0 on: from now on the port cannot be opened
    Terminal, // u8 t: bit 0 on: the tap18 terminal from the next call, else the classic one
    Tap18Block, // u8 n, n body bytes, u8 flags: STX body terminator checksum CR; flags bits 0-1:
                // ETX, ETB, US, ETX; bit 2: checksum off by one; bit 3: seven-bit encoded
    Profile, // u8 p: bit 0 on: the hayes modem, off: the classic one (only before the first
             // connection, as the command line chooses it)
    Plan, // u8 k, u8 w: the fault plan, with the word BlockWords[w % size]; k % 3: 0 cleared,
          // 1 the word added to the end of the block plan (at most MaxBlockWords), 2 pager 123
          // (the seeds' pager) gets the word
    Wire, // u8 r, u8 s, u8 p: the line's wire from now on: noise at (r % 4) * 5 % with seed s,
          // paced at WireRates[p % 4] bit/s (0: not paced)
    Suite, // the test suite directs every call from now on (the first time only)
    Count
};

// The block plan's words, for Op::Plan: the replies, then the faults of the line.
inline constexpr std::array<std::string_view, 7> BlockWords { {
    "ack",
    "nak",
    "rej",
    "none",
    "garble",
    "corrupt",
    "drop",
} };
inline constexpr std::size_t MaxBlockWords = 16;

// The line's rates for Op::Wire.
inline constexpr std::array<unsigned, 4> WireRates { { 0, 300, 2400, 19200 } };

// What paging clients send, for Op::Token (the hayes modem's commands last).
inline constexpr std::array<std::string_view, 22> Tokens { {
    "AT\r",
    "ATE0\r",
    "ATQ0\r",
    "AT&F\r",
    "ATH\r",
    "ATDT5551234\r",
    "ATDT125107\r",
    "+++",
    "\r",
    "\x1b"
    "PG1000000\r",
    "\x04\r",
    "\x02",
    "\x03",
    "\x1b\x04\r",
    "ATDT",
    "\r\n",
    "ATE0V0Q0X4\r",
    "ATO\r",
    "ATI3\r",
    "AT+FCLASS=?\r",
    "ATS12=5\r",
    "ATZ\r",
} };

// The bytes of a block around `body`: STX body ETX, the checksum of all of it, CR.
inline std::string BlockBytes(std::string_view body, bool badChecksum)
{
    std::string block = std::string(1, '\x02') + std::string(body) + '\x03';
    auto sum = checksumChars(block);
    if (badChecksum)
        sum[2] = static_cast<char>(sum[2] + 1);
    block.append(sum.begin(), sum.end());
    block += '\r';
    return block;
}

// A tap18 block around `body`: STX body terminator, its seven-bit checksum, CR. `kind` picks the
// terminator: 0 or 3 ETX, 1 ETB, 2 US.
inline std::string Tap18BlockBytes(std::string_view body, unsigned kind, bool badChecksum)
{
    constexpr char Terminators[] = { '\x03', Etb, Us, '\x03' };
    std::string block = std::string(1, '\x02') + std::string(body) + Terminators[kind & 3U];
    auto sum = tap18::checksum(block);
    if (badChecksum)
        sum[2] = static_cast<char>(sum[2] + 1);
    block.append(sum.begin(), sum.end());
    block += '\r';
    return block;
}

// Builds inputs event by event, for the seed corpus.
class Writer {
public:
    Writer& op(Op o)
    {
        bytes.push_back(static_cast<char>(o));
        return *this;
    }
    Writer& u8(unsigned v)
    {
        bytes.push_back(static_cast<char>(v & 0xFF));
        return *this;
    }
    Writer& u16(unsigned v) { return u8(v >> 8).u8(v); }
    Writer& send(std::string_view text)
    {
        if (text.size() < 256)
            op(Op::Send).u8(static_cast<unsigned>(text.size()));
        else
            op(Op::SendLong).u16(static_cast<unsigned>(text.size()));
        bytes += text;
        return *this;
    }
    Writer& repeat(std::string_view pattern, unsigned halfLength)
    {
        op(Op::SendRepeat).u8(static_cast<unsigned>(pattern.size() - 1));
        bytes += pattern;
        return u16(halfLength);
    }
    Writer& token(std::string_view text, bool sevenBit = false)
    {
        for (std::size_t i = 0; i < Tokens.size(); ++i) {
            if (Tokens[i] == text)
                return op(Op::Token).u8(static_cast<unsigned>(i)).u8(sevenBit ? 1 : 0);
        }
        return send(sevenBit ? SevenBitEncode(text) : std::string(text));
    }
    Writer& block(std::string_view body, bool badChecksum = false, bool sevenBit = false)
    {
        op(Op::Block).u8(static_cast<unsigned>(body.size()));
        bytes += body;
        return u8((badChecksum ? 1U : 0U) | (sevenBit ? 2U : 0U));
    }
    // Whole seconds and milliseconds, as 60 s steps and one remainder.
    Writer& advance(unsigned ms)
    {
        for (; ms > 60000; ms -= 60000)
            op(Op::Advance).u16(59999);
        return ms == 0 ? *this : op(Op::Advance).u16(ms - 1);
    }
    Writer& tick() { return op(Op::NextEngineTick); }
    Writer& terminal(bool tap18) { return op(Op::Terminal).u8(tap18 ? 1 : 0); }
    // kind: 0 ETX, 1 ETB, 2 US.
    Writer& tap18Block(std::string_view body, unsigned kind = 0, bool badChecksum = false)
    {
        op(Op::Tap18Block).u8(static_cast<unsigned>(body.size()));
        bytes += body;
        return u8(kind | (badChecksum ? 4U : 0U));
    }
    Writer& hayes() { return op(Op::Profile).u8(1); }
    // kind: 0 the plan cleared, 1 `word` added to the block plan, 2 pager 123 gets `word`.
    Writer& plan(unsigned kind, std::string_view word = "ack")
    {
        for (std::size_t i = 0; i < BlockWords.size(); ++i) {
            if (BlockWords[i] == word)
                return op(Op::Plan).u8(kind).u8(static_cast<unsigned>(i));
        }
        return op(Op::Plan).u8(kind).u8(0);
    }

    std::string bytes;
};

} // namespace ostrella::fuzz
