// SPDX-License-Identifier: MIT
// Writes the fuzz target's seed corpus: one input per protocol scenario, encoded with
// FuzzEvents.h. Usage: ostrella_fuzz_seeds <directory> (emptied first).
#include "FuzzEvents.h"
#include "ports/Ports.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using ostrella::Box;
using ostrella::fuzz::Op;
using ostrella::fuzz::Writer;

const std::string Logon = "\x1b"
                          "PG1000000\r";
const std::string Page = "123\rHELLO\r";

Writer boxes(std::initializer_list<Box> ticked)
{
    unsigned mask = 0;
    for (const Box b : ticked)
        mask |= 1U << static_cast<unsigned>(b);
    Writer w;
    w.op(Op::SetBoxes).u8(mask);
    return w;
}

// Connects, sends AT and dials; `w` may already hold some events.
Writer& dial(Writer& w, const std::string& number = "ATDT5551234\r", bool sevenBit = false)
{
    w.advance(1200).op(Op::Connect).token("AT\r").advance(600);
    return w.token(number, sevenBit).advance(12000);
}

// After CONNECT: CR, ID=, logon, logon accepted.
Writer& logOn(Writer& w, bool sevenBit = false)
{
    w.token("\r", sevenBit).advance(1200);
    return w.token(Logon, sevenBit).advance(1200);
}

// Blocks, then EOT.
Writer& page(Writer& w, bool sevenBit = false)
{
    w.block(Page, false, sevenBit).advance(1200);
    w.block("456\rSECOND\r", false, sevenBit).advance(1200);
    return w.token("\x04\r", sevenBit).advance(1200);
}

// The tap18 terminal: a page in one block, one over ETB and US blocks with a SUB-escaped CR,
// then EOT.
Writer& tap18Pages(Writer& w)
{
    w.tap18Block(Page).advance(300);
    w.tap18Block("5551234\rFirst part\r", 1).advance(300);
    w.tap18Block("and more \x1aM", 2).advance(300);
    w.tap18Block("the end\r").advance(300);
    return w.token("\x04\r").advance(600);
}

Writer tap18Call(std::initializer_list<Box> ticked)
{
    Writer w = boxes(ticked);
    w.terminal(true);
    dial(w);
    logOn(w);
    return std::move(tap18Pages(w));
}

Writer wholeCall(std::initializer_list<Box> ticked)
{
    Writer w = boxes(ticked);
    dial(w);
    logOn(w);
    return std::move(page(w));
}

// The hayes modem: a whole call, its dial faults, its commands, the escape and the seven-bit dial.
void hayesScenarios(std::vector<std::pair<std::string, Writer>>& out)
{
    {
        Writer w;
        dial(w.hayes());
        logOn(w);
        out.emplace_back("hayes-call", std::move(page(w)));
    }
    for (const auto& [name, box] : { std::pair { "hayes-busy", Box::chkBusy },
                                     std::pair { "hayes-no-answer", Box::chkNoAnswer },
                                     std::pair { "hayes-no-dialtone", Box::chkNoDialtone } }) {
        Writer w = boxes({ box });
        dial(w.hayes(), "ATDT5551234\r").advance(30000);
        w.token("AT\r").advance(600);
        out.emplace_back(name, std::move(w));
    }
    {
        // Settings, queries, a line dripped a byte at a time, an unknown and an over-long one.
        Writer w;
        w.hayes().advance(1200).op(Op::Connect).token("ATI3\r").tick();
        w.token("AT+FCLASS=?\r").send("AT+FMFR?;+FTM=?\rATS12?\rAT&F\r").tick();
        for (const char c : std::string("ATE0V0Q0X4I0\r"))
            w.send(std::string(1, c)).tick();
        w.send("ATXYZ\r").send("AT" + std::string(300, 'E') + "\r").tick().token("ATZ\r").tick();
        out.emplace_back("hayes-commands", std::move(w));
    }
    {
        // A dial aborted by a character; then "+++" with its guard times, ATO, ATH.
        Writer w;
        w.hayes().advance(1200).op(Op::Connect).token("ATDT5551234\r").advance(2000);
        w.send("x").advance(600).token("ATDT5551234\r").advance(12000);
        logOn(w).advance(1200).token("+++").advance(1600).token("ATO\r").advance(600);
        w.block(Page).advance(1200).token("+++").advance(1600).token("ATH\r").advance(600);
        w.token("ATO\r").advance(600);
        out.emplace_back("hayes-escape", std::move(w));
    }
    {
        Writer w;
        dial(w.hayes(), "ATDT125107\r");
        logOn(w, true).advance(1200).token("+++", true).advance(1600).token("ATH\r", true);
        w.advance(600).token("AT\r").advance(600);
        out.emplace_back("hayes-seven-bit", std::move(w));
    }
}

