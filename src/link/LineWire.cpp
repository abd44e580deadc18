// SPDX-License-Identifier: MIT
#include "link/LineWire.h"

#include "link/SevenBit.h"

#include <algorithm>

namespace ostrella {

namespace {

constexpr std::int64_t CharCost = static_cast<std::int64_t>(LineWire::BitsPerChar) * 1000;

bool oddOnes(unsigned char c)
{
    return (EvenParityChar(c) & 0x80) != 0;
}

} // namespace

std::optional<Framing> framingFromText(std::string_view text)
{
    if (text == "7E1")
        return Framing { 7, Parity::Even };
    if (text == "7O1")
        return Framing { 7, Parity::Odd };
    if (text == "8N1")
        return Framing { 8, Parity::None };
    return std::nullopt;
}

std::string framingText(const Framing& framing)
{
    const char parity = framing.parity == Parity::Even ? 'E'
        : framing.parity == Parity::Odd                ? 'O'
                                                       : 'N';
    return std::to_string(framing.dataBits) + parity + "1";
}

std::uint64_t LineWire::Noise::next()
{
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

std::optional<int> LineWire::Noise::hit(double rate, int bits)
{
    const double draw = static_cast<double>(next() >> 11) * 0x1.0p-53;
    if (draw >= rate)
        return std::nullopt;
    return static_cast<int>(next() % static_cast<std::uint64_t>(bits));
}

LineWire::LineWire(const Clock& clock, Socket& socket, SystemLog& log, LogView& gLogSystem)
    : clock_(clock)
    , socket_(socket)
    , log_(log)
    , gLogSystem_(&gLogSystem)
{
}

void LineWire::setSettings(const WireSettings& settings, std::uint64_t salt)
{
    settings_ = settings;
    settings_.noiseRate = std::clamp(settings.noiseRate, 0.0, 1.0);
    // Each way of each line its own sequence, the same for the same seed in every run.
    noiseIn_.state = settings.seed ^ (salt * 0xD1B54A32D192ED03ULL);
    noiseOut_.state = noiseIn_.state ^ 0xA0761D6478BD642FULL;
    setPace();
}

void LineWire::setDeviceRate(unsigned bps)
{
    deviceRate_ = bps;
    setPace();
}

void LineWire::setPace()
{
    // A tick about every character: what is due goes on each, so the rate holds however late a
    // tick runs.
    if (timer_ != nullptr && rate() > 0)
        timer_->setInterval(static_cast<int>(std::clamp<std::int64_t>(CharCost / rate(), 1, 50)));
}

unsigned LineWire::rate() const
{
    if (timer_ == nullptr)
        return 0;
    return settings_.autoRate ? deviceRate_ : settings_.bps;
}

void LineWire::logSystem(std::string text)
{
    log_.LogEvent(gLogSystem_, logSource_, std::move(text));
}

SocketState LineWire::state() const
{
    return closePending_ ? SocketState::Closed : socket_.state();
}

void LineWire::close()
{
    if (out_.empty()) {
        socket_.close();
        return;
    }
    closePending_ = true;
}

int LineWire::dataBits() const
{
    if (settings_.framing)
        return settings_.framing->dataBits;
    return link_ != nullptr && link_->gSevenBitActive() ? 7 : 8;
}

char LineWire::addNoise(Noise& noise, char c, bool inbound)
{
    if (settings_.noiseRate <= 0.0)
        return c;
    const auto bit = noise.hit(settings_.noiseRate, dataBits());
    if (!bit)
        return c;
    const char changed = static_cast<char>(c ^ (1 << *bit));
    (inbound ? changes_.in : changes_.out) += 1;
    logSystem("Event: <" + socket_.remoteHostIp() + "> Noise " + (inbound ? "Rxd <" : "Txd <")
              + std::string(1, c) + "> -> <" + std::string(1, changed) + ">");
    if (watcher_ != nullptr)
        watcher_->changed(inbound, c, changed);
    return changed;
}

bool LineWire::send(std::string_view bytes)
{
    if (state() != SocketState::Connected)
        return false;
    const bool sevenBit = dataBits() == 7;
    std::string wire(bytes);
    std::string shown(bytes);
    for (std::size_t i = 0; i < wire.size(); ++i) {
        // A seven-bit device line carries the data bits only: its client's own port takes the
        // parity off.
        if (settings_.framing && sevenBit)
            wire[i] = static_cast<char>(wire[i] & 0x7F);
        char data = sevenBit ? static_cast<char>(wire[i] & 0x7F) : wire[i];
        const char noisy = addNoise(noiseOut_, data, false);
        if (noisy != data) {
            wire[i] = static_cast<char>(wire[i] ^ (data ^ noisy));
            data = noisy;
        }
        shown[i] = data;
    }
    if (rate() > 0) {
        enqueue(out_, wire, shown, "send");
        return true;
    }
    const bool sent = socket_.send(wire);
    if (sent && tap_ != nullptr)
        tap_->sent(shown);
    return sent;
}

char LineWire::framedIn(char c, long& parityErrors) const
{
    const auto u = static_cast<unsigned char>(c);
    if (!settings_.framing || settings_.framing->dataBits != 7)
        return c;
    // A pseudo-terminal adds no parity: a byte without bit 7 is plain data. One with it carries
    // the client's own parity, which must be the framing's.
    if ((u & 0x80) != 0 && settings_.framing->parity != Parity::None) {
        // Bit 7 set: the whole byte has even ones when the data bits have odd ones.
        const bool evenOnes = oddOnes(u & 0x7F);
        const bool good = settings_.framing->parity == Parity::Even ? evenOnes : !evenOnes;
        if (!good)
            ++parityErrors;
    }
    return static_cast<char>(u & 0x7F);
}

void LineWire::received(std::string_view bytes)
{
    std::string data(bytes);
    const bool sevenBitFraming = settings_.framing && settings_.framing->dataBits == 7;
    long parityErrors = 0;
    if (sevenBitFraming) {
        for (char& c : data)
            c = framedIn(c, parityErrors);
    }
    if (parityErrors > 0) {
        logSystem("Event: <" + socket_.remoteHostIp() + "> Parity errors Rxd <"
                  + std::to_string(parityErrors) + ">");
    }
    if (tap_ != nullptr)
        tap_->received(data);
    const bool sevenBit = dataBits() == 7;
    for (char& c : data) {
        if (settings_.noiseRate <= 0.0)
            break;
        if (!sevenBit) {
            c = addNoise(noiseIn_, c, true);
            continue;
        }
        // On a seven-bit line the noise falls on the data bits; the parity the client sent stays.
        const char low = static_cast<char>(c & 0x7F);
        c = static_cast<char>((c & 0x80) | addNoise(noiseIn_, low, true));
    }
    if (rate() > 0) {
        enqueue(in_, data, data, "receive");
        return;
    }
    deliverIn(data);
}

void LineWire::deliverIn(std::string_view bytes)
{
    if (link_ != nullptr && !bytes.empty())
        link_->wskMessage_DataArrival(bytes);
}

void LineWire::Waiting::clear()
{
    wire.clear();
    wire.shrink_to_fit();
    shown.clear();
    shown.shrink_to_fit();
    head = 0;
}

std::pair<std::string, std::string> LineWire::Waiting::take(std::size_t n)
{
    n = std::min(n, size());
    std::pair<std::string, std::string> out { wire.substr(head, n), shown.substr(head, n) };
    head += n;
    if (empty())
        clear();
    else if (head > 4096 && head * 2 > wire.size()) {
        wire.erase(0, head);
        shown.erase(0, head);
        head = 0;
    }
    return out;
}

void LineWire::enqueue(Waiting& queue, std::string_view wire, std::string_view shown,
                       const char* what)
{
    const std::int64_t now = clock_.nowMs() * static_cast<std::int64_t>(rate());
    std::int64_t& freeAt = &queue == &out_ ? outFreeAt_ : inFreeAt_;
    if (queue.empty())
        freeAt = std::max(freeAt, now);
    const std::size_t room = QueueLimit - std::min(QueueLimit, queue.size());
    const std::size_t kept = std::min(room, wire.size());
    queue.wire.append(wire.substr(0, kept));
    queue.shown.append(shown.substr(0, kept));
    if (kept < wire.size()) {
        logSystem("Event: Line " + std::string(what) + " queue full (" + std::to_string(QueueLimit)
                  + " characters), " + std::to_string(wire.size() - kept) + " dropped");
    }
    startTimer();
}

void LineWire::startTimer()
{
    if (timer_ != nullptr && !timer_->enabled() && (!in_.empty() || !out_.empty()))
        timer_->setEnabled(true);
}

void LineWire::tick()
{
    const unsigned bps = rate();
    const std::int64_t now = clock_.nowMs() * static_cast<std::int64_t>(bps);
    std::size_t leaving = 0;
    for (; leaving < out_.size() && outFreeAt_ + CharCost <= now; ++leaving)
        outFreeAt_ += CharCost;
    const auto [wire, shown] = out_.take(leaving);
    if (!wire.empty() && socket_.state() == SocketState::Connected && socket_.send(wire)
        && tap_ != nullptr)
        tap_->sent(shown);
    if (out_.empty() && closePending_) {
        closePending_ = false;
        socket_.close();
    }

    std::size_t due = 0;
    for (std::int64_t freeAt = inFreeAt_; due < in_.size() && freeAt + CharCost <= now; ++due)
        freeAt += CharCost;
    if (due > 0 && (due == in_.size() || clock_.nowMs() - lastInMs_ >= ReceiveChunkMs)) {
        const std::string data = in_.take(due).first;
        inFreeAt_ += static_cast<std::int64_t>(due) * CharCost;
        lastInMs_ = clock_.nowMs();
        deliverIn(data);
    }
    if (in_.empty() && out_.empty() && timer_ != nullptr)
        timer_->setEnabled(false);
}

void LineWire::newCall()
{
    callGone();
    changes_ = WireChanges {};
}

void LineWire::callGone()
{
    in_.clear();
    out_.clear();
    closePending_ = false;
    if (timer_ != nullptr)
        timer_->setEnabled(false);
}

} // namespace ostrella
