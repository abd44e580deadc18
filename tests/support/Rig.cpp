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
    , wireTimer(clock, "wireTimer")
    , sim(Ports { clock, tmrDummyPkts, ComTimer, server, socket, systemLog, petLog, panel, labels,
                  nullptr, &wireTimer })
    , scheduler_(clock)
{
    socket.clock = &clock;
    scheduler_.add(tmrDummyPkts);
    scheduler_.add(ComTimer);
    scheduler_.add(wireTimer);
    wireTimer.onTick = [this] { sim.wireTimer_Timer(); };
    tmrDummyPkts.onTick = [this] { sim.tmrDummyPkts_Timer(); };
    ComTimer.onTick = [this] { sim.ComTimer_Timer(); };
    if (start) {
        EXPECT_TRUE(sim.Start(port, startupLineV101)) << sim.listener().listenError();
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

namespace {

std::vector<std::unique_ptr<FakeSocket>> fakeSockets(int count, const VirtualClock& clock)
{
    std::vector<std::unique_ptr<FakeSocket>> out;
    for (int i = 0; i < count; ++i) {
        out.push_back(std::make_unique<FakeSocket>());
        out.back()->clock = &clock;
    }
    return out;
}

} // namespace

BankRig::BankRig(int lines)
    : tmrDummyPkts(clock, "tmrDummyPkts")
    , ComTimer(clock, "ComTimer")
    , wake(clock, "tmrLines")
    , sockets(fakeSockets(lines, clock))
    , bank { lines,
             [this](int index) -> Socket& { return *sockets[static_cast<std::size_t>(index)]; },
             &wake }
    , sim(Ports { clock, tmrDummyPkts, ComTimer, server, unused, systemLog, petLog, panel, labels,
                  &bank })
    , scheduler_(clock)
    , sentRead_(static_cast<std::size_t>(lines), 0)
{
    scheduler_.add(tmrDummyPkts);
    scheduler_.add(ComTimer);
    scheduler_.add(wake);
    tmrDummyPkts.onTick = [this] { sim.tmrDummyPkts_Timer(); };
    wake.onTick = [this] { sim.linesDue(); };
    EXPECT_TRUE(sim.Start("9001", startupLineV101));
}

void BankRig::advance(std::int64_t ms)
{
    if (!scheduler_.advance(ms))
        ADD_FAILURE() << "livelock: more than ten million timer events in one advance";
}

void BankRig::connect(const std::string& ip)
{
    server.refusedIp = ip;
    for (auto& socket : sockets) {
        if (socket->state() == SocketState::Closed)
            socket->peerIp = ip;
    }
    sim.wskMessage_ConnectionRequest(nextRequestId_++);
}

void BankRig::peerCloses(std::size_t index)
{
    sockets[index]->dropConnection();
    sim.wskMessage_Close(index);
}

void BankRig::clientSends(std::size_t index, std::string_view bytes)
{
    sim.wskMessage_DataArrival(index, bytes);
}

namespace {

// What `socket` sent since `read` of its writes, taken.
std::string takeWrites(const FakeSocket& socket, std::size_t& read)
{
    std::string out;
    for (; read < socket.sent.size(); ++read)
        out += socket.sent[read].bytes;
    return out;
}

} // namespace

std::string BankRig::takeSent(std::size_t index)
{
    return takeWrites(*sockets[index], sentRead_[index]);
}

std::string BankRig::exchange(std::size_t index, std::string_view bytes, std::int64_t ms)
{
    clientSends(index, bytes);
    advance(ms);
    return takeSent(index);
}

namespace {

// The lines without "hh:mm:ss : ".
std::vector<std::string> afterStamps(const std::vector<std::string>& lines)
{
    std::vector<std::string> out;
    for (const std::string& line : lines)
        out.push_back(line.size() >= 11 ? line.substr(11) : line);
    return out;
}

} // namespace

std::vector<std::string> BankRig::systemTexts() const
{
    return afterStamps(systemLog.history);
}

std::vector<std::string> BankRig::petTexts() const
{
    return afterStamps(petLog.history);
}

namespace {

DevicePorts devicePorts(const std::vector<std::string>& names,
                        std::vector<std::unique_ptr<FakeSocket>>& sockets, Timer& wake)
{
    DevicePorts ports { {}, &wake };
    for (std::size_t i = 0; i < names.size(); ++i)
        ports.lines.push_back(DevicePort { names[i], sockets[i].get() });
    return ports;
}

} // namespace

DeviceRig::DeviceRig(const std::vector<std::string>& names)
    : tmrDummyPkts(clock, "tmrDummyPkts")
    , ComTimer(clock, "ComTimer")
    , wake(clock, "tmrDevices")
    , sockets(fakeSockets(static_cast<int>(names.size()), clock))
    , devices(devicePorts(names, sockets, wake))
    , sim(Ports { clock, tmrDummyPkts, ComTimer, server, tcp, systemLog, petLog, panel, labels,
                  nullptr, nullptr, &devices })
    , scheduler_(clock)
    , sentRead_(names.size(), 0)
{
    for (std::size_t i = 0; i < names.size(); ++i)
        sockets[i]->peerIp = "/dev/" + names[i];
    scheduler_.add(tmrDummyPkts);
    scheduler_.add(ComTimer);
    scheduler_.add(wake);
    tmrDummyPkts.onTick = [this] { sim.tmrDummyPkts_Timer(); };
    ComTimer.onTick = [this] { sim.ComTimer_Timer(); };
    wake.onTick = [this] { sim.devicesDue(); };
    EXPECT_TRUE(sim.Start("9001", startupLineV101));
}

void DeviceRig::advance(std::int64_t ms)
{
    if (!scheduler_.advance(ms))
        ADD_FAILURE() << "livelock: more than ten million timer events in one advance";
}

void DeviceRig::opens(std::size_t index)
{
    sockets[index]->connect();
    sim.deviceOpened(index);
}

void DeviceRig::sends(std::size_t index, std::string_view bytes)
{
    sockets[index]->connect();
    sim.deviceData(index, bytes);
}

void DeviceRig::closes(std::size_t index)
{
    sockets[index]->dropConnection();
    sim.deviceClosed(index);
}

std::string DeviceRig::takeSent(std::size_t index)
{
    return takeWrites(*sockets[index], sentRead_[index]);
}

std::string DeviceRig::exchange(std::size_t index, std::string_view bytes, std::int64_t ms)
{
    sends(index, bytes);
    advance(ms);
    return takeSent(index);
}

std::vector<std::string> DeviceRig::systemTexts() const
{
    return afterStamps(systemLog.history);
}

} // namespace ostrella::test
