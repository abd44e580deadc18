// SPDX-License-Identifier: MIT
// Shared by the stress tests: the program started in console mode with its output going to a
// file, the steps of a call with the answers they must get, and the bounds the program is held to.
#pragma once

#include "support/ProcessAssertions.h"
#include "support/ProcessHarness.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <string_view>

namespace ostrella::stress {

using namespace ostrella::harness;

// Resident memory the program may reach under any of these loads. It idles near 18 MiB and peaks
// near 55 MiB in a flood: the 200-line log queue can hold one received piece (up to 64 KiB) per
// line. Built with AddressSanitizer it keeps up to 256 MiB of freed memory in quarantine and
// shadows all of it, so it gets a wider bound.
inline constexpr long MaxResidentKb = 150L * 1024;
inline constexpr long MaxResidentSanitizedKb = 1024L * 1024;

// How much more memory the program may hold after ten thousand connections have come and gone
// than before (about 4 MiB: heap left fragmented, not connections kept; the quarantine again when
// sanitized).
inline constexpr long MaxStormGrowthKb = 16L * 1024;
inline constexpr long MaxStormGrowthSanitizedKb = 512L * 1024;

// True when the running program carries AddressSanitizer (its runtime library is mapped, or this
// test was built with it, as every target of a sanitizer build is).
inline bool sanitized(qint64 pid)
{
#if defined(__SANITIZE_ADDRESS__)
    (void)pid;
    return true;
#else
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libasan");
#endif
}

// What the receive accumulator holds at most.
inline constexpr std::uint64_t AccumulatorLimit = 64 * 1024;

// Text for floods: no control character and none of the letters the modem or the terminal react
// to (no "a", "t" or "+"), so it gets no answer in any state.
inline constexpr std::string_view Junk = "0123456789 xyz XYZ-_=/.,;:!?QWERUIOP|";

// The size of a flood: OSTRELLA_FLOOD_MB megabytes, 100 unless set.
inline std::uint64_t floodBytes()
{
    const char* text = std::getenv("OSTRELLA_FLOOD_MB");
    const long mb = text != nullptr ? std::strtol(text, nullptr, 10) : 0;
    return static_cast<std::uint64_t>(mb > 0 ? mb : 100) * 1024 * 1024;
}

// A PET block with its checksum: the low 12 bits of the sum of every byte from STX to ETX, as
// three characters '0' + four bits each, then CR.
inline std::string blockWithChecksum(std::string_view body)
{
    unsigned sum = 0;
    for (char c : body)
        sum += static_cast<unsigned char>(c);
    std::string block(body);
    for (int shift : { 8, 4, 0 })
        block.push_back(static_cast<char>('0' + ((sum >> shift) & 0xF)));
    block.push_back('\r');
    return block;
}

inline const std::string Block = blockWithChecksum("\x02"
                                                   "123\rABC\r\x03");
inline const QByteArray Ack = "\x06\r";
inline const QByteArray LogonAccepted = "\x06\r\x1b[p\r";

// The program in console mode on the port the system chose for it, listening, its output in a
// file. A program that does not come up stops the test in SetUp.
class StressTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        program = std::make_unique<Program>(console(), QProcessEnvironment::systemEnvironment(),
                                            Program::Output::File);
        ASSERT_TRUE(listens(*program));
        port = program->port();
        pid = program->pid();
        idleResidentKb = residentKb(pid);
        idleDescriptors = openDescriptors(pid);
        ASSERT_GT(idleResidentKb, 0);
        ASSERT_GT(idleDescriptors, 0);
        maxResidentKb = sanitized(pid) ? MaxResidentSanitizedKb : MaxResidentKb;
        maxStormGrowthKb = sanitized(pid) ? MaxStormGrowthSanitizedKb : MaxStormGrowthKb;
    }

    // Whatever the test did, the program must still end cleanly on SIGTERM (under the sanitizers
    // this is also where leaks would be reported).
    void TearDown() override
    {
        if (program != nullptr && program->running()) {
            EXPECT_TRUE(program->terminate(10'000))
                << "exit code " << program->process_.exitCode() << "\n"
                << program->err_.constData();
        }
    }

    // Waits up to `ms` for the program's descriptor count to come back to `count`; returns the
    // last count seen.
    int waitForDescriptors(int count, int ms)
    {
        QDeadlineTimer deadline(ms);
        int now = openDescriptors(pid);
        while (now != count && !deadline.hasExpired() && program->running()) {
            program->process_.waitForFinished(20);
            now = openDescriptors(pid);
        }
        return now;
    }

    // Prints a figure beside the test's output (never asserted).
    static void note(const std::string& text) { std::printf("[   figure ] %s\n", text.c_str()); }

    quint16 port = 0;
    std::unique_ptr<Program> program;
    qint64 pid = 0;
    long idleResidentKb = 0;
    int idleDescriptors = 0;
    long maxResidentKb = MaxResidentKb;
    long maxStormGrowthKb = MaxStormGrowthKb;
};

// --- the steps of a call ------------------------------------------------------------------------

// "AT" until the modem says OK, at most `tries` times: an AT that reaches a full accumulator is
// dropped like any other byte, so a client repeats it. An OK comes on the engine tick after the
// AT (500 ms at most); one that comes later still, after the next AT, is answered again.
inline void modemAnswersAt(LineClient& client, int tries = 4)
{
    QByteArray got;
    int sent = 0;
    while (sent < tries && !got.contains("OK\r\n")) {
        ASSERT_TRUE(client.send("AT\r"));
        ++sent;
        got += client.receive("OK\r\n", 1'000);
    }
    if (sent > 1)
        got += client.quietFor(600);
    ASSERT_FALSE(got.isEmpty()) << "no answer to " << sent << " ATs";
    EXPECT_EQ(got, QByteArray("OK\r\n").repeated(got.size() / 4)) << "nothing but OK";
}

// Dials and waits for CONNECT (10 s).
inline void dials(LineClient& client)
{
    ASSERT_TRUE(client.send("ATDT5551234\r"));
    EXPECT_EQ(client.receive("CONNECT\r\n", 13'000), QByteArray("CONNECT\r\n"));
}

// CR until the terminal prompts "ID=" (at most `tries` times), then the logon line.
inline void logsOn(LineClient& client, int tries = 1)
{
    QByteArray got;
    for (int i = 0; i < tries && !got.contains("ID=\r\n"); ++i) {
        ASSERT_TRUE(client.send("\r"));
        got += client.receive("ID=\r\n", 2'000);
    }
    ASSERT_EQ(got, QByteArray("ID=\r\n"));
    ASSERT_TRUE(client.send("\x1bPG1000000\r"));
    ASSERT_EQ(client.receive(LogonAccepted, 3'000), LogonAccepted);
}

// A good block is acknowledged.
inline void blockAcked(LineClient& client)
{
    ASSERT_TRUE(client.send(Block));
    EXPECT_EQ(client.receive(Ack, 3'000), Ack);
}

// EOT gets no answer and hands the line back to the modem.
inline void hangsUp(LineClient& client)
{
    ASSERT_TRUE(client.send("\x04\r"));
    EXPECT_EQ(client.quietFor(1'000), QByteArray());
    modemAnswersAt(client, 1);
}

} // namespace ostrella::stress
