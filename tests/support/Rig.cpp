// SPDX-License-Identifier: MIT
#include "support/Rig.h"

#include "engine/Checksum.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace ostrella::test {

TimeOfDay VirtualClock::localTime() const
{
    const std::int64_t s = (startOfDay + now / 1000) % 86400;
    return TimeOfDay { static_cast<int>(s / 3600), static_cast<int>(s / 60 % 60),
                       static_cast<int>(s % 60) };
}

VirtualTimer::VirtualTimer(const VirtualClock& clock, int order)
    : clock_(clock)
    , order_(order)
{
}

void VirtualTimer::setEnabled(bool on)
{
    if (on && !enabled_)
        due_ = clock_.now + interval_;
    enabled_ = on;
}

void VirtualTimer::setInterval(int ms)
{
    interval_ = ms;
    if (enabled_)
        due_ = clock_.now + ms;
}

void VirtualTimer::fire()
{
    due_ = clock_.now + std::max(interval_, 1);
    ++ticks;
    if (onTick)
        onTick();
}

bool FakeSocket::listen(int port)
{
    ++listenCalls;
    if (refuseListen) {
        error_ = "The bound address is already in use";
        return false;
    }
    port_ = port;
    if (state_ == SocketState::Closed)
        state_ = SocketState::Listening;
    return true;
}

bool FakeSocket::accept(long)
{
    if (port_ == 0)
        return false;
    state_ = SocketState::Connected;
    return true;
}

void FakeSocket::close()
{
    if (state_ == SocketState::Connected)
        state_ = SocketState::Listening;
}

void FakeSocket::dropConnection()
{
    if (state_ == SocketState::Connected)
        state_ = SocketState::Listening;
}

bool FakeSocket::send(std::string_view bytes)
{
    if (failSends)
        return false;
    sent.push_back(Sent { clock != nullptr ? clock->now : 0, std::string(bytes) });
    return true;
}

void VectorLogView::insertTop(const std::string& line)
{
    lines.insert(lines.begin(), line);
    history.push_back(line);
}

void VectorLogView::removeAt(int index)
{
    lines.erase(lines.begin() + index);
}

void FakePanel::tick(Box box, bool on)
{
    if (on)
        boxes.insert(box);
    else
        boxes.erase(box);
}

Rig::Rig()
    : tmrDummyPkts(clock, 0)
    , ComTimer(clock, 1)
    , sim(Ports { clock, tmrDummyPkts, ComTimer, socket, systemLog, petLog, panel, labels })
{
    socket.clock = &clock;
    tmrDummyPkts.onTick = [this] { sim.tmrDummyPkts_Timer(); };
    ComTimer.onTick = [this] { sim.ComTimer_Timer(); };
    EXPECT_TRUE(sim.Start("9001", Version { 1, 0, 1 }));
}

void Rig::advance(std::int64_t ms)
{
    const std::int64_t target = clock.now + ms;
    constexpr int MaxEvents = 10'000'000;
    for (int events = 0;; ++events) {
        if (events == MaxEvents) {
            ADD_FAILURE() << "livelock: more than " << MaxEvents << " timer events";
            break;
        }
        VirtualTimer* next = nullptr;
        for (VirtualTimer* t : { &tmrDummyPkts, &ComTimer }) {
            if (!t->enabled() || t->due() > target)
                continue;
            if (next == nullptr || t->due() < next->due()
                || (t->due() == next->due() && t->order() < next->order()))
                next = t;
        }
        if (next == nullptr)
            break;
        clock.now = next->due();
        next->fire();
    }
    clock.now = target;
}

void Rig::nextEngineTick()
{
    const int before = tmrDummyPkts.ticks;
    while (tmrDummyPkts.ticks == before && tmrDummyPkts.enabled())
        advance(std::max<std::int64_t>(1, tmrDummyPkts.due() - clock.now));
}

void Rig::connect()
{
    sim.link.wskMessage_ConnectionRequest(nextRequestId_++);
}

void Rig::peerCloses()
{
    socket.dropConnection();
    sim.link.wskMessage_Close();
}

void Rig::clientSends(std::string_view bytes)
{
    sim.link.wskMessage_DataArrival(bytes);
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

std::string blockWithChecksum(std::string_view body)
{
    const auto c = checksumChars(body);
    return std::string(body) + c[0] + c[1] + c[2] + '\r';
}

} // namespace ostrella::test