// The plan's faults of the line on the first block, then ACK, as a careful client meets them:
// a garbled reply or a corrupted block answered, the block sent again; after a dropped carrier the
// client dials again and sends the rest. Each terminal profile, and the hayes modem with one.
void planScenarios(std::vector<std::pair<std::string, Writer>>& out)
{
    for (const char* word : { "garble", "corrupt", "drop" }) {
        for (const bool tap18 : { false, true }) {
            for (const bool hayes : { false, true }) {
                if (hayes && !tap18)
                    continue;
                Writer w;
                if (hayes)
                    w.hayes();
                w.terminal(tap18).plan(1, word).plan(1, "ack");
                dial(w);
                logOn(w);
                if (tap18)
                    w.tap18Block(Page).advance(300);
                else
                    w.block(Page).advance(1200);
                if (std::string_view(word) == "drop")
                    logOn(w.token("ATDT5551234\r").advance(12000));
                std::string name = std::string("plan-") + word + (tap18 ? "-tap18" : "");
                out.emplace_back(name + (hayes ? "-hayes" : ""),
                                 std::move(tap18 ? tap18Pages(w) : page(w)));
            }
        }
    }
    // A pager rule over the block plan, and the plan cleared within a call.
    Writer w = boxes({});
    w.plan(1, "drop").plan(2, "garble");
    dial(w);
    logOn(w);
    w.block(Page).advance(1200).plan(0).block(Page).advance(1200).token("\x04\r").advance(1200);
    out.emplace_back("plan-pager", std::move(w));
    // A whole call over a noisy wire, over a paced one, and over one both noisy and paced, with
    // the hayes modem.
    for (const auto& [name, rate, pace, hayes] :
         { std::tuple { "wire-noise", 2U, 0U, false }, std::tuple { "wire-paced", 0U, 1U, false },
           std::tuple { "wire-both-hayes", 3U, 2U, true } }) {
        Writer wired;
        if (hayes)
            wired.hayes();
        wired.op(Op::Wire).u8(rate).u8(7).u8(pace);
        dial(wired);
        logOn(wired);
        out.emplace_back(name, std::move(page(wired)));
    }
    // The suite's first cases, each call as a client makes it.
    Writer suite;
    suite.op(Op::Suite);
    for (int call = 0; call < 3; ++call) {
        dial(suite);
        logOn(suite);
        page(suite);
    }
    out.emplace_back("suite-calls", std::move(suite));
}

