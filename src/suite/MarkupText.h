// SPDX-License-Identifier: MIT
// Texts for the report's HTML and SVG. Every text a report shows is taken as bytes (0-255) and
// shown as Latin-1 in UTF-8, controls by name, so no byte from the line can break the markup or
// make invalid UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ostrella {

// The bytes as people read them, in UTF-8: a control by its name in angle brackets ("<STX>",
// "<DEL>"), 0x80-0x9F as "<0x85>", 0xA0-0xFF as the Latin-1 character, the rest as they are.
std::string shownBytes(std::string_view bytes);

// The same, cut before the shown text grows past `maxChars` characters (a name in brackets
// counts its whole length), and then ended by an ellipsis and the length in bytes:
// "<STX>1234<CR>Hello wor… (58)". Bytes that fit are shown whole.
std::string shownBytesCut(std::string_view bytes, std::size_t maxChars);

// UTF-8 text with &, <, >, " and ' as entities: fit for element text and quoted attributes.
std::string escapedMarkup(std::string_view utf8);

// shownBytes() escaped: what to write of any bytes into the markup.
std::string markupOfBytes(std::string_view bytes);

// Seconds of `ms` for a label: one decimal from 1 s ("10.4"), two below ("0.35"); 0 for less.
std::string secondsText(std::int64_t ms);

} // namespace ostrella
