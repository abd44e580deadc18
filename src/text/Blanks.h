// SPDX-License-Identifier: MIT
// Text without the blanks (spaces and tabs) around it, as lists and header fields are read.
#pragma once

#include <string_view>

namespace ostrella {

inline std::string_view withoutBlanks(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

} // namespace ostrella
