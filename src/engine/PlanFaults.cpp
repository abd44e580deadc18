// SPDX-License-Identifier: MIT
#include "engine/PlanFaults.h"

namespace ostrella {

std::string garbledReply(LineContext& line, std::string reply)
{
    if (reply.size() < 2)
        return reply;
    char& control = reply[reply.size() - 2];
    const char before = control;
    control = flippedBit0(before);
    line.link.LogLineEvent("Plan garble Txd <" + std::string(1, before) + "> -> <"
                           + std::string(1, control) + ">");
    line.report().lineChanged(false, before, control);
    return reply;
}

bool corruptBlock(LineContext& line, std::string& block)
{
    if (block.size() < 2)
        return false;
    const char before = block[1];
    block[1] = flippedBit0(before);
    line.link.LogLineEvent("Plan corrupt Rxd <" + std::string(1, before) + "> -> <"
                           + std::string(1, block[1]) + ">");
    line.report().lineChanged(true, before, block[1]);
    return true;
}

void dropCarrier(LineContext& line)
{
    line.link.LogLineEvent("Plan drop, carrier lost");
    line.report().carrierDropped();
}

} // namespace ostrella
