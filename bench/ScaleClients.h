// SPDX-License-Identifier: MIT
// The clients of the scale benchmark: N connections to 127.0.0.1 on non-blocking sockets under
// one epoll set, served from one thread, a small state machine per client. In call mode each
// client makes whole calls back to back (connect, AT, dial, logon, three blocks each sent as the
// ACK before arrives, EOT, hang up, connect again) and notes each reply's delay; in silent mode
// each connects once and sends nothing. Every wait has a deadline: a client that gets no
// connection or no reply within 30 s counts as failed, hangs up and (in call mode) calls again.
#pragma once

#include "support/ProcessHarness.h"

#include <array>
#include <cstdint>
#include <functional>
#include <queue>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ostrella::scalebench {

using harness::SteadyClock;
using namespace std::chrono_literals;

// A client that waits this long for a connection or a reply counts as failed.
constexpr auto ReplyDeadline = 30s;
// A client whose connection was refused or broken calls again after this.
constexpr auto RetryAfter = 50ms;

// --- one call ------------------------------------------------------------------------------------

// The replies a call waits for, by kind; each kind has its own baseline.
enum class Reply { Ok, Connect, IdPrompt, Logon, BlockAck };
constexpr std::size_t ReplyKinds = 5;
constexpr std::array<const char*, ReplyKinds> ReplyNames { "ok", "connect", "id_prompt", "logon",
                                                           "block_ack" };

struct Step {
    std::string_view send;
    std::string_view expect;
    Reply reply;
};

constexpr std::string_view Block = "\x02"
                                   "123\rABC\r\x03"
                                   "17;\r";
// A whole call; each step is sent as soon as the reply to the one before has arrived. After the
// last one the client sends EOT CR and hangs up.
constexpr std::array<Step, 7> CallSteps { {
    { "AT\r", "OK\r\n", Reply::Ok },
    { "ATDT5551234\r", "CONNECT\r\n", Reply::Connect },
    { "\r", "ID=\r\n", Reply::IdPrompt },
    { "\x1bPG1000000\r", "\x06\r\x1b[p\r", Reply::Logon },
    { Block, "\x06\r", Reply::BlockAck },
    { Block, "\x06\r", Reply::BlockAck },
    { Block, "\x06\r", Reply::BlockAck },
} };
constexpr std::string_view Eot = "\x04\r";

// Request-to-reply delays in ms, by reply kind.
using Delays = std::array<std::vector<double>, ReplyKinds>;
// A reference delay in ms for each reply kind.
using Baseline = std::array<double, ReplyKinds>;

struct Counts {
    long calls = 0; // EOT sent after the last block's ACK
    long refused = 0; // closed by the program before any byte came back
    long dropped = 0; // closed by the program in the middle of a call
    long timedOut = 0; // no connection or no reply within ReplyDeadline
    long wrongReply = 0; // bytes other than the reply awaited
    long connectFailed = 0; // the connection could not be made
    long lateCalls = 0; // calls among `calls` made after the moment set by countLateCallsFrom
};

// --- the clients ---------------------------------------------------------------------------------

struct Client {
    int fd = -1;
    bool connecting = false;
    bool gotAny = false; // a byte has come back on this connection
    std::size_t step = 0; // the step in CallSteps whose reply is awaited
    long calls = 0; // calls this client has completed (kept across connections)
    SteadyClock::time_point since {}; // when the connection or the reply was asked for
    std::string got;
};

// N clients on non-blocking sockets under one epoll set. In call mode each makes whole calls back
// to back; in silent mode each connects once and sends nothing.
class Driver {
public:
    // `clients` clients of 127.0.0.1:`port`, none connected until start().
    Driver(quint16 port, std::size_t clients, bool silent);
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;
    // Closes every connection.
    ~Driver();

    // Schedules every client's first connection, spread evenly over `spread` from now.
    void start(SteadyClock::duration spread);

    // Serves the clients until `end`, or until `done()` says so.
    void run(SteadyClock::time_point end, const std::function<bool()>& done = {});

    // Clients whose connection is established now.
    std::size_t open() const;

    // Calls made from `from` on are also counted in counts.lateCalls.
    void countLateCallsFrom(SteadyClock::time_point from) { lateFrom_ = from; }

    Counts counts;
    Delays delays;
    // Those of calls after each client's first (whose start has an arbitrary phase against the
    // line's timers).
    Delays steady;

private:
    using Due = std::pair<SteadyClock::time_point, std::size_t>;

    void connect(std::size_t i);
    void hangUp(std::size_t i, bool callAgain, SteadyClock::duration after);
    void onEvent(std::size_t i, std::uint32_t events);
    void onReadable(std::size_t i);
    void answered(std::size_t i, SteadyClock::time_point at);
    void sendStep(std::size_t i);
    void checkDeadlines(SteadyClock::time_point now);

    quint16 port_;
    bool silent_;
    std::vector<Client> clients_;
    int epoll_;
    std::priority_queue<Due, std::vector<Due>, std::greater<>> due_; // connections to make
    SteadyClock::time_point lateFrom_ = SteadyClock::time_point::max();
    int reported_ = 0; // failures described on stderr so far (a few only)
};

} // namespace ostrella::scalebench
