// SPDX-License-Identifier: MIT
#include "qt/LogDisplay.h"

#include "link/ControlChars.h"

namespace ostrella {

namespace {

void appendByte(QString& out, unsigned char c)
{
    if (const std::string_view name = controlName(c); !name.empty()) {
        out += QLatin1Char('<');
        out += QLatin1String(name.data(), static_cast<qsizetype>(name.size()));
        out += QLatin1Char('>');
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
