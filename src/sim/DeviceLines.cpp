// SPDX-License-Identifier: MIT
#include "sim/DeviceLines.h"

namespace ostrella {

DeviceLines::DeviceLines(const LineSetup& setup, const DevicePorts& ports)
    : hub_(setup.clock, *ports.wake)
{
    lines_.reserve(ports.lines.size());
    for (std::size_t i = 0; i < ports.lines.size(); ++i) {
        Timer& engine = hub_.add([this, i] { lines_[i]->engineTick(); });
        Timer& com = hub_.add([this, i] { lines_[i]->link.ComTimer_Timer(); });
        Timer& wire = hub_.add([this, i] { lines_[i]->wire.tick(); });
        lines_.push_back(std::make_unique<Line>(
            LinePorts { setup.clock, engine, com, *ports.lines[i].socket, setup.systemLog,
                        setup.petLog, setup.panel, noLabels_, &wire },
            setup.log, setup.recorder, 0, ports.lines[i].name));
    }
    busy_.assign(lines_.size(), false);
}

bool DeviceLines::open(std::size_t index)
{
    if (busy_.at(index))
        return false;
    busy_[index] = true;
    at(index).tmrDummyPkts().setEnabled(true);
    return true;
}

void DeviceLines::release(std::size_t index)
{
    if (!busy_.at(index))
        return;
    busy_[index] = false;
    Line& line = at(index);
    line.tmrDummyPkts().setEnabled(false);
    line.ComTimer().setEnabled(false);
    line.link.ReportDropped();
}

} // namespace ostrella
