#include "playback/SongList.h"

#include <gtest/gtest.h>

using namespace larkspur;

TEST(SongEntry, SplitsAtFirstBar)
{
    auto e = splitEntry("3|/music/a|b.mp3");
    EXPECT_EQ(e.countText, "3");
    EXPECT_EQ(e.path, "/music/a|b.mp3");
}
