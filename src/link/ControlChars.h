// SPDX-License-Identifier: MIT
// The line's control characters, by their ASCII names, and the upper case of line text.
#pragma once

#include <array>
#include <string_view>

namespace ostrella {

inline constexpr char Stx = 0x02;
inline constexpr char Etx = 0x03;
inline constexpr char Eot = 0x04;
inline constexpr char Ack = 0x06;
inline constexpr char Lf = 0x0A;
inline constexpr char Cr = 0x0D;
inline constexpr char Nak = 0x15;
inline constexpr char Etb = 0x17;
inline constexpr char Esc = 0x1B;
inline constexpr char Rs = 0x1E;
inline constexpr char Us = 0x1F;

// The ASCII names of the codes 0 to 31.
inline constexpr std::array<std::string_view, 32> ControlNames {
    "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",
    "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
    "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US",
};

// The name of a control character (codes 0-31 and DEL), or "" for any other byte.
constexpr std::string_view controlName(unsigned char c)
{
    if (c < ControlNames.size())
        return ControlNames[c];
    return c == 0x7F ? std::string_view("DEL") : std::string_view();
}

// A byte's upper case: only the letters a to z change, whatever the locale (line text is bytes).
constexpr char upper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace ostrella
