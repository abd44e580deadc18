// SPDX-License-Identifier: MIT
#include "link/SevenBit.h"

#include <gtest/gtest.h>

using namespace ostrella;

static_assert(EvenParityChar('A') == 65);

TEST(SevenBit, EvenParityCharSetsBitSevenForAnOddCount)
{
    struct Case {
        unsigned in;
        unsigned out;
    };
    const Case cases[] = {
        { 'A', 65 },
        { 'C', 195 },
        { '0', 48 },
        { ' ', 160 },
        { '\r', 141 },
        { 0x06, 6 },
        { 0x15, 149 },
        { 0, 0 },
        { 0x7F, 0xFF },
        // Codes of 128 or more: parity over the low seven bits, never out of the byte range.
        { 0xC3, 0xC3 },
        { 0x80, 0x00 },
        { 0xC1, 0x41 },
        { 0xFF, 0xFF },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(EvenParityChar(static_cast<unsigned char>(c.in)), c.out);
    }
    for (unsigned c = 0; c < 256; ++c) {
        const unsigned char p = EvenParityChar(static_cast<unsigned char>(c));
        EXPECT_EQ(__builtin_popcount(p) % 2, 0) << c;
        EXPECT_EQ(p & 0x7F, c & 0x7F) << c;
    }
}

TEST(SevenBit, EncodeAndStripAreInverseOnSevenBitText)
{
    const std::string encoded = SevenBitEncode("OK\r\n");
    EXPECT_EQ(encoded, std::string("\xcf\x4b\x8d\x0a"));
    EXPECT_EQ(SevenBitStrip(encoded), "OK\r\n");
    EXPECT_EQ(SevenBitStrip("plain text\r"), "plain text\r");
    EXPECT_EQ(SevenBitEncode(""), "");
    EXPECT_EQ(SevenBitStrip(""), "");
}
