// SPDX-License-Identifier: MIT
// Seven data bits with even parity: what a dial-up paging terminal's line carries.
#pragma once

#include <string>
#include <string_view>

namespace ostrella {

// The byte with bit 7 set or cleared so that its eight bits hold an even number of ones. Parity is
// taken over the low seven bits, so a code of 128 or more gives the same result as its low seven.
constexpr unsigned char EvenParityChar(unsigned char c)
{
    const unsigned char low = c & 0x7F;
    int ones = 0;
    for (unsigned char v = low; v != 0; v = static_cast<unsigned char>(v >> 1))
        ones += v & 1;
    return (ones % 2 != 0) ? static_cast<unsigned char>(low | 0x80) : low;
}

// Every byte given even parity in bit 7; same length.
inline std::string SevenBitEncode(std::string_view text)
{
    std::string out(text);
    for (char& ch : out)
        ch = static_cast<char>(EvenParityChar(static_cast<unsigned char>(ch)));
    return out;
}

// Every byte with bit 7 cleared; same length.
inline std::string SevenBitStrip(std::string_view text)
{
    std::string out(text);
    for (char& ch : out)
        ch = static_cast<char>(static_cast<unsigned char>(ch) & 0x7F);
    return out;
}

} // namespace ostrella
