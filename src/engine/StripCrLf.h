// SPDX-License-Identifier: MIT
#pragma once

#include "link/ControlChars.h"

#include <string>
#include <string_view>

namespace ostrella {

// The input with every CR and LF removed, the other characters kept in order.
inline std::string StripCrLf(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        if (ch != Cr && ch != Lf)
            out.push_back(ch);
    }
    return out;
}

} // namespace ostrella
