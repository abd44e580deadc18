// SPDX-License-Identifier: MIT
// The timer hub on a virtual clock: its timers tick in due order with ties in the order they fell
// due and then were added, each keeps the Timer port's rules, the wake timer is always set for the
// earliest, and lateness is counted from the due time.
#include "sim/TimerHub.h"

#include "support/Fakes.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace ostrella::test {
namespace {

struct HubRig {
    HubRig()
    {
        scheduler.add(wake);
        wake.onTick = [this] { hub.wake(); };
    }
    // A hub timer that notes "name@ms" on each tick.
    Timer& timer(const std::string& name)
    {
        return hub.add([this, name] { ticks.push_back(name + "@" + std::to_string(clock.now)); });
    }
    void advance(std::int64_t ms) { ASSERT_TRUE(scheduler.advance(ms)); }

    VirtualClock clock;
    VirtualTimer wake { clock, "wake" };
    Scheduler scheduler { clock };
    TimerHub hub { clock, wake };
    std::vector<std::string> ticks;
};

TEST(TimerHub, TicksInDueOrderTiesInTheOrderAdded)
{
    HubRig rig;
    Timer& a = rig.timer("a");
    Timer& b = rig.timer("b");
    Timer& c = rig.timer("c");
    c.setInterval(100);
    b.setInterval(50);
    a.setInterval(100);
    for (Timer* t : { &c, &b, &a })
        t->setEnabled(true);
    EXPECT_EQ(rig.hub.running(), 3U);
    EXPECT_EQ(rig.wake.interval(), 50) << "the wake timer is set for the earliest";
    rig.advance(200);
    // At 100 a and c tie (and b falls due too): added order wins over enabling order.
    const std::vector<std::string> expected { "b@50",  "a@100", "b@100", "c@100",
                                              "b@150", "a@200", "b@200", "c@200" };
    EXPECT_EQ(rig.ticks, expected);
}

TEST(TimerHub, KeepsTheTimerPortsRules)
{
    HubRig rig;
    Timer& t = rig.timer("t");
    t.setInterval(500);
    t.setEnabled(true);
    rig.advance(300);
    t.setEnabled(true); // enabling a running timer changes nothing
    rig.advance(200);
    EXPECT_EQ(rig.ticks, std::vector<std::string> { "t@500" });

    rig.advance(50);
    t.setInterval(100); // a running timer restarts: next tick one new interval from now
    rig.advance(99);
    EXPECT_EQ(rig.ticks.size(), 1U) << "nothing at 649";
    rig.advance(1);
    EXPECT_EQ(rig.ticks.back(), "t@650");

    t.setEnabled(false);
    EXPECT_EQ(rig.hub.running(), 0U);
    rig.advance(1000);
    EXPECT_EQ(rig.ticks.size(), 2U) << "a stopped timer never ticks";
    EXPECT_FALSE(rig.wake.enabled()) << "nothing runs: the wake timer stops";

    // Stopped, re-timed and started again within one tick of another timer.
    Timer& u = rig.hub.add([&] {
        t.setEnabled(false);
        t.setInterval(30);
        t.setEnabled(true);
    });
    u.setInterval(10);
    u.setEnabled(true);
    rig.advance(10);
    u.setEnabled(false);
    rig.advance(30);
    EXPECT_EQ(rig.ticks.back(), "t@1690") << "30 ms after the tick that restarted it";
}

TEST(TimerHub, CountsHowLateTicksRun)
{
    HubRig rig;
    Timer& t = rig.timer("t");
    t.setInterval(100);
    t.setEnabled(true);
    EXPECT_EQ(rig.hub.latenessQuantile(0.5), 0) << "no ticks yet";
    rig.advance(100); // on time
    // The host runs the wake timer late: 30 ms, then 2,500 ms (counted as 1,000).
    rig.clock.now += 130;
    rig.hub.wake();
    rig.clock.now += 2570;
    rig.hub.wake();
    EXPECT_EQ(rig.hub.ticksRun(), 3U);
    EXPECT_EQ(rig.hub.latenessQuantile(0), 0);
    EXPECT_EQ(rig.hub.latenessQuantile(0.5), 30);
    EXPECT_EQ(rig.hub.latenessQuantile(1), 1000);
    // A late tick runs once, not once for every interval it missed; the next is one interval on.
    EXPECT_EQ(rig.ticks.size(), 3U);
    EXPECT_EQ(rig.wake.interval(), 100);
}

} // namespace
} // namespace ostrella::test
