// SPDX-License-Identifier: MIT
#include "sim/LinePolicy.h"

#include <algorithm>

namespace ostrella {

OneLine::OneLine(const LineSetup& setup, Timer& tmrDummyPkts, Timer& ComTimer, Socket& socket,
                 Labels& labels, Timer* wireTimer)
{
    lines_.push_back(std::make_unique<Line>(LinePorts { setup.clock, tmrDummyPkts, ComTimer, socket,
                                                        setup.systemLog, setup.petLog, setup.panel,
                                                        labels, wireTimer },
                                            setup.log, setup.recorder));
}

void OneLine::start()
{
    at(0).tmrDummyPkts().setEnabled(true);
}

Line* OneLine::admit()
{
    Line& line = at(0);
    if (line.socket().state() != SocketState::Closed) {
        line.endCall("takeover");
        line.socket().close();
    }
    return &line;
}

std::vector<const Line*> OneLine::busy() const
{
    if (at(0).socket().state() == SocketState::Connected)
        return { &at(0) };
    return {};
}

void OneLine::reportDropped()
{
    at(0).link.ReportDropped();
}

void OneLine::ticked()
{
    at(0).engineTick();
}

LineBank::LineBank(const LineSetup& setup, int lines, const std::function<Socket&(int)>& socket,
                   Timer& wake, Timer& tick, Labels& labels)
    : clock_(setup.clock)
    , tick_(tick)
    , labels_(labels)
    , hub_(setup.clock, wake)
{
    const auto count = static_cast<std::size_t>(std::max(lines, 1));
    lines_.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        Timer& engine = hub_.add([this, i] { lines_[i]->engineTick(); });
        Timer& com = hub_.add([this, i] { lines_[i]->link.ComTimer_Timer(); });
        Timer& wire = hub_.add([this, i] { lines_[i]->wire.tick(); });
        lines_.push_back(std::make_unique<Line>(
            LinePorts { setup.clock, engine, com, socket(static_cast<int>(i)), setup.systemLog,
                        setup.petLog, setup.panel, noLabels_, &wire },
            setup.log, setup.recorder, static_cast<int>(i + 1)));
        freeLines_.insert(freeLines_.end(), i);
    }
}

void LineBank::start()
{
    tick_.setInterval(SlowTickMs);
    tick_.setEnabled(true);
}

Line* LineBank::admit()
{
    if (freeLines_.empty())
        return nullptr;
    const std::size_t index = *freeLines_.begin();
    freeLines_.erase(freeLines_.begin());
    busyLines_.insert(index);
    Line& line = at(index);
    line.tmrDummyPkts().setEnabled(true);
    return &line;
}

bool LineBank::release(Line& line)
{
    line.tmrDummyPkts().setEnabled(false);
    line.ComTimer().setEnabled(false);
    // What it dropped last is said before it goes quiet.
    line.link.ReportDropped();
    const auto index = static_cast<std::size_t>(line.number() - 1);
    if (busyLines_.erase(index) > 0)
        freeLines_.insert(index);
    return false;
}

std::vector<const Line*> LineBank::busy() const
{
    std::vector<const Line*> lines;
    lines.reserve(busyLines_.size());
    for (const std::size_t index : busyLines_)
        lines.push_back(&at(index));
    return lines;
}

void LineBank::reportDropped()
{
    for (const std::size_t index : busyLines_)
        at(index).link.ReportDropped();
}

void LineBank::ticked()
{
    labels_.setProgress(formatTimeOfDay(clock_.localTime()) + " LINES "
                        + std::to_string(busyLines_.size()) + "/" + std::to_string(count())
                        + " busy");
}

} // namespace ostrella
