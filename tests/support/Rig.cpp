// SPDX-License-Identifier: MIT
#include "support/Rig.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace ostrella::test {

std::string startupLineV101(const std::string& port)
{
    return "Main: Ostrella on " + port + " now operational using version  V1.0(1) 2014";
}

Rig::Rig(const std::string& port, bool start)
    : tmrDummyPkts(clock, "tmrDummyPkts")
    , ComTimer(clock, "ComTimer")
    , sim(Ports { clock, tmrDummyPkts, ComTimer, server, socket, systemLog, petLog, panel, labels })
    , scheduler_(clock)
{
    socket.clock = &clock;
    scheduler_.add(tmrDummyPkts);
    scheduler_.add(ComTimer);
    tmrDummyPkts.onTick = [this] { sim.tmrDummyPkts_Timer(); };
    ComTimer.onTick = [this] { sim.ComTimer_Timer(); };
    if (start) {
        EXPECT_TRUE(sim.Start(port, startupLineV101)) << sim.listener.listenError();
    }
}

void Rig::advance(std::int64_t ms)
{
    if (!scheduler_.advance(ms))
        ADD_FAILURE() << "livelock: more than ten million timer events in one advance";
}

void Rig::nextEngineTick()
{
    const int before = tmrDummyPkts.ticks;
    while (tmrDummyPkts.ticks == before && tmrDummyPkts.enabled())
        advance(std::max<std::int64_t>(1, tmrDummyPkts.due() - clock.now));
}

void Rig::connect()
{
    sim.wskMessage_ConnectionRequest(nextRequestId_++);
}

void Rig::peerCloses()
{
    socket.dropConnection();
    sim.wskMessage_Close();
}

void Rig::clientSends(std::string_view bytes)
{
    sim.wskMessage_DataArrival(bytes);
}

std::string Rig::sentBytes() const
{
    std::string all;
    for (const Sent& s : socket.sent)
        all += s.bytes;
    return all;
}

std::string Rig::takeSent()
{
    std::string out;
    for (; sentRead_ < socket.sent.size(); ++sentRead_)
        out += socket.sent[sentRead_].bytes;
    return out;
}

std::string textOf(const std::string& line)
{
    return line.size() >= 12 ? line.substr(12) : line;
}

namespace {

std::vector<std::string> texts(const std::vector<std::string>& lines, std::size_t from = 0)
{
    std::vector<std::string> out;
    for (std::size_t i = from; i < lines.size(); ++i)
        out.push_back(textOf(lines[i]));
    return out;
}

} // namespace

std::vector<std::string> Rig::systemTexts() const
{
    return texts(systemLog.history);
}

std::vector<std::string> Rig::petTexts() const
{
    return texts(petLog.history);
}

std::vector<std::string> Rig::takePet()
{
    auto out = texts(petLog.history, petRead_);
    petRead_ = petLog.history.size();
    return out;
}

} // namespace ostrella::test