std::vector<std::pair<std::string, Writer>> scenarios()
{
    std::vector<std::pair<std::string, Writer>> out;
    out.emplace_back("call", wholeCall({}));
    out.emplace_back("busy", wholeCall({ Box::chkBusy }));
    out.emplace_back("no-answer", wholeCall({ Box::chkNoAnswer }));
    out.emplace_back("no-carrier", wholeCall({ Box::chkNoCarrier }));
    out.emplace_back("no-dialtone", wholeCall({ Box::chkNoDialtone }));
    out.emplace_back("nak", wholeCall({ Box::chkNAK }));
    out.emplace_back("rej", wholeCall({ Box::chkREJ }));
    out.emplace_back("no-response", wholeCall({ Box::chkNOResponse }));
    out.emplace_back("disconnect", wholeCall({ Box::chkDisconnect }));
    {
        Writer w;
        dial(w, "ATDT125107\r");
        logOn(w, true);
        page(w, true);
        out.emplace_back("seven-bit", std::move(w));
    }
    {
        // "+++" in the modem's command state, then again after CONNECT.
        Writer w;
        w.advance(1200).op(Op::Connect).token("+++").advance(1600).token("AT\r").advance(600);
        w.token("ATDT5551234\r").advance(12000).token("+++").advance(1200).token("ATH\r");
        w.advance(600);
        out.emplace_back("escape", std::move(w));
    }
    {
        Writer w;
        dial(w);
        logOn(w);
        w.block(Page, true).advance(1200).token("\x04\r").advance(1200);
        w.token("\x1b\x04\r").advance(1200);
        out.emplace_back("bad-block-eot", std::move(w));
    }
    {
        // More than the receive buffer holds, in one go and in pieces.
        Writer w;
        dial(w);
        w.repeat("\x02"
                 "FLOOD",
                 40000)
            .tick()
            .repeat("AT", 20000)
            .tick()
            .tick();
        w.advance(5000);
        out.emplace_back("flood", std::move(w));
    }
    {
        // The line lost in every way: failed writes, a socket error, the port refused, hang-ups.
        Writer w;
        dial(w);
        w.op(Op::FailSends).u8(1).token("\r").advance(1200).op(Op::FailSends).u8(0);
        w.op(Op::SocketError).op(Op::RefuseListen).u8(1).op(Op::SocketError).advance(500);
        w.op(Op::RefuseListen).u8(0).advance(300).op(Op::Connect).token("AT\r").tick();
        w.op(Op::Connect).token("ATDT5551234\r").advance(3000).op(Op::PeerClose).advance(8000);
        out.emplace_back("line-lost", std::move(w));
    }
    out.emplace_back("tap18-call", tap18Call({}));
    out.emplace_back("tap18-nak", tap18Call({ Box::chkNAK }));
    out.emplace_back("tap18-rej", tap18Call({ Box::chkREJ }));
    out.emplace_back("tap18-no-response", tap18Call({ Box::chkNOResponse }));
    out.emplace_back("tap18-busy", tap18Call({ Box::chkBusy }));
    {
        // Seven bits from the first prompt on.
        Writer w;
        w.terminal(true);
        dial(w, "ATDT125107\r", true);
        logOn(w, true);
        w.op(Op::Tap18Block).u8(static_cast<unsigned>(Page.size()));
        w.bytes += Page;
        w.u8(8).advance(300).token("\x04\r", true).advance(600);
        out.emplace_back("tap18-seven-bit", std::move(w));
    }
    {
        // Logon refusals and the t5 re-prompts, a second call, then t4 after the go-ahead.
        Writer w;
        w.terminal(true);
        dial(w);
        w.token("\r").advance(300).send("\x1bPM1\r").advance(300);
        w.token("ATDT5551234\r").advance(12000).send("junk\r").advance(40000);
        w.token("ATDT5551234\r").advance(12000);
        logOn(w).advance(5000).token("AT\r").advance(600);
        out.emplace_back("tap18-time-outs", std::move(w));
    }
    {
        // Text that is no block, an overlong block, no terminator, three bad checksums.
        Writer w;
        w.terminal(true);
        dial(w);
        logOn(w);
        w.send("hello\r").advance(300).send("\x02" + std::string(300, 'x')).advance(300);
        w.send("\x02"
               "123\rABC\r17;\r")
            .advance(900);
        for (int i = 0; i < 3; ++i)
            w.tap18Block(Page, 0, true).advance(300);
        out.emplace_back("tap18-errors", std::move(w));
    }
    {
        // A transaction over many ETB blocks, up to its ceiling.
        Writer w;
        w.terminal(true);
        dial(w);
        logOn(w);
        for (int i = 0; i < 24; ++i)
            w.tap18Block("1\r" + std::string(200, 'm') + "\r", 1).advance(150);
        w.terminal(false).token("\x04\r").advance(600);
        out.emplace_back("tap18-ceiling", std::move(w));
    }
    hayesScenarios(out);
    planScenarios(out);
    {
        // The hayes modem in front of the tap18 terminal: a whole call, then a second dial.
        Writer w;
        w.hayes().terminal(true);
        dial(w);
        logOn(w);
        tap18Pages(w);
        dial(w).advance(600);
        out.emplace_back("hayes-tap18-call", std::move(w));
    }
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <directory>\n", argv[0]);
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    for (const auto& [name, writer] : scenarios()) {
        std::ofstream file(dir / name, std::ios::binary);
        file << writer.bytes;
        if (!file) {
            std::fprintf(stderr, "cannot write %s\n", (dir / name).c_str());
            return 1;
        }
    }
    return 0;
}
