// SPDX-License-Identifier: MIT
// A PET block taken apart: STX, fields each ended by CR, ETX, three checksum characters, CR.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ostrella {

struct DecodedBlock {
    // The packet starts with STX and holds an ETX after it.
    bool isBlock = false;
    std::vector<std::string> fields;
    // Up to three characters after ETX, as sent; and the three computed over STX..ETX.
    std::string checksumSent;
    std::string checksumComputed;
};

// The fields between STX and the first ETX, split at each CR (the CR that ends the last field
// makes no empty field of its own; a block without it keeps what is there as its last field).
DecodedBlock decodeBlock(std::string_view packet);

// The message of a page: field 2, and fields 3..N joined to it with CR LF.
std::string messageOf(const std::vector<std::string>& fields);

} // namespace ostrella
