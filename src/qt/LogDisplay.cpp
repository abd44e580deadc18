// SPDX-License-Identifier: MIT
#include "qt/LogDisplay.h"

#include "link/ControlChars.h"

namespace ostrella {

namespace {

void appendByte(std::string& out, unsigned char c)
{
    constexpr char Hex[] = "0123456789ABCDEF";
    if (const std::string_view name = controlName(c); !name.empty()) {
        out += '<';
        out += name;
        out += '>';
    } else if (c >= 0x80 && c <= 0x9F) {
        out += "<0x";
        out += Hex[c >> 4];
        out += Hex[c & 0x0F];
        out += '>';
    } else if (c >= 0xA0) {
        // Latin-1 in UTF-8: two bytes.
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(c);
    }
}

} // namespace

std::string displayUtf8(std::string_view line, std::size_t limit)
{
    const std::size_t shown = line.size() > limit ? limit : line.size();
    std::string out;
    out.reserve(shown + 16);
    for (std::size_t i = 0; i < shown; ++i)
        appendByte(out, static_cast<unsigned char>(line[i]));
    if (shown < line.size())
        out += "\u2026(" + std::to_string(line.size()) + " bytes)";
    return out;
}

QString displayText(std::string_view line, std::size_t limit)
{
    const std::string shown = displayUtf8(line, limit);
    return QString::fromUtf8(shown.data(), static_cast<qsizetype>(shown.size()));
}

} // namespace ostrella
