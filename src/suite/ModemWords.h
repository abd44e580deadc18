// SPDX-License-Identifier: MIT
// The modem dialogue's words as the readers of a call's timeline take them: a command line that
// dials, and the word of a result line, verbose or numeric (ATV0).
#pragma once

#include <string>
#include <string_view>

namespace ostrella::modemwords {

inline std::string upperAscii(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

// "ATDT5551234", "AT&F1 DP 555": an AT command that dials (a D that is no &D, \D or %D).
inline bool isDialCommand(std::string_view line)
{
    const std::string command = upperAscii(line);
    if (!command.starts_with("AT"))
        return false;
    for (std::size_t i = 2; i < command.size(); ++i) {
        if (command[i] == 'D'
            && std::string_view("&\\%").find(command[i - 1]) == std::string_view::npos)
            return true;
    }
    return false;
}

// The word of a result line ("CONNECT" for "CONNECT 1200" and for 1, 5 and 9 up; "BUSY" for 7);
// "" for any other line.
inline std::string resultWord(std::string_view line)
{
    const std::string text = upperAscii(line);
    for (std::string_view word :
         { "CONNECT", "BUSY", "NO CARRIER", "NO DIALTONE", "ERROR", "NO ANSWER", "OK", "RING" }) {
        if (text.starts_with(word))
            return std::string(word);
    }
    if (text.empty() || text.size() > 2
        || text.find_first_not_of("0123456789") != std::string::npos)
        return {};
    switch (std::stoi(text)) {
    case 0:
        return "OK";
    case 1:
    case 5:
        return "CONNECT";
    case 2:
        return "RING";
    case 3:
        return "NO CARRIER";
    case 4:
        return "ERROR";
    case 6:
        return "NO DIALTONE";
    case 7:
        return "BUSY";
    case 8:
        return "NO ANSWER";
    default:
        return "CONNECT";
    }
}

} // namespace ostrella::modemwords
