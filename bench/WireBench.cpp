// SPDX-License-Identifier: MIT
// The paced line over real TCP: the rate at which characters leave the program at --bps 300,
// 1,200 and 2,400 against the rate asked for, and how long a 256-character block takes to be
// ACKed at 300 bit/s. Prints one "name value" line per figure; '#' lines say how.
//
// Usage: ostrella_wire_bench [--no-block]
#include "BenchFigures.h"
#include "support/ProcessHarness.h"

#include <QCoreApplication>
#include <cstdio>
#include <string>
#include <vector>

using namespace ostrella::harness;
using namespace ostrella::bench;

namespace {

// Sends `commands` AT lines to the hayes modem at `bps` and returns the rate at which its answers
// (echo and OK, three times what is sent) arrived, in bit/s of ten-bit characters.
double measuredRate(int bps, int commands)
{
    Program program(console({ "--modem", "hayes", "--bps", QString::number(bps) }));
    const quint16 port = program.waitForPort();
    if (port == 0) {
        std::fprintf(stderr, "%s\n", program.report().c_str());
        return 0;
    }
    LineClient client(port);
    std::vector<std::pair<SteadyClock::time_point, std::size_t>> arrivals;
    client.onData = [&](SteadyClock::time_point at, const char*, std::size_t n) {
        arrivals.emplace_back(at, n);
    };
    std::string lines;
    for (int i = 0; i < commands; ++i)
        lines += "AT\r";
    const std::size_t expected = static_cast<std::size_t>(commands) * 9;
    client.send(lines);
    std::size_t got = 0;
    const auto deadline = SteadyClock::now() + std::chrono::seconds(expected * 12 / bps + 5);
    while (got < expected && SteadyClock::now() < deadline) {
        client.pump(false, 50);
        got = 0;
        for (const auto& a : arrivals)
            got += a.second;
    }
    program.terminate();
    if (arrivals.size() < 2 || got < expected)
        return 0;
    // Timed once the answers queue up behind each other: the first echoes go out as the
    // characters they echo come in, at the pace of the client's side. From there, the characters
    // of the first arrival are counted as arrived at its moment; the rest took the time.
    std::size_t from = 0;
    while (from + 1 < arrivals.size()
           && msBetween(arrivals.front().first, arrivals[from].first) < 200)
        ++from;
    std::size_t chars = 0;
    for (std::size_t i = from + 1; i < arrivals.size(); ++i)
        chars += arrivals[i].second;
    const double ms = msBetween(arrivals[from].first, arrivals.back().first);
    return static_cast<double>(chars) * 10.0 * 1000.0 / ms;
}

// The ms from sending a 256-character block (whole, in one write) to its ACK, at 300 bit/s.
double blockAck300()
{
    Program program(console({ "--bps", "300" }));
    const quint16 port = program.waitForPort();
    if (port == 0)
        return 0;
    LineClient client(port);
    client.send("ATDT5551234\r");
    if (!client.receive("CONNECT\r\n", 15'000).contains("CONNECT"))
        return 0;
    client.send("\r");
    client.receive("ID=\r\n", 3'000);
    client.send("\x1bPG1000000\r");
    client.receive("\x1b[p\r", 3'000);
    // STX, field 1 (3 + CR), field 2 (246 + CR), ETX, three checksum characters and CR.
    std::string body = "\x02"
                       "123\r"
        + std::string(246, 'M') + "\r\x03";
    unsigned sum = 0;
    for (unsigned char c : body)
        sum += c;
    body += static_cast<char>(0x30 + ((sum >> 8) & 0x0F));
    body += static_cast<char>(0x30 + ((sum >> 4) & 0x0F));
    body += static_cast<char>(0x30 + (sum & 0x0F));
    body += '\r';
    const auto sent = SteadyClock::now();
    client.send(body);
    const QByteArray reply = client.receive("\r", 20'000);
    const double ms = msBetween(sent, SteadyClock::now());
    program.terminate();
    return reply.startsWith('\x06') ? ms : 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const bool block = !(argc > 1 && std::string(argv[1]) == "--no-block");
    comment("characters leaving a line paced with --bps N: the hayes modem's echo and OK for 40 "
            "(300: 20) AT lines sent at once, timed at the client from 200 ms after the first byte "
            "(when "
            "the answers have queued up) to the last");
    for (const int bps : { 300, 1200, 2400 }) {
        const double rate = measuredRate(bps, bps == 300 ? 20 : 40);
        figure("wire_rate_" + std::to_string(bps) + "_bps", rate, 1);
        figure("wire_rate_" + std::to_string(bps) + "_error_percent",
               rate > 0 ? (rate - bps) * 100.0 / bps : 100.0, 2);
    }
    if (block) {
        comment("a 256-character block sent whole at --bps 300, to its ACK at the client (its "
                "own crossing is 8,533 ms, the ACK CR 67 ms)");
        figure("block256_ack_at_300_bps_ms", blockAck300(), 0);
    }
    return 0;
}
