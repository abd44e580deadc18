// SPDX-License-Identifier: MIT
#include "sim/Line.h"

namespace ostrella {

Line::Line(const LinePorts& ports, SystemLog& log)
    : link(log, ports.systemLog, ports.socket, ports.ComTimer)
    , engine(link, log, ports.petLog, ports.panel, ports.clock, ports.tmrDummyPkts, ports.labels)
    , socket_(ports.socket)
    , tmrDummyPkts_(ports.tmrDummyPkts)
{
    link.setCallEvents(&engine);
    ports.tmrDummyPkts.setInterval(Engine::SlowTickMs);
    ports.ComTimer.setInterval(LineLink::ComTimerInterval);
}

} // namespace ostrella
