// SPDX-License-Identifier: MIT
// libFuzzer target over the core. The input is decoded into events (see FuzzEvents.h) played into
// one simulator wired to the virtual-time fakes the tests use, with the classic modem or (chosen
// by an event before the first call) the hayes one. After every event, timer ticks included, the
// core's invariants are checked; a violation prints what broke and aborts. Setting
// OSTRELLA_FUZZ_TRACE in the environment prints each event as it is played.
#include "FuzzEvents.h"
#include "engine/Tap18Codes.h"
#include "link/SevenBit.h"
#include "sim/Simulator.h"
#include "suite/Suite.h"
#include "support/Fakes.h"

#include <algorithm>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
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

// Every text the modem may write to a client.
const std::vector<std::string>& ModemReplies()
{
    static const std::vector<std::string> replies {
        "OK\r\n", "CONNECT\r\n", "BUSY\r\n", "NO CARRIER\r\n", "NO DIALTONE\r\n", "",
    };
    return replies;
}

// A block's replies as the terminal sends them: ACK, NAK and RS, each with CR, then each with its
// control's bit 0 flipped as the plan's garble sends it.
const std::vector<std::string>& BlockControls()
{
    static const std::vector<std::string> controls = [] {
        std::vector<std::string> out;
        for (const bool garbled : { false, true }) {
            for (const char c : { Ack, Nak, Rs })
                out.push_back({ garbled ? static_cast<char>(c ^ 1) : c, Cr });
        }
        return out;
    }();
    return controls;
}

// Every text the tap18 terminal may write: ID=, the logon's acceptance, a bare ACK (garbled or
// not), and each code line of its table followed by ACK, NAK, RS (garbled or not) or the
// disconnect (with the default settings).
const std::vector<std::string>& Tap18Replies()
{
    static const std::vector<std::string> replies = [] {
        std::vector<std::string> out { "ID=\r",
                                       codeLine(Tap18Code::Version) + Ack + Cr + Esc + "[p\r",
                                       BlockControls()[0], BlockControls()[3] };
        for (const Tap18CodeText& entry : Tap18CodeTexts) {
            for (const std::string& control : BlockControls())
                out.push_back(codeLine(entry.code) + control);
            out.push_back(codeLine(entry.code) + std::string { Esc, Eot, Cr });
        }
        return out;
    }();
    return replies;
}

// Every text the classic terminal may write to a client.
const std::vector<std::string>& ClassicReplies()
{
    static const std::vector<std::string> replies = [] {
        std::vector<std::string> out {
            "ID=\r\n",
            std::string { Ack, Cr, Esc } + "[p" + Cr,
            std::string { Esc, Eot, Cr },
        };
        out.insert(out.end(), BlockControls().begin(), BlockControls().end());
        return out;
    }();
    return replies;
}

