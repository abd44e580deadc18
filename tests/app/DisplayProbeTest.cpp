// SPDX-License-Identifier: MIT
// The probe that decides between the window and console mode: a platform that starts is never
// taken for one that did not answer, however soon after closing its output the probe is reaped.
#include "app/DisplayProbe.h"

#include <cstdlib>
#include <gtest/gtest.h>

TEST(DisplayProbe, APlatformThatStartsIsFoundEveryTimeAndOneThatCannotSaysWhy)
{
    char name[] = "ostrella";
    char* argv[] = { name, nullptr };
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    EXPECT_TRUE(ostrella::displayAvailable());
    for (int i = 0; i < 40; ++i)
        ASSERT_EQ(ostrella::windowUnavailableReason(1, argv), "") << "start " << i;

    ::setenv("QT_QPA_PLATFORM", "no-such-platform", 1);
    const std::string why = ostrella::windowUnavailableReason(1, argv);
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(why.find("did not answer"), std::string::npos) << why;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
}
