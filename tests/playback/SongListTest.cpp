#include "playback/SongList.h"
#include "playback/SongListFile.h"
#include "support/TestFiles.h"

#include <QFileInfo>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace larkspur;
using larkspur::test::readFile;
using larkspur::test::TempDir;
using larkspur::test::writeFile;

TEST(SongEntry, SplitsAtTheFirstBarOnly)
{
    auto e = splitEntry("3|/music/a|b.mp3");
    EXPECT_EQ(e.countText, "3");
    EXPECT_EQ(e.path, "/music/a|b.mp3");
    e = splitEntry("no bar here");
    EXPECT_EQ(e.countText, "no bar here");
    EXPECT_EQ(e.path, "");
    e = splitEntry("|/x.mp3");
    EXPECT_EQ(e.countText, "");
    EXPECT_EQ(e.path, "/x.mp3");
}

TEST(SongEntry, CountsAreStrictIntegers)
{
    EXPECT_EQ(parseCount("0"), 0);
    EXPECT_EQ(parseCount("  12"), 12);
    EXPECT_EQ(parseCount("-1"), -1);
    EXPECT_EQ(parseCount("+7"), 7);
    EXPECT_EQ(parseCount("2147483647"), 2147483647);
    EXPECT_EQ(parseCount("-2147483648"), -2147483647 - 1);
    for (const char* bad : {"", " ", "-", "12a", "1 2", "3 ", "0x10", "2147483648", "abc"})
        EXPECT_FALSE(parseCount(bad).has_value()) << '"' << bad << '"';
    EXPECT_EQ(makeEntry(-1, "/a|b"), "-1|/a|b");
}

TEST(SongList, TextRoundTripKeepsEveryLine)
{
    SongList list;
    list.setText("0|/a.mp3\r\n5|/b|c.mp3\r\n\r\nfree text\r\n");
    ASSERT_EQ(list.count(), 4u); // the final line break adds nothing, the empty line stays
    EXPECT_EQ(list.get(1), "5|/b|c.mp3");
    EXPECT_EQ(list.get(2), "");
    EXPECT_EQ(list.text(), "0|/a.mp3\r\n5|/b|c.mp3\r\n\r\nfree text\r\n");

    list.setText("1|/x\n2|/y\r\n3|/z"); // lone LF, no final break
    ASSERT_EQ(list.count(), 3u);
    EXPECT_EQ(list.get(1), "2|/y");
    EXPECT_EQ(list.get(2), "3|/z");
    list.setText("1|/x\r2|/y\r"); // old Mac line ends
    ASSERT_EQ(list.count(), 2u);
    EXPECT_EQ(list.get(1), "2|/y");
    list.setText("1|/x\n2|/y\r3|/z\r\n\r4|/w"); // mixed: no song hides in another's path
    ASSERT_EQ(list.count(), 5u);
    EXPECT_EQ(list.get(1), "2|/y");
    EXPECT_EQ(list.get(2), "3|/z");
    EXPECT_EQ(list.get(3), "");
    EXPECT_EQ(list.get(4), "4|/w");
    list.setText("1|/x\n2|/y");
    list.remove(0);
    EXPECT_EQ(list.get(0), "2|/y");
    EXPECT_THROW(list.remove(5), std::out_of_range);
    list.setText("");
    EXPECT_TRUE(list.empty());
}

TEST(SongListFile, LoadAndSaveRoundTrip)
{
    TempDir dir;
    const auto name = dir.file("list.txt");
    writeFile(name, "0|/m/a.mp3\r\n3|/m/b|x.mp3\r\n-1|/m/c.mp3\r\n");
    SongList list;
    ASSERT_TRUE(loadSongList(name, list));
    ASSERT_EQ(list.count(), 3u);
    EXPECT_EQ(splitEntry(list.get(1)).path, "/m/b|x.mp3");
    list.put(0, "1|/m/a.mp3");
    ASSERT_TRUE(saveSongList(name, list));
    EXPECT_EQ(readFile(name), "1|/m/a.mp3\r\n3|/m/b|x.mp3\r\n-1|/m/c.mp3\r\n");
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(name + ".saving")));
}

TEST(SongListFile, SaveThroughASymbolicLinkReplacesTheTarget)
{
    TempDir dir;
    const auto real = dir.file("real.txt");
    const auto link = dir.file("link.txt");
    writeFile(real, "0|/a.mp3\r\n");
    ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
    SongList list;
    list.add("1|/a.mp3");
    ASSERT_TRUE(saveSongList(link, list));
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(readFile(real), "1|/a.mp3\r\n");
}

TEST(SongList, ManyReplacementsKeepEveryEntryIntact)
{
    SongList list;
    for (int i = 0; i < 1000; ++i) list.add(makeEntry(0, "/music/song" + std::to_string(i)));
    // Enough replacements to make the list reclaim its garbage several times over.
    for (int round = 1; round <= 200; ++round)
        for (int i = 0; i < 1000; i += 7) list.put(i, makeEntry(round, splitEntry(list.get(i)).path));
    list.put(3, list.get(4)); // an entry copied from the list itself
    list.remove(999);
    ASSERT_EQ(list.count(), 999u);
    for (int i = 0; i < 999; ++i) {
        const auto e = splitEntry(list.get(i));
        const std::string want = i == 3 ? "/music/song4" : "/music/song" + std::to_string(i);
        EXPECT_EQ(e.path, want);
        if (i != 3) {
            EXPECT_EQ(parseCount(e.countText), i % 7 == 0 ? 200 : 0);
        }
    }
}
