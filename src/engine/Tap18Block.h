// SPDX-License-Identifier: MIT
// TAP 1.8 blocks on the wire, free of any state: where the next item in the received text ends
// (a block, EOT, a line of other text), the 12-bit checksum over seven-bit values, and a block
// taken apart into its fields with SUB transparency undone.
#pragma once

#include "link/ControlChars.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ostrella::tap18 {

// The transparency shift, by its ASCII name (the block terminators are in ControlChars.h).
inline constexpr char Sub = 0x1A;

// A block is at most this long, STX to the closing CR.
inline constexpr std::size_t MaxBlockLength = 256;
// The last place a terminator can take: room is left for three checksum characters and CR.
inline constexpr std::size_t MaxTerminatorAt = MaxBlockLength - 5;

constexpr bool isTerminator(char c)
{
    return c == Etx || c == Etb || c == Us;
}

// The checksum characters of a range (STX up to and including the terminator): the sum of the
// seven-bit values of its characters, low 12 bits, high nibble first, each '0' + nibble.
constexpr std::array<char, 3> checksum(std::string_view range)
{
    std::uint64_t sum = 0;
    for (char ch : range)
        sum += static_cast<unsigned char>(ch) & 0x7FU;
    return { static_cast<char>('0' + ((sum >> 8) & 0xF)),
             static_cast<char>('0' + ((sum >> 4) & 0xF)), static_cast<char>('0' + (sum & 0xF)) };
}

enum class FrameKind {
    // Not enough received yet to say.
    Incomplete,
    // CR and LF between items: stray line ends, dropped.
    LineEnds,
    // STX, fields, a terminator, three checksum characters and (when it came) CR.
    Block,
    // STX and fields that end without a terminator (at the next STX or EOT, or in CR once the line
    // has gone quiet).
    Unterminated,
    // STX and more than a block can hold with no terminator in it; what follows until the next
    // STX or EOT belongs to it.
    OverlongBlock,
    // EOT up to and including its CR.
    Eot,
    // Other text up to and including a CR.
    Text,
    // Other text, as long as a block, without a CR; what follows until the next STX or EOT
    // belongs to it.
    OverlongText,
    // Other text ended by the STX or EOT that follows it.
    Stray,
};

struct Frame {
    FrameKind kind = FrameKind::Incomplete;
    // Bytes from the front of the text that belong to the item.
    std::size_t length = 0;
};

// The item at the front of `rx`. `quiet`: nothing has arrived for a while, so a block that ends in
// CR without a terminator (or has no room left for its CR) is taken as it is.
Frame nextFrame(std::string_view rx, bool quiet);

struct DecodedTap18Block {
    // ETX, ETB or US; 0 when the block has none.
    char terminator = 0;
    // The fields, transparency undone. With US the last one is the start of a field that goes
    // on in the next block (possibly empty).
    std::vector<std::string> fields;
    // The characters after the terminator, up to three, as sent; and the three computed.
    std::string checksumSent;
    std::string checksumComputed;
    bool checksumGood = false;
    // Every SUB is followed by a character from 0x40 to 0x5F.
    bool transparencyGood = true;
};

// Takes a block (a frame starting with STX) apart. Without a terminator, everything after STX
// is read as fields and the checksum is neither sent nor good.
DecodedTap18Block decodeTap18Block(std::string_view frame);

} // namespace ostrella::tap18
