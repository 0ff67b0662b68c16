#include "lyrics/LrcLyrics.h"
#include "lyrics/LyricsTiming.h"

#include <gtest/gtest.h>

using namespace larkspur;

TEST(LyricsTiming, StampsLinesInTurnAndTakesThemBack)
{
    LyricsTiming t("One\r\n\r\nTwo\r\nThree");
    EXPECT_EQ(t.stamp(1000), 0u);
    EXPECT_EQ(t.stamp(2500), 2u); // the blank line between verses is passed over
    EXPECT_EQ(t.undo(), 2u);
    EXPECT_EQ(t.stamp(2000), 2u);
    EXPECT_EQ(t.stamp(1500), 3u); // the song went back: never before the line above
    EXPECT_TRUE(t.done());
    EXPECT_EQ(t.stamp(9000), std::nullopt);
    const std::string lrc = t.lrc();
    EXPECT_EQ(lrc, "[00:01.00]One\r\n\r\n[00:02.00]Two\r\n[00:02.00]Three\r\n");
    EXPECT_EQ(LrcLyrics::parse(lrc).plainText(), "One\r\n\r\nTwo\r\nThree");

    // A seek back to 1.5 s keeps the first stamp only; timing goes on from "Two".
    t.restartAt(1500);
    EXPECT_EQ(t.lastStamped(), 0u);
    EXPECT_EQ(t.next(), 2u);
    t.restartAt(0);
    EXPECT_EQ(t.next(), 0u);
    EXPECT_EQ(t.undo(), 0u); // nothing to take back
    EXPECT_TRUE(LyricsTiming("\r\n  \r\n").done());
}
