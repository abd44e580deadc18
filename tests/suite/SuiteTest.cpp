// SPDX-License-Identifier: MIT
// The whole suite played to a client in virtual time: a client that follows TAP 1.8 fails no
// case, and a client that gets one point wrong fails the cases about that point and no other.
#include "suite/Suite.h"

#include "support/TapClient.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <set>

namespace ostrella::test {
namespace {

struct Played {
    std::vector<CaseResult> results;
    std::set<std::string> failed;
    std::string summary;
};

// The suite played to a client with `flaws` until every case is decided (at most 3 h).
Played play(ClientFlaws flaws, SuiteOptions options = {})
{
    Rig rig;
    Suite suite(rig.sim, rig.clock, options);
    TapClient client(rig, flaws);
    for (int minute = 0; minute < 180 && !suite.finished(); ++minute)
        client.run(60'000);
    Played played;
    played.results = suite.results();
    for (const CaseResult& r : played.results) {
        const std::string verdict = r.verdict ? std::string(verdictText(*r.verdict)) : "pending";
        played.summary += r.id + " " + verdict + ": " + r.reason + "\n";
        if (!r.verdict || verdictFails(*r.verdict, false, false))
            played.failed.insert(r.id);
    }
    return played;
}

TEST(Suite, AClientThatFollowsTapFailsNoCase)
{
    const Played played = play({});
    EXPECT_TRUE(played.failed.empty()) << played.summary;
    EXPECT_EQ(played.results.size(), suiteCases().size());
}

TEST(Suite, AClientFailsTheCasesOfThePointItGetsWrong)
{
    struct Row {
        const char* name;
        ClientFlaws flaws;
        std::set<std::string> failed;
    };
    const auto flawed = [](auto set) {
        ClientFlaws f;
        set(f);
        return f;
    };
    const std::vector<Row> rows {
        { "one CR", flawed([](ClientFlaws& f) { f.oneCr = true; }), { "3.1" } },
        { "endless CRs", flawed([](ClientFlaws& f) { f.endlessCrs = true; }), { "3.2" } },
        { "NAK goes on",
          flawed([](ClientFlaws& f) { f.nakGoesOn = true; }),
          { "4.1", "4.2", "6.3" } },
        { "refused resent", flawed([](ClientFlaws& f) { f.resendRefused = true; }), { "4.3" } },
        { "t3 of 5 s", flawed([](ClientFlaws& f) { f.replyWaitMs = 5000; }), { "4.4", "4.5" } },
        { "no wait for goodbye", flawed([](ClientFlaws& f) { f.hangUpAtEot = true; }), { "1.1" } },
        { "goodbye awaited 60 s",
          flawed([](ClientFlaws& f) { f.goodbyeWaitMs = 60'000; }),
          { "1.2", "5.2" } },
        { "disconnect ignored",
          flawed([](ClientFlaws& f) { f.ignoreDisconnect = true; }),
          { "4.7", "4.8" } },
        { "every page again",
          flawed([](ClientFlaws& f) { f.resendAll = true; }),
          { "4.7", "4.9", "6.4" } },
        { "dial awaited 2 minutes",
          flawed([](ClientFlaws& f) { f.dialWaitMs = 120'000; }),
          { "2.4" } },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Played played = play(row.flaws);
        EXPECT_EQ(played.failed, row.failed) << played.summary;
        if (std::getenv("SUITE_SUMMARY"))
            std::printf("%s\n%s", row.name, played.summary.c_str());
    }
}

} // namespace
} // namespace ostrella::test
