// SPDX-License-Identifier: MIT
#include "link/LineWire.h"

#include "support/Rig.h"

#include <bit>
#include <gtest/gtest.h>

using namespace ostrella;
using namespace ostrella::test;

namespace {

// The wire under the rig's line, the engine stopped so that nothing answers or consumes.
struct Wire {
    Rig rig;
    LineWire& wire = rig.line().wire;

    explicit Wire(const WireSettings& settings)
    {
        rig.tmrDummyPkts.setEnabled(false);
        rig.connect();
        rig.sim.setWireSettings(settings);
    }
    // When each byte sent so far reached the client.
    std::vector<std::int64_t> arrivals() const
    {
        std::vector<std::int64_t> at;
        for (const Sent& s : rig.socket.sent)
            at.insert(at.end(), s.bytes.size(), s.at);
        return at;
    }
    std::vector<std::string> systemLines()
    {
        while (rig.sim.log().queued() > 0)
            rig.sim.log().FlushLog();
        return rig.systemTexts();
    }
};

WireSettings paced(unsigned bps)
{
    WireSettings s;
    s.bps = bps;
    return s;
}

WireSettings noisy(double rate, std::uint64_t seed)
{
    WireSettings s;
    s.noiseRate = rate;
    s.seed = seed;
    return s;
}

} // namespace

TEST(LineWire, PacesBothWaysAtTheRateTenBitsACharacter)
{
    for (const unsigned bps : { 300U, 1200U, 2400U, 9600U }) {
        SCOPED_TRACE(bps);
        Wire w(paced(bps));
        const double charMs = 10'000.0 / bps;
        ASSERT_TRUE(w.wire.send(std::string(200, 'x')));
        EXPECT_TRUE(w.rig.socket.sent.empty()) << "nothing leaves before its ten bits have";
        w.rig.advance(static_cast<std::int64_t>(charMs * 250));
        const auto at = w.arrivals();
        ASSERT_EQ(at.size(), 200U);
        // Each character no sooner than its ten bits allow and at most a tick later.
        for (std::size_t i = 0; i < at.size(); i += 37) {
            EXPECT_GE(static_cast<double>(at[i]), charMs * static_cast<double>(i + 1) - 1);
            EXPECT_LE(static_cast<double>(at[i]), charMs * static_cast<double>(i + 1) + charMs + 1);
        }
        // What the client sends reaches the link at the same pace: half of it by half the time.
        w.wire.received(std::string(100, 'y'));
        w.rig.advance(static_cast<std::int64_t>(charMs * 50));
        const auto half = static_cast<double>(w.rig.link().gRxString().size());
        // Handed on in slices at most ReceiveChunkMs apart.
        EXPECT_GE(half, 50 - static_cast<double>(LineWire::ReceiveChunkMs) / charMs - 1);
        EXPECT_LE(half, 50);
        w.rig.advance(static_cast<std::int64_t>(charMs * 51) + 1);
        EXPECT_EQ(w.rig.link().gRxString(), std::string(100, 'y'));
        EXPECT_FALSE(w.rig.wireTimer.enabled()) << "an idle wire costs no ticks";
    }
}

TEST(LineWire, UnpacedAndQuietItChangesNothing)
{
    Wire w(WireSettings {});
    ASSERT_TRUE(w.wire.send("ATZ\r"));
    w.wire.received("OK?");
    ASSERT_EQ(w.rig.socket.sent.size(), 1U);
    EXPECT_EQ(w.rig.socket.sent[0].at, 0);
    EXPECT_EQ(w.rig.socket.sent[0].bytes, "ATZ\r");
    EXPECT_EQ(w.rig.link().gRxString(), "OK?");
    EXPECT_FALSE(w.rig.wireTimer.enabled());
    EXPECT_EQ(w.wire.rate(), 0U);
}

