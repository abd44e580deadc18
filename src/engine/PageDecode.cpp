// SPDX-License-Identifier: MIT
#include "engine/PageDecode.h"

#include "engine/Checksum.h"
#include "link/ControlChars.h"

namespace ostrella {

DecodedBlock decodeBlock(std::string_view packet)
{
    DecodedBlock block;
    const std::size_t etx = packet.find(Etx, 1);
    if (packet.empty() || packet.front() != Stx || etx == std::string_view::npos)
        return block;
    block.isBlock = true;
    std::string_view body = packet.substr(1, etx - 1);
    while (!body.empty()) {
        const std::size_t cr = body.find(Cr);
        block.fields.emplace_back(body.substr(0, cr));
        body = cr == std::string_view::npos ? std::string_view() : body.substr(cr + 1);
    }
    block.checksumSent = std::string(packet.substr(etx + 1, 3));
    const auto computed = checksumChars(packet.substr(0, etx + 1));
    block.checksumComputed.assign(computed.begin(), computed.end());
    return block;
}

std::string messageOf(const std::vector<std::string>& fields)
{
    std::string message;
    for (std::size_t i = 1; i < fields.size(); ++i) {
        if (i > 1)
            message += "\r\n";
        message += fields[i];
    }
    return message;
}

} // namespace ostrella
