// SPDX-License-Identifier: MIT
// What several console tests send.
#pragma once

#include <string>

namespace ostrella::harness {

// A classic block the terminal takes: pager 123, message ABC, and its checksum.
inline const std::string Block = std::string("\x02"
                                             "123\rABC\r\x03"
                                             "17;\r");

} // namespace ostrella::harness