TEST(LineWire, AClosePendsUntilTheLastCharacterHasCrossed)
{
    Wire w(paced(300));
    ASSERT_TRUE(w.wire.send("NO CARRIER"));
    w.wire.close();
    EXPECT_EQ(w.wire.state(), SocketState::Closed) << "nothing more is sent after the close";
    EXPECT_FALSE(w.wire.send("more"));
    EXPECT_EQ(w.rig.socket.state(), SocketState::Connected);
    w.rig.advance(400);
    EXPECT_EQ(w.rig.sentBytes(), "NO CARRIER");
    EXPECT_EQ(w.rig.socket.state(), SocketState::Closed);
}

TEST(LineWire, QueuesAreBoundedAndWhatIsDroppedIsSaid)
{
    Wire w(paced(300));
    w.wire.received(std::string(LineWire::QueueLimit + 100, 'z'));
    EXPECT_EQ(w.wire.waitingIn(), LineWire::QueueLimit);
    EXPECT_EQ(lastOf(w.systemLines()),
              "Event: Line receive queue full (65536 characters), 100 dropped");
    w.wire.callGone();
    EXPECT_EQ(w.wire.waitingIn(), 0U);
    EXPECT_FALSE(w.rig.wireTimer.enabled());
}

TEST(LineWire, NoiseFlipsOneBitAndRepeatsForTheSameSeed)
{
    const std::string text(500, 'A');
    auto run = [&](double rate, std::uint64_t seed) {
        Wire w(noisy(rate, seed));
        EXPECT_TRUE(w.wire.send(text));
        w.wire.received(text);
        return std::make_tuple(w.rig.sentBytes(), w.rig.link().gRxString(), w.wire.changes().in,
                               w.wire.changes().out, w.systemLines());
    };
    const auto [out1, in1, inCount, outCount, log1] = run(0.1, 7);
    const auto [out2, in2, inCount2, outCount2, log2] = run(0.1, 7);
    EXPECT_EQ(out1, out2);
    EXPECT_EQ(in1, in2);
    EXPECT_EQ(log1, log2);
    // About one in ten changed, each by exactly one bit, each logged.
    for (const long n : { inCount, outCount }) {
        EXPECT_GT(n, 25);
        EXPECT_LT(n, 80);
    }
    long differing = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto diff = static_cast<unsigned char>(out1[i] ^ text[i]);
        if (diff != 0) {
            ++differing;
            EXPECT_EQ(std::popcount(diff), 1);
        }
    }
    EXPECT_EQ(differing, outCount);
    EXPECT_EQ(std::count_if(log1.begin(), log1.end(),
                            [](const std::string& line) {
                                return line.starts_with("Event: <127.0.0.1> Noise Txd <A> -> <");
                            }),
              outCount);
    EXPECT_NE(std::get<0>(run(0.1, 8)), out1) << "another seed, other changes";
    const auto [outQuiet, inQuiet, inNone, outNone, logQuiet] = run(0.0, 7);
    EXPECT_EQ(outQuiet, text);
    EXPECT_EQ(inNone + outNone, 0);
}

TEST(LineWire, ASevenBitDeviceLineCarriesDataBitsAndChecksTheClientsParity)
{
    WireSettings settings = noisy(1.0, 3);
    settings.framing = framingFromText("7E1");
    Wire w(settings);
    ASSERT_TRUE(w.wire.send(std::string(300, static_cast<char>(0xC1))));
    for (const char c : w.rig.sentBytes())
        EXPECT_EQ(static_cast<unsigned char>(c) & 0x80, 0) << "noise falls on the seven data bits";
    // 'A' with even parity is 0x41 (two ones): bit 7 clear. 'C' (three ones) takes bit 7: 0xC3 is
    // right, 0x43 is plain data, and 'A' with bit 7 set is a parity error.
    w.wire.setSettings([] {
        WireSettings s;
        s.framing = framingFromText("7E1");
        return s;
    }());
    w.wire.received(std::string("\xC3\x43\xC1", 3));
    EXPECT_EQ(w.rig.link().gRxString(), "CCA");
    const auto lines = w.systemLines();
    EXPECT_EQ(lines.end()[-2], "Event: <127.0.0.1> Parity errors Rxd <1>");
    EXPECT_EQ(framingText(*framingFromText("7O1")), "7O1");
    EXPECT_FALSE(framingFromText("7N2"));
}
