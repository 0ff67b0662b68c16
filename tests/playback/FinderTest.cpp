#include "playback/SongFinder.h"

#include <gtest/gtest.h>

using namespace larkspur;

TEST(MatchesSearch, PatternsAndPieces)
{
    const std::string help = "0|C:\\Music\\The Beatles - Help.mp3";
    EXPECT_TRUE(MatchesSearch(help, "beatles"));
    EXPECT_TRUE(MatchesSearch(help, "BEATLES"));
    EXPECT_TRUE(MatchesSearch(help, "help*beatles")); // pieces in any order
    EXPECT_TRUE(MatchesSearch(help, "the*he"));       // pieces may overlap
    EXPECT_FALSE(MatchesSearch(help, "*help"));       // empty pieces are found nowhere
    EXPECT_FALSE(MatchesSearch(help, "help*"));
    EXPECT_FALSE(MatchesSearch(help, "help**beatles"));
    EXPECT_FALSE(MatchesSearch(help, "*"));
    EXPECT_FALSE(MatchesSearch(help, "help*stones"));
    EXPECT_FALSE(MatchesSearch(help, ""));
    EXPECT_FALSE(MatchesSearch("", "a"));
    // Count and bar are part of the text.
    EXPECT_TRUE(MatchesSearch(help, "0|c:"));
    EXPECT_TRUE(MatchesSearch("13|/m/a.mp3", "3|"));
    EXPECT_TRUE(MatchesSearch("0|/m/a3|b.mp3", "3|"));
    EXPECT_FALSE(MatchesSearch("31|/m/a.mp3", "3|"));
}

TEST(MatchesSearch, OnlyPlainLettersFoldAtEveryPosition)
{
    // Latin-1 umlauts match only themselves.
    EXPECT_TRUE(MatchesSearch("0|/m/\xC4rzte.mp3", "\xC4RZTE"));
    EXPECT_FALSE(MatchesSearch("0|/m/\xC4rzte.mp3", "\xE4rzte"));
    // Characters that differ from letters by the case bit stay distinct.
    EXPECT_FALSE(MatchesSearch("0|/m/@.mp3", "`"));
    EXPECT_FALSE(MatchesSearch("0|/m/[x].mp3", "{x}"));

    // A match at each position of texts longer and shorter than one screening block.
    const std::string base = "0|/music/some longer folder name/track";
    for (std::size_t pos = 0; pos + 4 <= base.size(); ++pos) {
        std::string text = base;
        text.replace(pos, 4, "QzXw");
        EXPECT_TRUE(MatchesSearch(text, "qZxW")) << pos;
        EXPECT_TRUE(MatchesSearch(text, "q")) << pos;
    }
    EXPECT_FALSE(MatchesSearch(base, "qzxw"));
    EXPECT_TRUE(MatchesSearch("ab", "AB"));
    EXPECT_FALSE(MatchesSearch("ab", "abc"));
}

TEST(FindSongs, RowsPointAtListPositionsBeyondTheOldLimit)
{
    SongList list;
    for (int i = 0; i < 70000; ++i)
        list.add("0|/m/Beatles " + std::to_string(i) + ".mp3");
    list.add("0|/m/Stones.mp3");
    list.add("2|/m/beatles - help.mp3");

    const std::vector<std::size_t> rows = findSongs(list, "BEATLES");
    ASSERT_EQ(rows.size(), 70001u);
    EXPECT_EQ(rows.front(), 0u);
    EXPECT_EQ(rows.back(), 70001u);

    EXPECT_EQ(findSongs(list, "stones"), (std::vector<std::size_t>{70000}));
    EXPECT_EQ(findSongs(list, "help*2|"), (std::vector<std::size_t>{70001}));
    EXPECT_TRUE(findSongs(list, "").empty());
    EXPECT_TRUE(findSongs(list, "stones*").empty());
}
