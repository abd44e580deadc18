// SPDX-License-Identifier: MIT
#include "engine/Checksum.h"

#include <gtest/gtest.h>
#include <string>

using namespace ostrella;

namespace {

const std::string Worked = "\x02"
                           "123\rABC\r\x03"
                           "17;\r";

std::string withChecksum(const std::string& range)
{
    const auto c = checksumChars(range);
    return range + c[0] + c[1] + c[2] + '\r';
}

} // namespace

static_assert(BlockChecksum("\x02"
                            "123\rABC\r\x03"
                            "17;\r"));

TEST(BlockChecksum, WorkedExampleIsValidAndEveryChecksumCharacterCounts)
{
    ASSERT_EQ(Worked.size(), 14U);
    EXPECT_TRUE(BlockChecksum(Worked));
    for (std::size_t pos : { 10U, 11U, 12U }) {
        SCOPED_TRACE(pos);
        std::string bad = Worked;
        bad[pos] = static_cast<char>(bad[pos] + 1);
        EXPECT_FALSE(BlockChecksum(bad));
    }
    std::string otherEnd = Worked;
    otherEnd.back() = 'x';
    EXPECT_TRUE(BlockChecksum(otherEnd)) << "the final character is not examined";
}

TEST(BlockChecksum, OnlyTheLowTwelveBitsOfTheSumCount)
{
    struct Case {
        const char* name;
        std::string range;
        std::string chars;
    };
    const Case cases[] = {
        // 2 + 3 + 16 * 255 = 4085 = 0xFF5
        { "just under 4096", "\x02" + std::string(16, '\xff') + "\x03", "??5" },
        // 2 + 3 + 17 * 255 = 4340 = 0x10F4: bit 12 is dropped
        { "just over 4096", "\x02" + std::string(17, '\xff') + "\x03", "0?4" },
        // 2 + 200 * 200 + 3 = 40005 = 0x9C45: beyond a 16-bit signed sum
        { "beyond 32767", "\x02" + std::string(200, '\xc8') + "\x03", "<45" },
        // A + B = 0x83: codes above 127 count with all eight bits
        { "high codes", "\x80\x03", "083" },
        { "empty range", "", "000" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto chars = checksumChars(c.range);
        EXPECT_EQ(std::string(chars.begin(), chars.end()), c.chars);
        EXPECT_TRUE(BlockChecksum(c.range + c.chars + "\r"));
    }
}

TEST(BlockChecksum, APacketShorterThanFourCharactersIsNoBlock)
{
    for (const std::string& packet :
         { std::string(), std::string("\x02"), std::string("\x02\x03\r") }) {
        SCOPED_TRACE(packet.size());
        EXPECT_FALSE(BlockChecksum(packet));
    }
    EXPECT_TRUE(BlockChecksum("000\r")) << "four characters: an empty range, checksum 000";
}

TEST(BlockChecksum, LongBlocksGetTheirTrueChecksum)
{
    const std::string block = withChecksum("\x02" + std::string(70'000, 'Z') + "\r\x03");
    EXPECT_TRUE(BlockChecksum(block));
}
