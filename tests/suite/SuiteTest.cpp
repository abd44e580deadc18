// SPDX-License-Identifier: MIT
// The whole suite played to a client in virtual time: a client that follows TAP 1.8 fails no
// case, and a client that gets one point wrong fails the cases about that point and no other.
#include "suite/Suite.h"

#include "support/TapClient.h"

#include <algorithm>
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
        { "one CR", flawed([](ClientFlaws& f) { f.crs = 1; }), { "3.1" } },
        { "endless CRs", flawed([](ClientFlaws& f) { f.crs = 1000; }), { "3.2" } },
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
        { "the rest dropped at a disconnect",
          flawed([](ClientFlaws& f) { f.dropRest = true; }),
          { "4.7", "4.9" } },
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

// Each tolerance the catalogue states, from both sides: the verdict of the one case played to a
// client just inside it and just outside.
TEST(Suite, EachToleranceFromBothSides)
{
    struct Row {
        const char* cases;
        ClientFlaws flaws;
        Verdict verdict;
    };
    const auto with = [](auto set) {
        ClientFlaws f;
        set(f);
        return f;
    };
    const std::vector<Row> rows {
        { "3.2", with([](ClientFlaws& f) { f.crs = 3; }), Verdict::Pass },
        { "3.2", with([](ClientFlaws& f) { f.crs = 4; }), Verdict::NonStrict },
        { "3.2", with([](ClientFlaws& f) { f.crs = 10; }), Verdict::NonStrict },
        { "3.2", with([](ClientFlaws& f) { f.crs = 11; }), Verdict::Fail },
        { "3.1", with([](ClientFlaws& f) { f.crs = 2; }), Verdict::Fail },
        { "4.4", with([](ClientFlaws& f) { f.replyWaitMs = 9400; }), Verdict::Fail },
        { "4.4", with([](ClientFlaws& f) { f.replyWaitMs = 9600; }), Verdict::Pass },
        { "4.5", with([](ClientFlaws& f) { f.replyWaitMs = 7900; }), Verdict::Fail },
        { "4.5", with([](ClientFlaws& f) { f.replyWaitMs = 8300; }), Verdict::Pass },
        { "6.2", with([](ClientFlaws& f) { f.replyWaitMs = 9400; }), Verdict::NonStrict },
        { "6.2", with([](ClientFlaws& f) { f.replyWaitMs = 9600; }), Verdict::Pass },
        { "2.4", with([](ClientFlaws& f) { f.dialWaitMs = 91'500; }), Verdict::Pass },
        { "2.4", with([](ClientFlaws& f) { f.dialWaitMs = 93'000; }), Verdict::Fail },
        { "5.2", with([](ClientFlaws& f) { f.goodbyeWaitMs = 31'500; }), Verdict::Pass },
        { "5.2", with([](ClientFlaws& f) { f.goodbyeWaitMs = 33'000; }), Verdict::Fail },
        { "1.2", with([](ClientFlaws& f) { f.goodbyeWaitMs = 31'500; }), Verdict::Info },
        { "1.2", with([](ClientFlaws& f) { f.goodbyeWaitMs = 33'000; }), Verdict::Fail },
        { "5.1", with([](ClientFlaws& f) { f.hangUpAtEot = true; }), Verdict::NonStrict },
    };
    for (const Row& row : rows) {
        SuiteOptions options;
        options.cases = row.cases;
        const Played played = play(row.flaws, options);
        SCOPED_TRACE(played.summary);
        ASSERT_EQ(played.results.size(), 1u);
        ASSERT_TRUE(played.results[0].verdict);
        EXPECT_EQ(verdictText(*played.results[0].verdict), verdictText(row.verdict));
    }
}

// A program that opens its modem to set it up and closes it again, before it dials, has made no
// call of the case: the case's faults still meet its first dial.
TEST(Suite, AConnectionThatNeverDialsIsNoneOfTheCase)
{
    Rig rig;
    SuiteOptions options;
    options.cases = "2.1";
    Suite suite(rig.sim, rig.clock, options);
    rig.connect();
    rig.clientSends("ATZ\r");
    rig.advance(2000);
    rig.peerCloses();
    rig.advance(1000);
    TapClient client(rig);
    client.run(60'000);
    ASSERT_TRUE(suite.results()[0].verdict);
    EXPECT_EQ(*suite.results()[0].verdict, Verdict::Pass) << suite.results()[0].reason;
}

// Cases are chosen by whole id segments, and a dial of "#" and the id padded to four digits plays
// that case whatever the order; no call for a case in its wait is a no-show.
TEST(Suite, SelectionByIdAndByNumberAndNoShow)
{
    EXPECT_TRUE(caseMatches("2.1", "2.1"));
    EXPECT_FALSE(caseMatches("2.10", "2.1"));
    EXPECT_TRUE(caseMatches("4.10", "4"));
    EXPECT_FALSE(caseMatches("4.1", "4.10,1"));
    EXPECT_TRUE(caseMatches("5.1", " 4 , 5.1 "));
    EXPECT_EQ(checkCaseFilter("4,9.9", "--cases"), "--cases: no case 9.9");
    EXPECT_EQ(caseOfNumber("#0401"), "4.1");
    EXPECT_EQ(caseOfNumber("#0410"), "4.10");
    EXPECT_EQ(caseOfNumber("#401"), std::nullopt);
    EXPECT_EQ(caseOfNumber("5550401"), std::nullopt);
    SuiteOptions none;
    none.cases = "4";
    none.excluded = "4";
    EXPECT_NE(Suite::checkOptions(none), "");

    Rig rig;
    SuiteOptions options;
    options.caseWaitMs = 30'000;
    Suite suite(rig.sim, rig.clock, options);
    TapClient client(rig);
    client.setNumber("#0401");
    // One call (the dial takes 10 s); the next would play 4.1 again.
    client.run(15'000);
    // 4.1 went first, out of order; 1.1 is still the current case.
    const auto& results = suite.results();
    const auto at = [&](const char* id) {
        return *std::find_if(results.begin(), results.end(),
                             [&](const CaseResult& r) { return r.id == id; });
    };
    ASSERT_TRUE(at("4.1").verdict);
    EXPECT_EQ(*at("4.1").verdict, Verdict::Pass);
    EXPECT_FALSE(at("1.1").verdict);
    EXPECT_EQ(suite.currentCase(), "1.1");
    // The client stops calling: each case left is a no-show after its wait, one after another.
    Rig idle;
    SuiteOptions two;
    two.cases = "1";
    two.caseWaitMs = 30'000;
    Suite quiet(idle.sim, idle.clock, two);
    idle.advance(29'000);
    EXPECT_FALSE(quiet.results()[0].verdict);
    idle.advance(2000);
    ASSERT_TRUE(quiet.results()[0].verdict);
    EXPECT_EQ(*quiet.results()[0].verdict, Verdict::NoShow);
    idle.advance(31'000);
    EXPECT_TRUE(quiet.finished());
    EXPECT_EQ(quiet.totals().failing, 2);
}

} // namespace
} // namespace ostrella::test
