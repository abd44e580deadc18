// SPDX-License-Identifier: MIT
// Checks on the report's texts: counts of a marker, and that a page is clean UTF-8.
#pragma once

#include <algorithm>
#include <cstddef>
#include <gtest/gtest.h>
#include <string>
#include <string_view>
#include <vector>

namespace ostrella::test {

inline std::size_t count(std::string_view text, std::string_view what)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string_view::npos;
         at = text.find(what, at + what.size()))
        ++n;
    return n;
}

// Valid UTF-8 with no control character but LF and no C1 control (U+0080-U+009F).
inline void expectCleanUtf8(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            ASSERT_TRUE(c >= 0x20 || c == '\n') << "control " << int(c) << " at " << i;
            ASSERT_NE(c, 0x7F) << "DEL at " << i;
            ++i;
            continue;
        }
        const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
        ASSERT_NE(length, 0U) << "bad lead byte " << int(c) << " at " << i;
        ASSERT_LE(i + length, text.size()) << "cut sequence at " << i;
        for (std::size_t k = 1; k < length; ++k)
            ASSERT_EQ(static_cast<unsigned char>(text[i + k]) & 0xC0, 0x80) << "at " << i;
        ASSERT_FALSE(c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0)
            << "C1 control at " << i;
        i += length;
    }
}

// The y1 of the first line after each of the markers, in the order they come.
inline std::vector<int> lineYsAfter(std::string_view text, const std::vector<std::string>& markers)
{
    std::vector<int> ys;
    std::size_t at = 0;
    while (true) {
        std::size_t next = std::string_view::npos;
        for (const std::string& marker : markers)
            next = std::min(next, text.find(marker, at));
        if (next == std::string_view::npos)
            return ys;
        const std::size_t y1 = text.find(" y1=\"", text.find("<line ", next));
        if (y1 == std::string_view::npos)
            return ys;
        ys.push_back(std::stoi(std::string(text.substr(y1 + 5, 8))));
        at = next + 1;
    }
}

} // namespace ostrella::test
