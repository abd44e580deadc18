// SPDX-License-Identifier: MIT
// The Timer port over QTimer keeps the core's timer rules: enabling a running timer keeps its
// phase, a new interval restarts it.
#include "qt/QtPorts.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace ostrella;

namespace {

// Lets `ms` of real time pass with the event loop running.
void letTimePass(int ms)
{
    QElapsedTimer clock;
    clock.start();
    (void)QTest::qWaitFor([&] { return clock.elapsed() >= ms; }, ms + 1000);
}

} // namespace

TEST(QtTimerPort, EnablingARunningTimerKeepsItsNextTick)
{
    QTimer qtimer;
    QtTimer timer(qtimer);
    timer.setInterval(1000);
    EXPECT_FALSE(timer.enabled());
    timer.setEnabled(true);
    ASSERT_TRUE(timer.enabled());
    letTimePass(200);
    timer.setEnabled(true);
    EXPECT_LE(qtimer.remainingTime(), 850) << "enabling again must not restart the count";
    EXPECT_EQ(timer.interval(), 1000);
}

TEST(QtTimerPort, NewIntervalRestartsARunningTimerAndStopsWhenDisabled)
{
    QTimer qtimer;
    QtTimer timer(qtimer);
    timer.setInterval(1000);
    timer.setEnabled(true);
    letTimePass(200);
    timer.setInterval(1000);
    EXPECT_GE(qtimer.remainingTime(), 900) << "a new interval counts from now";

    timer.setEnabled(false);
    EXPECT_FALSE(timer.enabled());
    timer.setInterval(20);
    EXPECT_FALSE(timer.enabled()) << "a stopped timer stays stopped";

    QSignalSpy ticks(&qtimer, &QTimer::timeout);
    timer.setEnabled(true);
    EXPECT_TRUE(ticks.wait(2000)) << "enabled again, it ticks";
}
