// SPDX-License-Identifier: MIT
// TAP 1.8 blocks on the wire: the checksum, where each item ends, and blocks taken apart.
#include "engine/Tap18Block.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace ostrella;
using namespace ostrella::tap18;

namespace {

std::string chars(const std::array<char, 3>& sum)
{
    return std::string(sum.begin(), sum.end());
}

} // namespace

TEST(Tap18Block, ChecksumSumsSevenBitValuesAndKeepsTwelveBits)
{
    EXPECT_EQ(chars(checksum("\x02"
                             "123\rABC\r\x03")),
              "17;");
    // Bit 7 does not count: 0xC1 adds what 'A' adds.
    EXPECT_EQ(chars(checksum("\x02\xC1\x03")),
              chars(checksum("\x02"
                             "A\x03")));
    // 40 x 'z' (122) + STX + ETX = 4885 = 0x1315: only 0x315 is sent.
    EXPECT_EQ(chars(checksum("\x02" + std::string(40, 'z') + "\x03")), "315");
    EXPECT_EQ(chars(checksum(std::string(1, '\x7F'))), "07?");
}

TEST(Tap18Block, EachItemEndsWhereItsFramingSays)
{
    struct Case {
        const char* name;
        std::string rx;
        bool quiet;
        FrameKind kind;
        std::size_t length;
    };
    const std::string block = "\x02"
                              "123\rABC\r\x03"
                              "17;\r";
    const std::string longText(300, 'x');
    const std::string longBlock = "\x02" + std::string(300, 'y');
    const Case cases[] = {
        { "nothing", "", false, FrameKind::Incomplete, 0 },
        { "line ends", "\r\n\r\x02", false, FrameKind::LineEnds, 3 },
        { "a whole block", block + "\x02", false, FrameKind::Block, block.size() },
        { "block waiting for its checksum", block.substr(0, 11), false, FrameKind::Incomplete, 0 },
        { "block cut short, line quiet", block.substr(0, 11), true, FrameKind::Block, 11 },
        { "block with no CR after the checksum", block.substr(0, 13) + "\x04\r", false,
          FrameKind::Block, 13 },
        { "ETB and US end blocks too",
          "\x02"
          "1\r\x17"
          "abc\r",
          false, FrameKind::Block, 8 },
        { "US",
          "\x02"
          "1\rAB\x1f"
          "abc\r",
          false, FrameKind::Block, 10 },
        { "no terminator before the next STX",
          "\x02"
          "123\r\x02",
          false, FrameKind::Unterminated, 5 },
        { "no terminator, waiting",
          "\x02"
          "123\rABC\r17;\r",
          false, FrameKind::Incomplete, 0 },
        { "no terminator, line quiet",
          "\x02"
          "123\rABC\r17;\r",
          true, FrameKind::Unterminated, 13 },
        { "more than a block holds", longBlock, false, FrameKind::OverlongBlock, 252 },
        { "EOT", "\x04\r\x02", false, FrameKind::Eot, 2 },
        { "EOT waiting for CR", "\x04", false, FrameKind::Incomplete, 0 },
        { "text", "hello\rmore", false, FrameKind::Text, 6 },
        { "text before a block", "xx\x02", false, FrameKind::Stray, 2 },
        { "text waiting for CR", "hello", true, FrameKind::Incomplete, 0 },
        { "text as long as a block", longText, false, FrameKind::OverlongText, 256 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Frame f = nextFrame(c.rx, c.quiet);
        EXPECT_EQ(f.kind, c.kind);
        EXPECT_EQ(f.length, c.length);
    }
}

TEST(Tap18Block, BlocksAreTakenApartWithTransparencyUndone)
{
    const DecodedTap18Block worked = decodeTap18Block("\x02"
                                                      "123\rABC\r\x03"
                                                      "17;\r");
    EXPECT_EQ(worked.terminator, '\x03');
    EXPECT_EQ(worked.fields, (std::vector<std::string> { "123", "ABC" }));
    EXPECT_TRUE(worked.checksumGood);
    EXPECT_EQ(worked.checksumSent, "17;");

    // SUB M is CR, SUB J is LF, SUB [ is ESC; an empty field is a field.
    const DecodedTap18Block escaped = decodeTap18Block("\x02"
                                                       "1\rA\x1aMB\x1aJ\x1a[\r\r\x17"
                                                       "000\r");
    EXPECT_EQ(escaped.terminator, '\x17');
    EXPECT_EQ(escaped.fields, (std::vector<std::string> { "1", "A\rB\n\x1b", "" }));
    EXPECT_TRUE(escaped.transparencyGood);
    EXPECT_FALSE(escaped.checksumGood);

    // US: the part after the last CR is a field still open, even when empty.
    EXPECT_EQ(decodeTap18Block("\x02"
                               "1\rHel\x1f"
                               "000\r")
                  .fields,
              (std::vector<std::string> { "1", "Hel" }));
    EXPECT_EQ(decodeTap18Block("\x02"
                               "1\r\x1f"
                               "000\r")
                  .fields,
              (std::vector<std::string> { "1", "" }));

    EXPECT_FALSE(decodeTap18Block("\x02"
                                  "1\rA\x1a"
                                  "a\r\x03"
                                  "000\r")
                     .transparencyGood);
    const DecodedTap18Block open = decodeTap18Block("\x02"
                                                    "123\rABC\r");
    EXPECT_EQ(open.terminator, 0);
    EXPECT_EQ(open.fields, (std::vector<std::string> { "123", "ABC" }));
    EXPECT_FALSE(open.checksumGood);
}
