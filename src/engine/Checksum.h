// SPDX-License-Identifier: MIT
// The PET block checksum.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace ostrella {

// The three checksum characters for a summed range: '0' plus bits 8-11, 4-7 and 0-3 of the sum of
// all byte codes (full eight bits each). The sum is taken wide and only its low 12 bits count, so
// any length of block gets its true checksum.
constexpr std::array<char, 3> checksumChars(std::string_view range)
{
    std::uint64_t sum = 0;
    for (char ch : range)
        sum += static_cast<unsigned char>(ch);
    return { static_cast<char>('0' + ((sum >> 8) & 0xF)),
             static_cast<char>('0' + ((sum >> 4) & 0xF)), static_cast<char>('0' + (sum & 0xF)) };
}

// True when the block's last four bytes are the checksum of everything before them followed by one
// more byte (the closing CR, not examined). A block shorter than four bytes has no checksum field
// and is not valid.
constexpr bool BlockChecksum(std::string_view block)
{
    if (block.size() < 4)
        return false;
    const std::size_t n = block.size() - 4;
    const auto expected = checksumChars(block.substr(0, n));
    return block[n] == expected[0] && block[n + 1] == expected[1] && block[n + 2] == expected[2];
}

} // namespace ostrella
