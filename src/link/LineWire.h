// SPDX-License-Identifier: MIT
// The wire under a line link: what happens to the line's characters between the connection and the
// link. Left as it is, nothing: bytes pass both ways at once and unchanged. Set up, it frames a
// device line (seven data bits with parity, or eight), paces both directions at the line's bit
// rate (ten bits a character, as a start bit, eight data-and-parity bits and a stop bit take) and
// changes characters at random as line noise does, from a seeded generator so that a run repeats
// exactly. The line's tap sits here: it sees what the client sent, as the client sent it, and what
// reached the client, each when it crossed the wire.
#pragma once

#include "link/LineLink.h"
#include "log/SystemLog.h"
#include "ports/Ports.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace ostrella {

// Who watches every character of the line: what the peer sent, as it came (before any seven-bit
// stripping, and before noise changed it), and what reached the peer (without the seven-bit
// framing's parity, and as noise left it). It only watches.
class LineTap {
public:
    virtual ~LineTap() = default;
    virtual void received(std::string_view bytes) = 0;
    virtual void sent(std::string_view bytes) = 0;
};

enum class Parity { None, Even, Odd };

// A serial line's character framing: data bits, parity, one stop bit.
struct Framing {
    int dataBits = 8;
    Parity parity = Parity::None;
    bool operator==(const Framing&) const = default;
};

// "7E1", "7O1" and "8N1"; nullopt for any other text.
std::optional<Framing> framingFromText(std::string_view text);
std::string framingText(const Framing& framing);

struct WireSettings {
    // The line's bit rate; 0: not paced.
    unsigned bps = 0;
    // Paced at the rate the device's side uses (a pseudo-terminal's speed as its client set it, a
    // serial port's baud rate); a line without one is not paced.
    bool autoRate = false;
    // The chance, 0 to 1, that each character either way has a bit changed; 0: none.
    double noiseRate = 0.0;
    std::uint64_t seed = 0;
    // A device line's framing; nullopt: a TCP line, whose bytes go as the link frames them.
    std::optional<Framing> framing;

    bool operator==(const WireSettings&) const = default;
};

// The characters noise changed in a call, each way.
struct WireChanges {
    long in = 0;
    long out = 0;
};

// Who hears of each character the wire changed (the line's judge): `inbound` for one the client
// sent, which the line then read changed; otherwise one that reached the client changed.
class WireWatcher {
public:
    virtual ~WireWatcher() = default;
    virtual void changed(bool inbound, char before, char after) = 0;
};

class LineWire : public Socket {
public:
    // What may wait to cross a paced wire, each way; what comes past it is dropped and said.
    static constexpr std::size_t QueueLimit = 64 * 1024;
    static constexpr unsigned BitsPerChar = 10;
    // Received characters are handed on at most this often (all that are due), and the last of a
    // burst at once, so that the link's log is not a line a character.
    static constexpr std::int64_t ReceiveChunkMs = 50;

    LineWire(const Clock& clock, Socket& socket, SystemLog& log, LogView& gLogSystem);
    LineWire(const LineWire&) = delete;
    LineWire& operator=(const LineWire&) = delete;

    // Where received characters go.
    void setLink(LineLink* link) { link_ = link; }
    // Who watches the line's characters; nullptr: nobody.
    void setTap(LineTap* tap) { tap_ = tap; }
    void setWatcher(WireWatcher* watcher) { watcher_ = watcher; }
    // The timer that paces the wire; without one the wire is never paced.
    void setTimer(Timer* timer) { timer_ = timer; }
    void setLogSource(std::string source) { logSource_ = std::move(source); }
    // `salt` keeps the noise of each line its own for one seed.
    void setSettings(const WireSettings& settings, std::uint64_t salt = 0);
    const WireSettings& settings() const { return settings_; }
    // The device's own rate, for WireSettings::autoRate; 0: none.
    void setDeviceRate(unsigned bps);
    // The rate the wire is paced at; 0: not paced.
    unsigned rate() const;

    // --- the link's side (Socket) --------------------------------------------------------------

    // Closed once a close was asked for, even while the last characters are still crossing.
    SocketState state() const override;
    // Ends the connection once everything sent has crossed.
    void close() override;
    [[nodiscard]] bool send(std::string_view bytes) override;
    std::string remoteHostIp() const override { return socket_.remoteHostIp(); }

    // --- the connection's side -----------------------------------------------------------------

    // Bytes from the client.
    void received(std::string_view bytes);
    // A new call: nothing left waiting from the last, no close pending, nothing counted.
    void newCall();
    // The client has gone: what waited for it or from it is let go.
    void callGone();
    // The pacing timer's tick.
    void tick();

    // The characters changed in this call.
    const WireChanges& changes() const { return changes_; }
    std::size_t waitingIn() const { return in_.size(); }
    std::size_t waitingOut() const { return out_.size(); }

private:
    // Characters waiting to cross, as they go on the wire and as the tap is shown them; held in
    // strings read from `head`, so that an idle wire holds no memory.
    struct Waiting {
        std::string wire;
        std::string shown;
        std::size_t head = 0;
        bool empty() const { return head == wire.size(); }
        std::size_t size() const { return wire.size() - head; }
        void clear();
        // The first `n` characters, taken: on the wire, and as shown.
        std::pair<std::string, std::string> take(std::size_t n);
    };
    // A seeded generator of the whole run's noise, one way of one line (splitmix64).
    struct Noise {
        std::uint64_t state = 0;
        std::uint64_t next();
        // Whether the next character is changed, and which of its `bits` low bits flips.
        std::optional<int> hit(double rate, int bits);
    };

    void setPace();
    int dataBits() const;
    char framedIn(char c, long& parityErrors) const;
    char addNoise(Noise& noise, char c, bool inbound);
    void deliverIn(std::string_view bytes);
    void enqueue(Waiting& queue, std::string_view wire, std::string_view shown, const char* what);
    void startTimer();
    void logSystem(std::string text);

    const Clock& clock_;
    Socket& socket_;
    SystemLog& log_;
    LogView* gLogSystem_;
    std::string logSource_;
    LineLink* link_ = nullptr;
    LineTap* tap_ = nullptr;
    WireWatcher* watcher_ = nullptr;
    Timer* timer_ = nullptr;

    WireSettings settings_;
    unsigned deviceRate_ = 0;
    Noise noiseIn_;
    Noise noiseOut_;
    WireChanges changes_;

    Waiting in_;
    Waiting out_;
    // When each way's line is next free, in ms times the rate (a character takes
    // BitsPerChar * 1000 of these).
    std::int64_t inFreeAt_ = 0;
    std::int64_t outFreeAt_ = 0;
    std::int64_t lastInMs_ = 0;
    bool closePending_ = false;
};

} // namespace ostrella
