// SPDX-License-Identifier: MIT
// libFuzzer target over the core. The input is decoded into events (see FuzzEvents.h) played into
// one simulator wired to small fakes in virtual time. After every event, timer ticks included, the
// core's invariants are checked; a violation prints what broke and aborts. Setting
// OSTRELLA_FUZZ_TRACE in the environment prints each event as it is played.
#include "FuzzEvents.h"
#include "link/SevenBit.h"
#include "sim/Simulator.h"

#include <algorithm>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrella::fuzz {
namespace {

// Bounds that keep one input fast; events past them do nothing.
constexpr std::int64_t MaxVirtualMs = 15 * 60 * 1000;
constexpr std::size_t MaxClientBytes = 1 << 20;
// After the last event: long enough for the slowest reply (no answer, 40 s) and a receive wait.
constexpr std::int64_t FinalMs = 50 * 1000;
constexpr int SystemTimerMs = 100;

bool tracing = false;

void trace(const char* format, ...)
{
    if (!tracing)
        return;
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
}

[[noreturn]] void violated(const std::string& what)
{
    std::fprintf(stderr, "ostrella_fuzz: invariant violated: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

std::string hex(std::string_view bytes)
{
    std::string out;
    char buf[4];
    for (const char c : bytes.substr(0, 64)) {
        std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned char>(c));
        out += buf;
    }
    if (bytes.size() > 64)
        out += "...(" + std::to_string(bytes.size()) + " bytes)";
    return out;
}

class FuzzClock : public Clock {
public:
    std::int64_t nowMs() const override { return now; }
    TimeOfDay localTime() const override
    {
        // Starts two minutes before midnight, so long inputs see the day roll over.
        const std::int64_t s = (86400 - 120 + now / 1000) % 86400;
        return TimeOfDay { static_cast<int>(s / 3600), static_cast<int>(s / 60 % 60),
                           static_cast<int>(s % 60) };
    }
    std::int64_t now = 0;
};

class FuzzTimer : public Timer {
public:
    FuzzTimer(const FuzzClock& clock, const char* name)
        : clock_(clock)
        , name_(name)
    {
    }
    bool enabled() const override { return enabled_; }
    void setEnabled(bool on) override
    {
        if (on && !enabled_)
            due_ = clock_.now + interval_;
        enabled_ = on;
    }
    int interval() const override { return interval_; }
    void setInterval(int ms) override
    {
        if (ms != 50 && ms != 100 && ms != 500)
            violated(std::string(name_) + " interval set to " + std::to_string(ms));
        interval_ = ms;
        if (enabled_)
            due_ = clock_.now + ms;
    }
    std::int64_t due() const { return due_; }
    const char* name() const { return name_; }
    void fire()
    {
        due_ = clock_.now + std::max(interval_, 1);
        onTick();
    }
    std::function<void()> onTick;

private:
    const FuzzClock& clock_;
    const char* name_;
    bool enabled_ = false;
    int interval_ = 0;
    std::int64_t due_ = 0;
};

// Every text the simulator may write to a client.
const std::vector<std::string>& Replies()
{
    static const std::vector<std::string> replies {
        "OK\r\n",
        "CONNECT\r\n",
        "BUSY\r\n",
        "NO CARRIER\r\n",
        "NO DIALTONE\r\n",
        "",
        "ID=\r\n",
        std::string { Ack, Cr, Esc } + "[p" + Cr,
        std::string { Ack, Cr },
        std::string { Nak, Cr },
        std::string { Rs, Cr },
        std::string { Esc, Eot, Cr },
    };
    return replies;
}

// The one socket: a server that listens and at most one connection. close() ends the connection
// only; refusing the port also loses the listener, as a server whose port was taken would.
class FuzzSocket : public Socket {
public:
    SocketState state() const override
    {
        return connected_ ? SocketState::Connected
                          : (listening_ ? SocketState::Listening : SocketState::Closed);
    }
    bool listen(int port) override
    {
        if (listening_ && port == port_)
            return true;
        if (refuseListen) {
            error_ = "The bound address is already in use";
            return false;
        }
        listening_ = true;
        port_ = port;
        error_.clear();
        return true;
    }
    bool accept(long requestId) override
    {
        if (requestId != pendingId)
            return false;
        pendingId = 0;
        connected_ = true;
        return true;
    }
    void close() override { connected_ = false; }
    bool send(std::string_view bytes) override
    {
        if (!connected_)
            violated("wrote " + hex(bytes) + " with no connection open");
        const bool sevenBit = session != nullptr && session->gSevenBitActive;
        bool known = false;
        for (const std::string& r : Replies())
            known = known || bytes == (sevenBit ? SevenBitEncode(r) : r);
        if (!known)
            violated(std::string("wrote ") + (sevenBit ? "seven-bit " : "") + hex(bytes)
                     + ", no reply of the simulator");
        trace("  -> %s\n", hex(bytes).c_str());
        return !failSends;
    }
    int localPort() const override { return port_; }
    std::string localIp() const override { return "192.0.2.7"; }
    std::string remoteHostIp() const override { return "198.51.100.3"; }
    std::string errorString() const override { return error_; }

    bool listening() const { return listening_; }
    void loseListener() { listening_ = false; }
    // The peer has gone; the core hears of it next.
    void drop() { connected_ = false; }

    const Session* session = nullptr;
    long pendingId = 0;
    bool refuseListen = false;
    bool failSends = false;

private:
    bool listening_ = false;
    bool connected_ = false;
    int port_ = 0;
    std::string error_;
};

class FuzzLogView : public LogView {
public:
    explicit FuzzLogView(const char* name)
        : name_(name)
    {
    }
    void insertTop(const std::string& line) override { lines_.insert(lines_.begin(), line); }
    void selectTop() override
    {
        if (lines_.empty())
            violated(std::string(name_) + ": selected the top line of an empty list");
    }
    int count() const override { return static_cast<int>(lines_.size()); }
    void removeAt(int index) override
    {
        if (index < 0 || index >= count())
            violated(std::string(name_) + ": removed line " + std::to_string(index) + " of "
                     + std::to_string(count()));
        lines_.erase(lines_.begin() + index);
    }
    const char* name() const { return name_; }

private:
    const char* name_;
    std::vector<std::string> lines_;
};

class FuzzPanel : public TestPanel {
public:
    bool ticked(Box box) const override { return (boxes >> static_cast<unsigned>(box)) & 1U; }
    unsigned boxes = 0;
};

class FuzzLabels : public Labels {
public:
    void setProgress(const std::string&) override { }
    void setBanner(const std::string&) override { }
};

// Reads the input front to back; past its end every byte reads as zero.
class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size)
        : data_(data)
        , size_(size)
    {
    }
    bool done() const { return pos_ >= size_; }
    unsigned u8() { return pos_ < size_ ? data_[pos_++] : 0U; }
    unsigned u16()
    {
        const unsigned hi = u8();
        return (hi << 8) | u8();
    }
    std::string_view bytes(std::size_t n)
    {
        n = std::min(n, size_ - std::min(pos_, size_));
        const std::string_view out(reinterpret_cast<const char*>(data_) + pos_, n);
        pos_ += n;
        return out;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

class Harness {
public:
    Harness()
        : tmrDummyPkts_(clock_, "tmrDummyPkts")
        , ComTimer_(clock_, "ComTimer")
        , tmrSystem_(clock_, "tmrSystem")
        , systemLog_("system log")
        , petLog_("PET log")
        , sim_(Ports { clock_, tmrDummyPkts_, ComTimer_, socket_, systemLog_, petLog_, panel_,
                       labels_ })
    {
        socket_.session = &sim_.session;
        tmrDummyPkts_.onTick = [this] {
            sim_.tmrDummyPkts_Timer();
            ticked_ = true;
        };
        ComTimer_.onTick = [this] { sim_.ComTimer_Timer(); };
        // The shell's system timer retries a failed listen.
        tmrSystem_.onTick = [this] {
            if (sim_.link.listenPending())
                sim_.link.RetryListen();
        };
        tmrSystem_.setInterval(SystemTimerMs);
        tmrSystem_.setEnabled(true);
        if (!sim_.Start("9001", Version { 1, 0, 1 }))
            violated("the simulator did not start: " + sim_.link.listenError());
        check("start");
    }

    void play(Reader& in)
    {
        while (!in.done()) {
            const auto op = static_cast<Op>(in.u8() % static_cast<unsigned>(Op::Count));
            playOne(op, in);
            check("event");
        }
        advance(FinalMs);
    }

private:
    void playOne(Op op, Reader& in)
    {
        switch (op) {
        case Op::Send:
            clientSends(std::string(in.bytes(in.u8())));
            break;
        case Op::SendLong:
            clientSends(std::string(in.bytes(in.u16())));
            break;
        case Op::SendRepeat: {
            const std::string pattern(in.bytes(in.u8() % 16 + 1));
            const std::size_t length = 2 * std::size_t { in.u16() } + 1;
            std::string text;
            if (!pattern.empty()) {
                text.reserve(length);
                while (text.size() < length)
                    text += pattern;
                text.resize(length);
            }
            clientSends(text);
            break;
        }
        case Op::Token: {
            const std::string_view token = Tokens[in.u8() % Tokens.size()];
            clientSends((in.u8() & 1U) != 0 ? SevenBitEncode(token) : std::string(token));
            break;
        }
        case Op::Block: {
            const std::string_view body = in.bytes(in.u8());
            const unsigned flags = in.u8();
            const std::string block = BlockBytes(body, (flags & 1U) != 0);
            clientSends((flags & 2U) != 0 ? SevenBitEncode(block) : block);
            break;
        }
        case Op::Advance:
            advance(1 + in.u16() % 60000);
            break;
        case Op::AdvanceShort:
            advance(1 + in.u8());
            break;
        case Op::NextEngineTick:
            if (tmrDummyPkts_.enabled())
                advance(std::max<std::int64_t>(1, tmrDummyPkts_.due() - clock_.now));
            break;
        case Op::Connect:
            if (socket_.listening()) {
                socket_.pendingId = ++lastRequestId_;
                trace("connect %ld\n", lastRequestId_);
                sim_.link.wskMessage_ConnectionRequest(lastRequestId_);
                socket_.pendingId = 0;
            }
            break;
        case Op::PeerClose:
            if (socket_.state() == SocketState::Connected) {
                trace("peer closes\n");
                socket_.drop();
                sim_.link.wskMessage_Close();
            }
            break;
        case Op::SocketError:
            trace("socket error\n");
            sim_.link.wskMessage_Error();
            break;
        case Op::FailSends:
            socket_.failSends = (in.u8() & 1U) != 0;
            trace("writes %s\n", socket_.failSends ? "fail" : "succeed");
            break;
        case Op::ToggleBox:
            panel_.boxes ^= 1U << (in.u8() % 8);
            trace("boxes %02x\n", panel_.boxes);
            break;
        case Op::SetBoxes:
            panel_.boxes = in.u8();
            trace("boxes %02x\n", panel_.boxes);
            break;
        case Op::RefuseListen:
            socket_.refuseListen = (in.u8() & 1U) != 0;
            if (socket_.refuseListen)
                socket_.loseListener();
            trace("listen %s\n", socket_.refuseListen ? "refused" : "allowed");
            break;
        case Op::Count:
            break;
        }
    }

    // Bytes reach the core only over an open connection, as they do from the shell.
    void clientSends(const std::string& text)
    {
        if (socket_.state() != SocketState::Connected || clientBytes_ >= MaxClientBytes)
            return;
        clientBytes_ += text.size();
        trace("client %s\n", hex(text).c_str());
        sim_.link.wskMessage_DataArrival(text);
    }

    // Runs every timer due up to now + ms, earliest first (ties: engine, receive wait, system).
    void advance(std::int64_t ms)
    {
        ms = std::min(ms, MaxVirtualMs - clock_.now);
        if (ms <= 0)
            return;
        trace("advance %lld ms\n", static_cast<long long>(ms));
        const std::int64_t target = clock_.now + ms;
        for (;;) {
            FuzzTimer* next = nullptr;
            for (FuzzTimer* t : { &tmrDummyPkts_, &ComTimer_, &tmrSystem_ }) {
                if (t->enabled() && t->due() <= target
                    && (next == nullptr || t->due() < next->due()))
                    next = t;
            }
            if (next == nullptr)
                break;
            clock_.now = next->due();
            next->fire();
            check(next->name());
        }
        clock_.now = target;
    }

    void check(const char* after)
    {
        const Session& s = sim_.session;
        const auto state = static_cast<std::size_t>(s.gLineState);
        if (state >= LineStateNames.size())
            violated(std::string("after ") + after + ": line state " + std::to_string(state));
        if (ticked_ && s.gLineState == LineState::Empty)
            violated(std::string("after ") + after + ": line state empty after the first tick");
        if (s.gRxString.size() > LineLink::RxStringLimit)
            violated(std::string("after ") + after + ": gRxString holds "
                     + std::to_string(s.gRxString.size()) + " bytes");
        if (sim_.log.queued() > SystemLog::QueueSize)
            violated(std::string("after ") + after + ": " + std::to_string(sim_.log.queued())
                     + " log lines queued");
        for (const FuzzLogView* v : { &systemLog_, &petLog_ }) {
            if (v->count() > SystemLog::MaxListLines)
                violated(std::string("after ") + after + ": " + v->name() + " shows "
                         + std::to_string(v->count()) + " lines");
        }
        for (const FuzzTimer* t : { &tmrDummyPkts_, &ComTimer_ }) {
            if (t->interval() != 50 && t->interval() != 100 && t->interval() != 500)
                violated(std::string("after ") + after + ": " + t->name() + " interval "
                         + std::to_string(t->interval()));
        }
        // The engine never stops; a receive wait in progress always has its timer running.
        if (!tmrDummyPkts_.enabled())
            violated(std::string("after ") + after + ": engine timer stopped");
        if (sim_.link.captureState() != 0 && !ComTimer_.enabled())
            violated(std::string("after ") + after + ": receive wait in state "
                     + std::to_string(sim_.link.captureState()) + " with its timer stopped");
    }

    FuzzClock clock_;
    FuzzTimer tmrDummyPkts_;
    FuzzTimer ComTimer_;
    FuzzTimer tmrSystem_;
    FuzzSocket socket_;
    FuzzLogView systemLog_;
    FuzzLogView petLog_;
    FuzzPanel panel_;
    FuzzLabels labels_;
    Simulator sim_;
    long lastRequestId_ = 0;
    std::size_t clientBytes_ = 0;
    bool ticked_ = false;
};

} // namespace
} // namespace ostrella::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    ostrella::fuzz::tracing = std::getenv("OSTRELLA_FUZZ_TRACE") != nullptr;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ostrella::fuzz::Reader in(data, size);
    ostrella::fuzz::Harness harness;
    harness.play(in);
    return 0;
}
