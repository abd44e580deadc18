// SPDX-License-Identifier: MIT
// How a log line looks in a list box or on the console. The logged bytes are never altered; only
// their display is.
#pragma once

#include <QString>
#include <cstddef>
#include <string>
#include <string_view>

namespace ostrella {

// Lines longer than this many bytes are cut for display, so a flood cannot stall the list.
inline constexpr std::size_t MaxShownBytes = 2000;

// The line as shown, in UTF-8: control characters by their ASCII names in angle brackets
// ("<STX>", "<CR>", "<DEL>"), 0x80-0x9F (invisible in Latin-1) as "<0x8D>", other bytes as
// Latin-1 characters. A line longer than `limit` bytes shows its first `limit` bytes and then
// "…(N bytes)", N the whole line's length.
std::string displayUtf8(std::string_view line, std::size_t limit = MaxShownBytes);

// The same, as a QString for a list box.
QString displayText(std::string_view line, std::size_t limit = MaxShownBytes);

// Bytes as they are, one character each (Latin-1), for a cell or a file name.
inline QString latin1(const std::string& text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace ostrella
