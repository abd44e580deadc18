// SPDX-License-Identifier: MIT
// One caller after another on the one line: what a caller leaves behind must not reach the next.
#include "StressSupport.h"

using namespace ostrella::stress;

// Whatever the last caller sent that the engine had not read yet (here an AT sent while the dial
// was pending, which the modem does not read until CONNECT) is dropped when the next caller
// connects, not answered to it.
TEST_F(StressTest, WhatTheLastCallerLeftUnreadIsNotAnsweredToTheNext)
{
    {
        LineClient first(port);
        ASSERT_TRUE(first.connected());
        ASSERT_TRUE(first.send("ATDT5551234\r"));
        EXPECT_EQ(first.quietFor(1'000), QByteArray()) << "dialling";
        ASSERT_TRUE(first.send("AT\r"));
        EXPECT_EQ(first.quietFor(1'000), QByteArray()) << "not read while the dial is pending";
    }
    LineClient next(port);
    ASSERT_TRUE(next.connected());
    EXPECT_EQ(next.quietFor(1'500), QByteArray()) << "this caller has asked nothing yet";
    modemAnswersAt(next, 1);
}
