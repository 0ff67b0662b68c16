#include "playback/TempoTapper.h"

#include <gtest/gtest.h>

using namespace larkspur;

TEST(TempoTapper, MeanOverTheLastFiveIntervals)
{
    std::int64_t now = 1'000'000;
    TempoTapper tapper([&] { return now; });

    EXPECT_EQ(tapper.tap(), std::nullopt); // first tap: caption unchanged
    for (int i = 2; i <= 6; ++i) {
        now += 700;
        EXPECT_EQ(tapper.tap(), 85) << "tap " << i; // 60000 / 700 = 85.7
    }
    now += 5000;
    EXPECT_EQ(tapper.tap(), 38); // 5 / ((4 x 0.7 + 5) / 60) = 38.46
}

TEST(TempoTapper, ResetAndIgnoredTaps)
{
    TempoTapper tapper([] { return std::int64_t{0}; });
    EXPECT_EQ(tapper.tapAt(10'000), std::nullopt);
    EXPECT_EQ(tapper.tapAt(10'500), 120);
    // Same time value (and a clock going back): ignored, not recorded.
    EXPECT_EQ(tapper.tapAt(10'500), std::nullopt);
    EXPECT_EQ(tapper.tapAt(10'400), std::nullopt);
    EXPECT_EQ(tapper.tapAt(11'000), 120);

    tapper.reset(); // a new song
    EXPECT_EQ(tapper.tapAt(20'000), std::nullopt);
    EXPECT_EQ(tapper.tapAt(21'000), 60);
    // A long pause lowers the tempo until newer taps push the old one out.
    EXPECT_EQ(tapper.tapAt(81'000), 1); // 2 intervals over 61 s
}
