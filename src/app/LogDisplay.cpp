// SPDX-License-Identifier: MIT
#include "app/LogDisplay.h"

#include <array>

namespace ostrella {

namespace {

constexpr std::array<const char*, 32> ControlNames {
    "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",
    "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
    "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US",
};

void appendByte(QString& out, unsigned char c)
{
    if (c < ControlNames.size()) {
        out += QLatin1Char('<');
        out += QLatin1String(ControlNames[c]);
        out += QLatin1Char('>');
    } else if (c == 0x7F) {
        out += QLatin1String("<DEL>");
    } else if (c >= 0x80 && c <= 0x9F) {
        constexpr char Hex[] = "0123456789ABCDEF";
        out += QLatin1String("<0x");
        out += QLatin1Char(Hex[c >> 4]);
        out += QLatin1Char(Hex[c & 0x0F]);
        out += QLatin1Char('>');
    } else {
        out += QChar(c);
    }
}

} // namespace

QString displayText(std::string_view line, std::size_t limit)
{
    const std::size_t shown = line.size() > limit ? limit : line.size();
    QString out;
    out.reserve(static_cast<qsizetype>(shown) + 16);
    for (std::size_t i = 0; i < shown; ++i)
        appendByte(out, static_cast<unsigned char>(line[i]));
    if (shown < line.size())
        out += QChar(0x2026) + QStringLiteral("(%1 bytes)").arg(line.size());
    return out;
}

} // namespace ostrella