// What the hayes modem may write, framed as it frames them: result words and information texts
// (verbose CR LF text CR LF, numeric text CR LF), result numbers (digits CR); and the terminal's
// replies (either profile's). Longest first, so that a longer text is taken before a shorter one it
// starts with.
const std::vector<std::string>& HayesPieces()
{
    static const std::vector<std::string> pieces = [] {
        std::vector<std::string> out = ModemReplies();
        out.insert(out.end(), ClassicReplies().begin(), ClassicReplies().end());
        out.insert(out.end(), Tap18Replies().begin(), Tap18Replies().end());
        for (const std::string& text : HayesModem::replyTexts()) {
            out.push_back("\r\n" + text + "\r\n");
            out.push_back(text + "\r\n");
        }
        for (int code : { 0, 1, 2, 3, 4, 6, 7, 8, 10 })
            out.push_back(std::to_string(code) + "\r");
        std::erase(out, std::string());
        std::sort(out.begin(), out.end(),
                  [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
        return out;
    }();
    return pieces;
}

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
        , wireTimer_(clock_, "wireTimer")
        , sim_(Ports { clock_, tmrDummyPkts_, ComTimer_, server_, socket_, systemLog_, petLog_,
                       panel_, labels_, nullptr, &wireTimer_ })
        , scheduler_(clock_)
    {
        // Starts two minutes before midnight, so long inputs see the day roll over.
        clock_.startOfDay = 86400 - 120;
        labels_.keep = 1;
        for (test::VectorLogView* v : { &systemLog_, &petLog_ })
            v->keepHistory = false;
        socket_.onSend = [this](std::string_view bytes) { checkWrite(bytes); };
        tmrDummyPkts_.onTick = [this] {
            sim_.tmrDummyPkts_Timer();
            ticked_ = true;
        };
        ComTimer_.onTick = [this] { sim_.ComTimer_Timer(); };
        wireTimer_.onTick = [this] { sim_.wireTimer_Timer(); };
        // The host's system timer retries a failed listen.
        tmrSystem_.onTick = [this] { sim_.tmrSystem_Timer(); };
        tmrSystem_.setInterval(SystemTimerMs);
        tmrSystem_.setEnabled(true);
        for (test::VirtualTimer* t : { &tmrDummyPkts_, &ComTimer_, &tmrSystem_, &wireTimer_ })
            scheduler_.add(*t);
        if (!sim_.Start("9001", [](const std::string& port) { return "Main: " + port; }))
            violated("the simulator did not start: " + sim_.listener().listenError());
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
            if (server_.listening()) {
                server_.pendingId = ++lastRequestId_;
                trace("connect %ld\n", lastRequestId_);
                sim_.wskMessage_ConnectionRequest(lastRequestId_);
                server_.pendingId.reset();
            }
            break;
        case Op::PeerClose:
            if (socket_.state() == SocketState::Connected) {
                trace("peer closes\n");
                socket_.dropConnection();
                sim_.wskMessage_Close();
            }
            break;
        case Op::SocketError:
            trace("socket error\n");
            sim_.wskMessage_Error();
            break;
        case Op::FailSends:
            socket_.failSends = (in.u8() & 1U) != 0;
            trace("writes %s\n", socket_.failSends ? "fail" : "succeed");
            break;
        case Op::ToggleBox:
            setBoxes(boxes_ ^ (1U << (in.u8() % 8)));
            break;
        case Op::SetBoxes:
            setBoxes(in.u8());
            break;
        case Op::Terminal: {
            const bool tap18 = (in.u8() & 1U) != 0;
            sim_.setTerminal(tap18 ? TerminalProfile::Tap18 : TerminalProfile::Classic);
            trace("terminal %s\n", tap18 ? "tap18" : "classic");
            break;
        }
        case Op::Tap18Block: {
            const std::string_view body = in.bytes(in.u8());
            const unsigned flags = in.u8();
            const std::string block = Tap18BlockBytes(body, flags & 3U, (flags & 4U) != 0);
            clientSends((flags & 8U) != 0 ? SevenBitEncode(block) : block);
            break;
        }
        case Op::Profile:
            if (lastRequestId_ == 0) {
                hayes_ = (in.u8() & 1U) != 0;
                sim_.lineAt(0).engine.setModemProfile(hayes_ ? ModemProfile::Hayes
                                                             : ModemProfile::Classic);
                trace("modem %s\n", hayes_ ? "hayes" : "classic");
            }
            break;
        case Op::Plan: {
            const unsigned kind = in.u8() % 3;
            plan(kind, BlockWords[in.u8() % BlockWords.size()]);
            break;
        }
        case Op::Suite:
            if (!suite_) {
                suite_ = std::make_unique<Suite>(sim_, clock_, SuiteOptions {});
                // The cases' terminal says more than the standard one, and paces a case's line.
                wired_ = true;
                trace("suite\n");
            }
            break;
        case Op::Wire: {
            WireSettings wire;
            wire.noiseRate = static_cast<double>(in.u8() % 4) * 0.05;
            wire.seed = in.u8();
            wire.bps = WireRates[in.u8() % WireRates.size()];
            sim_.setWireSettings(wire);
            // What reaches the client changed, or in pieces as the rate lets it go, is no longer
            // one of the simulator's texts whole; the rest is checked as ever.
            wired_ = wired_ || wire.noiseRate > 0.0 || wire.bps > 0;
            trace("wire noise %.2f seed %u bps %u\n", wire.noiseRate,
                  static_cast<unsigned>(wire.seed), wire.bps);
            break;
        }
        case Op::RefuseListen:
            server_.refuseListen = (in.u8() & 1U) != 0;
            if (server_.refuseListen)
                server_.loseListener();
            trace("listen %s\n", server_.refuseListen ? "refused" : "allowed");
            break;
        case Op::Count:
            break;
        }
    }

    // kind 0: the plan cleared; 1: `word` added to the block plan; 2: pager 123 gets `word`.
    void plan(unsigned kind, std::string_view word)
    {
        FaultPlan& plan = sim_.plan();
        std::string error;
        if (kind == 0) {
            plan.clear();
            blockWords_.clear();
        } else if (kind == 1 && blockWords_.size() < MaxBlockWords) {
            blockWords_.emplace_back(word);
            std::string list;
            for (const std::string& w : blockWords_)
                list += (list.empty() ? "" : ",") + w;
            error = plan.setBlockPlan(list);
        } else if (kind == 2) {
            error = plan.setPager("123=" + std::string(word));
        }
        if (!error.empty())
            violated("the plan refused its own word: " + error);
        trace("plan %s\n", plan.describe().c_str());
    }

    // Fault box i ticked when bit i of `mask` is set.
    void setBoxes(unsigned mask)
    {
        boxes_ = mask & 0xFFU;
        for (unsigned i = 0; i < 8; ++i)
            panel_.tick(static_cast<Box>(i), ((boxes_ >> i) & 1U) != 0);
        trace("boxes %02x\n", boxes_);
    }

    // Bytes reach the core only over an open connection, as they do from the host.
    void clientSends(const std::string& text)
    {
        if (socket_.state() != SocketState::Connected || clientBytes_ >= MaxClientBytes)
            return;
        clientBytes_ += text.size();
        // What the link keeps of it, as the hayes modem may echo it.
        received_ += sim_.lineAt(0).link.gSevenBitActive() ? SevenBitStrip(text) : text;
        trace("client %s\n", hex(text).c_str());
        sim_.wskMessage_DataArrival(text);
    }

    // Every byte written is one of the simulator's replies (seven-bit encoded when the line is),
    // and only over an open connection.
    void checkWrite(std::string_view bytes)
    {
        if (socket_.state() != SocketState::Connected)
            violated("wrote " + hex(bytes) + " with no connection open");
        const bool sevenBit = sim_.lineAt(0).link.gSevenBitActive();
        const bool tap18 = sim_.lineAt(0).engine.callTerminal() == TerminalProfile::Tap18;
        if (wired_) {
            trace("  -> %s\n", hex(bytes).c_str());
            return;
        }
        if (hayes_) {
            checkHayesWrite(bytes, sevenBit);
            return;
        }
        bool known = false;
        for (const auto* replies :
             { &ModemReplies(), tap18 ? &Tap18Replies() : &ClassicReplies() }) {
            for (const std::string& r : *replies)
                known = known || bytes == (sevenBit ? SevenBitEncode(r) : r);
        }
        if (!known)
            violated(std::string("wrote ") + (sevenBit ? "seven-bit " : "") + hex(bytes)
                     + ", no reply of the simulator");
        trace("  -> %s\n", hex(bytes).c_str());
    }

    // The hayes modem writes, in one go, its replies and the echo of what the client sent: each
    // byte either starts one of its framed texts or is the next echo of a byte received (in
    // order, some skipped). Seven-bit: every byte carries even parity. At most one pass's worth.
    void checkHayesWrite(std::string_view bytes, bool sevenBit)
    {
        const std::string text = sevenBit ? SevenBitStrip(bytes) : std::string(bytes);
        if (sevenBit && SevenBitEncode(text) != bytes)
            violated("wrote " + hex(bytes) + " on a seven-bit line, not all of even parity");
        if (bytes.size() > HayesModem::MaxReplyPerTick + HayesModem::MaxLineReply)
            violated("wrote " + std::to_string(bytes.size()) + " bytes in one go");
        for (std::size_t at = 0; at < text.size();) {
            const auto piece = std::find_if(
                HayesPieces().begin(), HayesPieces().end(), [&](const std::string& p) {
                    return std::string_view(text).substr(at, p.size()) == p;
                });
            if (piece != HayesPieces().end()) {
                at += piece->size();
                continue;
            }
            const std::size_t echoed = received_.find(text[at], echoed_);
            if (echoed == std::string::npos)
                violated("wrote " + hex(bytes) + ": byte " + std::to_string(at)
                         + " is neither a reply of the hayes modem nor an echo");
            echoed_ = echoed + 1;
            ++at;
        }
        trace("  -> %s\n", hex(bytes).c_str());
    }

    // Runs every timer due up to now + ms, earliest first (ties: engine, receive wait, system).
    void advance(std::int64_t ms)
    {
        ms = std::min(ms, MaxVirtualMs - clock_.now);
        if (ms <= 0)
            return;
        trace("advance %lld ms\n", static_cast<long long>(ms));
        if (!scheduler_.advance(ms, [this](test::VirtualTimer& t) { check(t.name()); }))
            violated("more than ten million timer events in one step");
    }

    void check(const char* after)
    {
        const LineLink& link = sim_.lineAt(0).link;
        const LineState lineState = sim_.lineAt(0).state();
        const auto state = static_cast<std::size_t>(lineState);
        if (state >= LineStateNames.size())
            violated(std::string("after ") + after + ": line state " + std::to_string(state));
        if (ticked_ && lineState == LineState::Empty)
            violated(std::string("after ") + after + ": line state empty after the first tick");
        if (sim_.lineAt(0).engine.hayesModem().pendingLineSize() > hayes::MaxCommandLine)
            violated(std::string("after ") + after + ": the hayes modem's command line holds "
                     + std::to_string(sim_.lineAt(0).engine.hayesModem().pendingLineSize())
                     + " bytes");
        if (link.gRxString().size() > LineLink::RxStringLimit)
            violated(std::string("after ") + after + ": gRxString holds "
                     + std::to_string(link.gRxString().size()) + " bytes");
        if (sim_.log().queued() > SystemLog::QueueSize)
            violated(std::string("after ") + after + ": " + std::to_string(sim_.log().queued())
                     + " log lines queued");
        for (const test::VectorLogView* v : { &systemLog_, &petLog_ }) {
            const char* name = v == &systemLog_ ? "system log" : "PET log";
            if (v->count() > SystemLog::MaxListLines)
                violated(std::string("after ") + after + ": " + name + " shows "
                         + std::to_string(v->count()) + " lines");
            if (!v->misuse.empty())
                violated(std::string("after ") + after + ": " + name + ": " + v->misuse);
        }
        for (const test::VirtualTimer* t : { &tmrDummyPkts_, &ComTimer_ }) {
            if (t->interval() != 50 && t->interval() != 100 && t->interval() != 500)
                violated(std::string("after ") + after + ": " + t->name() + " interval "
                         + std::to_string(t->interval()));
        }
        // The tap18 terminal holds no more of a transaction than its ceiling.
        if (sim_.lineAt(0).engine.tap18().transactionBytes() > Tap18Terminal::MaxTransactionBytes)
            violated(std::string("after ") + after + ": tap18 transaction holds "
                     + std::to_string(sim_.lineAt(0).engine.tap18().transactionBytes()) + " bytes");
        // The engine never stops; a receive wait in progress always has its timer running.
        if (!tmrDummyPkts_.enabled())
            violated(std::string("after ") + after + ": engine timer stopped");
        if (link.captureState() != CaptureState::Idle && !ComTimer_.enabled())
            violated(std::string("after ") + after + ": receive wait in state "
                     + std::to_string(static_cast<int>(link.captureState()))
                     + " with its timer stopped");
    }

    test::VirtualClock clock_;
    test::VirtualTimer tmrDummyPkts_;
    test::VirtualTimer ComTimer_;
    test::VirtualTimer tmrSystem_;
    test::VirtualTimer wireTimer_;
    test::FakeServerSocket server_;
    test::FakeSocket socket_;
    test::VectorLogView systemLog_;
    test::VectorLogView petLog_;
    test::FakePanel panel_;
    test::FakeLabels labels_;
    Simulator sim_;
    // Declared after the simulator it directs, so that it goes first.
    std::unique_ptr<Suite> suite_;
    test::Scheduler scheduler_;
    unsigned boxes_ = 0;
    long lastRequestId_ = 0;
    std::size_t clientBytes_ = 0;
    bool ticked_ = false;
    bool hayes_ = false;
    // The wire changes or paces what the simulator writes.
    bool wired_ = false;
    // The block plan's words so far.
    std::vector<std::string> blockWords_;
    // Every byte the client sent, as the link kept it, and how far the echo has come in it.
    std::string received_;
    std::size_t echoed_ = 0;
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
