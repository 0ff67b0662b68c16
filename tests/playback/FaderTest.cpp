#include "playback/Fader.h"

#include <gtest/gtest.h>

using namespace larkspur;

TEST(Fader, StepIsProportionalAndNeverZero)
{
    EXPECT_EQ(fadeStepFor(50, 1000), 50);
    EXPECT_EQ(fadeStepFor(50, 500), 25);
    EXPECT_EQ(fadeStepFor(50, 10), 1);  // 0.5 rounds to 0: would never end
    EXPECT_EQ(fadeStepFor(0, 1000), 1);
    EXPECT_EQ(fadeStepFor(-20, 1000), 1);
}

TEST(Fader, EndActionsInTheirOrder)
{
    EXPECT_EQ(fadeTick(50, 1000, 50, false, true, true).end, FadeEnd::Close);
    EXPECT_EQ(fadeTick(50, 1000, 50, false, false, true).end, FadeEnd::PlayNext);
    EXPECT_EQ(fadeTick(50, 1000, 50, false, false, false).end, FadeEnd::TogglePause);
    auto t = fadeTick(60, 1000, 50, false, true, true);
    EXPECT_EQ(t.end, FadeEnd::Continue);
    EXPECT_EQ(t.level, 10);
    t = fadeTick(980, 1000, 50, true, true, true);
    EXPECT_EQ(t.end, FadeEnd::FadedIn);
    EXPECT_EQ(t.level, 1000);
    t = fadeTick(0, 0, 0, true, false, false); // zero volume: in at once
    EXPECT_EQ(t.end, FadeEnd::FadedIn);
}
