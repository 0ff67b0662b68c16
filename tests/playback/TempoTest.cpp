#include "playback/ShiftTaps.h"
#include "playback/TempoTapper.h"

#include <cstring>
#include <gtest/gtest.h>
#include <sstream>

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

// Steps: T/E Shift down in a text field/elsewhere, R/e its repeat, C with Ctrl, K another
// key or a click, U Shift up, u a repeat's up; each with its time. Out: the taps' times.
TEST(ShiftTaps, TextFieldsTapOnlyOnALoneShift)
{
    const std::pair<const char*, const char*> cases[] = {
        {"T100 U400", "100"},
        {"T100 K150 U200", ""},
        {"T100 R600 u640 R640 K650 U700", ""},
        {"T100 R600 u640 R640 U900", "100"},
        {"C100 U200", ""},
        {"E100 e140 e180 U300", "100 140 180"},
        {"T100 E300 U400", "300"},
    };
    for (const auto& [steps, want] : cases) {
        ShiftTaps rule;
        std::string taps;
        std::istringstream in(steps);
        for (std::string step; in >> step;) {
            const char what = step[0];
            std::optional<std::int64_t> tap;
            if (what == 'K')
                rule.otherInput();
            else if (what == 'U' || what == 'u')
                tap = rule.released(what == 'u');
            else
                tap = rule.pressed({std::stoll(step.substr(1)), std::strchr("TRC", what) != nullptr,
                                    what == 'C', what == 'R' || what == 'e'});
            if (tap) taps += (taps.empty() ? "" : " ") + std::to_string(*tap);
        }
        EXPECT_EQ(taps, want) << steps;
    }
}
