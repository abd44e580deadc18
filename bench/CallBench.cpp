// SPDX-License-Identifier: MIT
// Whole calls through the core in virtual time: connect, AT, dial (10 s), CR, logon, three blocks,
// EOT. Prints how many such calls the core runs per CPU second, without records and with every
// record made into its JSON line as --record writes it.
#include "sim/RecordJson.h"
#include "support/Rig.h"

#include <benchmark/benchmark.h>
#include <string>

using namespace ostrella;
using namespace ostrella::test;

namespace {

const std::string Block = blockWithChecksum("\x02"
                                            "5551234\rServer room temperature high\r\x03");

// One whole call's exchanges after the connect: AT, the dial, CR, the logon, three blocks, EOT.
// `send` hands bytes to the client's line; each exchange waits in virtual time until `socket`
// carries an answer (or its time is up).
template<typename AnyRig, typename Send>
void playCall(AnyRig& rig, const FakeSocket& socket, Send send)
{
    const auto say = [&](const std::string& bytes, std::int64_t maxMs) {
        const auto before = socket.sent.size();
        send(bytes);
        for (std::int64_t t = 0; t < maxMs && socket.sent.size() == before; t += 50)
            rig.advance(50);
    };
    say("AT\r", 1'000);
    say("ATDT5551234\r", 12'000);
    say("\r", 5'000);
    say("\x1bPG1000000\r", 2'000);
    for (int i = 0; i < 3; ++i)
        say(Block, 2'000);
    send("\x04\r");
    rig.advance(1'000);
}

void wholeCall(Rig& rig)
{
    rig.connect();
    playCall(rig, rig.socket, [&rig](const std::string& bytes) { rig.clientSends(bytes); });
    rig.socket.sent.clear();
}

// Every record made into its JSON line (the file itself left out).
class JsonSink : public RecordSink {
public:
    void pageRecorded(const PageRecord& page) override { bytes += toJson(page).size() + 1; }
    void callRecorded(const CallRecord& call) override { bytes += toJson(call).size() + 1; }
    std::size_t bytes = 0;
};

void runWholeCalls(benchmark::State& state, Rig& rig)
{
    // The rig's logs keep only what a window would show, so that calls do not slow each other.
    rig.systemLog.keepHistory = false;
    rig.petLog.keepHistory = false;
    rig.advance(1'200);
    std::int64_t calls = 0;
    for (auto _ : state) {
        wholeCall(rig);
        ++calls;
    }
    if (rig.state() != LineState::MODEM)
        state.SkipWithError("the call did not end in the modem state");
    state.SetItemsProcessed(calls);
    state.SetLabel("items = whole calls");
}

void BM_WholeVirtualCall(benchmark::State& state)
{
    Rig rig;
    runWholeCalls(state, rig);
}
BENCHMARK(BM_WholeVirtualCall)->Unit(benchmark::kMicrosecond);

void BM_WholeVirtualCallRecorded(benchmark::State& state)
{
    Rig rig;
    JsonSink sink;
    rig.sim.addRecordSink(&sink);
    runWholeCalls(state, rig);
    if (sink.bytes == 0)
        state.SkipWithError("no record was made");
}
BENCHMARK(BM_WholeVirtualCallRecorded)->Unit(benchmark::kMicrosecond);

// The same whole call on a bank of N lines, the others idle: its cost does not grow with N.
void BM_WholeVirtualCallInBank(benchmark::State& state)
{
    BankRig rig(static_cast<int>(state.range(0)));
    rig.systemLog.keepHistory = false;
    rig.petLog.keepHistory = false;
    rig.advance(1'200);
    std::int64_t calls = 0;
    for (auto _ : state) {
        rig.connect();
        playCall(rig, *rig.sockets[0],
                 [&rig](const std::string& bytes) { rig.clientSends(0, bytes); });
        rig.peerCloses(0);
        rig.sockets[0]->sent.clear();
        ++calls;
    }
    state.SetItemsProcessed(calls);
    state.SetLabel("items = whole calls, one line busy of N");
}
BENCHMARK(BM_WholeVirtualCallInBank)
    ->Arg(1)
    ->Arg(10)
    ->Arg(100)
    ->Arg(1'000)
    ->Arg(10'000)
    ->Unit(benchmark::kMicrosecond);

void BM_DataArrivalModem(benchmark::State& state)
{
    Rig rig;
    rig.advance(1'200);
    rig.connect();
    const std::string chunk(4096, 'x');
    for (auto _ : state) {
        rig.clientSends(chunk);
        rig.advance(500);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 4096);
}
BENCHMARK(BM_DataArrivalModem);

} // namespace

BENCHMARK_MAIN();
