#include "playback/ShiftTaps.h"
#include "playback/TempoTapper.h"

#include <gtest/gtest.h>
#include <string_view>
#include <vector>

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

// Steps: T press in a text field, R its key repeat, C with Ctrl, E press elsewhere, e its
// repeat, X Ctrl+Shift elsewhere, K another key or a click, U release, u a repeat's release.
TEST(ShiftTaps, TextFieldsTapOnlyOnALoneShift)
{
    struct Case
    {
        const char* name;
        std::vector<std::pair<char, std::int64_t>> steps;
        std::vector<std::int64_t> taps;
    };
    const Case cases[] = {
        {"lone Shift in text, dated at the press", {{'T', 100}, {'U', 400}}, {100}},
        {"a capital", {{'T', 100}, {'K', 150}, {'U', 200}}, {}},
        {"a capital with Shift held long",
         {{'T', 100}, {'R', 600}, {'u', 640}, {'R', 640}, {'K', 650}, {'U', 700}},
         {}},
        {"held alone", {{'T', 100}, {'R', 600}, {'u', 640}, {'R', 640}, {'U', 900}}, {100}},
        {"two beats", {{'T', 100}, {'U', 150}, {'T', 800}, {'U', 900}}, {100, 800}},
        {"Ctrl+Shift in text", {{'C', 100}, {'U', 200}}, {}},
        {"elsewhere at once, repeats too",
         {{'E', 100}, {'e', 140}, {'e', 180}, {'U', 300}},
         {100, 140, 180}},
        {"elsewhere with a letter", {{'E', 100}, {'K', 120}, {'U', 200}}, {100}},
        {"Ctrl+Shift elsewhere", {{'X', 100}, {'U', 200}}, {}},
        {"release alone", {{'U', 100}}, {}},
        {"text, then elsewhere", {{'T', 100}, {'E', 300}, {'U', 400}}, {300}},
    };
    for (const Case& c : cases) {
        ShiftTaps rule;
        std::vector<std::int64_t> taps;
        for (const auto& [what, ms] : c.steps) {
            std::optional<std::int64_t> tap;
            if (what == 'K') rule.otherInput();
            if (what == 'U' || what == 'u') tap = rule.released(what == 'u');
            if (std::string_view("TRCEeX").find(what) != std::string_view::npos)
                tap =
                    rule.pressed({ms, std::string_view("TRC").find(what) != std::string_view::npos,
                                  what == 'C' || what == 'X', what == 'R' || what == 'e'});
            if (tap) taps.push_back(*tap);
        }
        EXPECT_EQ(taps, c.taps) << c.name;
    }
}
