// SPDX-License-Identifier: MIT
#include "support/Fakes.h"

#include "engine/Checksum.h"

#include <algorithm>

namespace ostrella::test {

TimeOfDay VirtualClock::localTime() const
{
    const std::int64_t s = (startOfDay + now / 1000) % 86400;
    return TimeOfDay { static_cast<int>(s / 3600), static_cast<int>(s / 60 % 60),
                       static_cast<int>(s % 60) };
}

VirtualTimer::VirtualTimer(const VirtualClock& clock, const char* name)
    : clock_(clock)
    , name_(name)
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

bool Scheduler::advance(std::int64_t ms, const std::function<void(VirtualTimer&)>& after,
                        int maxEvents)
{
    const std::int64_t target = clock_.now + ms;
    for (int events = 0;; ++events) {
        VirtualTimer* next = nullptr;
        for (VirtualTimer* t : timers_) {
            if (t->enabled() && t->due() <= target && (next == nullptr || t->due() < next->due()))
                next = t;
        }
        if (next == nullptr)
            break;
        if (events == maxEvents)
            return false;
        clock_.now = next->due();
        next->fire();
        if (after)
            after(*next);
    }
    clock_.now = target;
    return true;
}

bool FakeSocket::send(std::string_view bytes)
{
    if (state_ != SocketState::Connected)
        ++sendsWhileClosed;
    if (onSend)
        onSend(bytes);
    if (failSends)
        return false;
    sent.push_back(Sent { clock != nullptr ? clock->now : 0, std::string(bytes) });
    return true;
}

bool FakeServerSocket::listen(int port)
{
    ++listenCalls;
    if (refuseListen) {
        error_ = "The bound address is already in use";
        return false;
    }
    if (listening_ && (port == 0 || port == port_))
        return true;
    listening_ = true;
    port_ = port == 0 ? 40000 : port;
    error_.clear();
    return true;
}

bool FakeServerSocket::accept(long requestId, Socket& line)
{
    if (port_ == 0 || (pendingId && *pendingId != requestId))
        return false;
    pendingId.reset();
    static_cast<FakeSocket&>(line).connect();
    return true;
}

std::string FakeServerSocket::refuse(long requestId)
{
    refused.push_back(requestId);
    return refusedIp;
}

void VectorLogView::insertTop(const std::string& line)
{
    lines.insert(lines.begin(), line);
    if (keepHistory)
        history.push_back(line);
}

void VectorLogView::selectTop()
{
    if (lines.empty() && misuse.empty())
        misuse = "selected the top line of an empty list";
    selected = 0;
}

void VectorLogView::removeAt(int index)
{
    if (index < 0 || index >= count()) {
        if (misuse.empty())
            misuse = "removed line " + std::to_string(index) + " of " + std::to_string(count());
        return;
    }
    lines.erase(lines.begin() + index);
}

void FakePanel::tick(Box box, bool on)
{
    if (on)
        boxes.insert(box);
    else
        boxes.erase(box);
}

void FakeLabels::setProgress(const std::string& text)
{
    if (progress.size() >= keep)
        progress.erase(progress.begin());
    progress.push_back(text);
}

void FakeLabels::setBanner(const std::string& text)
{
    if (banner.size() >= keep)
        banner.erase(banner.begin());
    banner.push_back(text);
}

std::string blockWithChecksum(std::string_view body)
{
    const auto c = checksumChars(body);
    return std::string(body) + c[0] + c[1] + c[2] + '\r';
}

} // namespace ostrella::test
