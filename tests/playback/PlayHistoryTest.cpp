// Going back through the songs played in this run.

#include "playback/PlayHistory.h"

#include <gtest/gtest.h>

#include <set>

using namespace larkspur;

TEST(PlayHistory, EachStepGoesFurtherBackPassingOverWhatCannotPlay)
{
    // Each row: 'p' plays a song (drawn or chosen), 'b' steps back; `gone` cannot play;
    // `reached` is the song reached after the steps, "" when a step found none.
    struct Row
    {
        const char* steps;
        std::set<std::string> gone;
        const char* reached;
    };
    const Row rows[] = {
        {"pa", {}, "a"},
        {"pa b", {}, ""}, // nothing before the first song
        {"pa pb b", {}, "a"},
        {"pa pb pc b b", {}, "a"}, // one song further back each time
        {"pa pb pc b b b", {}, ""},
        {"pa pb pc b", {"b"}, "a"}, // banned or removed since: passed over
        {"pa pb pa pc b", {}, "a"},
        {"pa pa b", {}, ""},          // the same song again is no step back
        {"pa pb pc b pd b", {}, "c"}, // a new song ends the walk back
    };
    for (const Row& r : rows) {
        PlayHistory h;
        bool found = true;
        const std::string steps = r.steps;
        for (std::size_t i = 0; i < steps.size(); ++i) {
            if (steps[i] == 'p')
                h.played(std::string(1, steps[++i]));
            else if (steps[i] == 'b')
                found = h.stepBack([&](const std::string& s) { return !r.gone.count(s); });
        }
        EXPECT_EQ(found ? h.reached() : "", r.reached) << r.steps;
    }
    PlayHistory full;
    for (std::size_t i = 0; i < PlayHistory::kCapacity + 10; ++i)
        full.played(std::to_string(i));
    EXPECT_EQ(full.size(), PlayHistory::kCapacity);
}
