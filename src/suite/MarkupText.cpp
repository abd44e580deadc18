// SPDX-License-Identifier: MIT
#include "suite/MarkupText.h"

#include "link/ControlChars.h"

namespace ostrella {

namespace {

// How one byte is shown, appended to `out`; returns the characters it takes on screen.
std::size_t appendShown(std::string& out, unsigned char c)
{
    constexpr char Hex[] = "0123456789ABCDEF";
    if (const std::string_view name = controlName(c); !name.empty()) {
        out += '<';
        out += name;
        out += '>';
        return name.size() + 2;
    }
    if (c >= 0x80 && c <= 0x9F) {
        out += "<0x";
        out += Hex[c >> 4];
        out += Hex[c & 0x0F];
        out += '>';
        return 6;
    }
    if (c >= 0xA0) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
        return 1;
    }
    out += static_cast<char>(c);
    return 1;
}

std::size_t shownWidth(unsigned char c)
{
    if (const std::string_view name = controlName(c); !name.empty())
        return name.size() + 2;
    return c >= 0x80 && c <= 0x9F ? 6 : 1;
}

} // namespace

std::string shownBytes(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() + 16);
    for (const char c : bytes)
        appendShown(out, static_cast<unsigned char>(c));
    return out;
}

std::string shownBytesCut(std::string_view bytes, std::size_t maxChars)
{
    std::size_t width = 0;
    for (const char c : bytes)
        width += shownWidth(static_cast<unsigned char>(c));
    if (width <= maxChars)
        return shownBytes(bytes);
    std::string out;
    width = 0;
    for (const char c : bytes) {
        const auto code = static_cast<unsigned char>(c);
        if (width + shownWidth(code) > maxChars)
            break;
        width += appendShown(out, code);
    }
    return out + "\u2026 (" + std::to_string(bytes.size()) + ")";
}

std::string escapedMarkup(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size() + 16);
    for (const char c : utf8) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string markupOfBytes(std::string_view bytes)
{
    return escapedMarkup(shownBytes(bytes));
}

std::string secondsText(std::int64_t ms)
{
    if (ms <= 0)
        return "0";
    if (ms < 995) {
        const std::int64_t hundredths = (ms + 5) / 10;
        return "0." + std::string(hundredths < 10 ? "0" : "") + std::to_string(hundredths);
    }
    const std::int64_t tenths = ms / 100 + (ms % 100 >= 50 ? 1 : 0);
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

} // namespace ostrella
