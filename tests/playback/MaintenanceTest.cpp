#include "playback/ClearUndo.h"
#include "playback/ListMaintenance.h"
#include "playback/SongListFile.h"
#include "support/TestFiles.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace larkspur;

namespace {

std::vector<std::string> entriesOf(const SongList& list)
{
    std::vector<std::string> out;
    for (std::size_t i = 0; i < list.count(); ++i)
        out.emplace_back(list.get(i));
    return out;
}

} // namespace

TEST(FileTest, ReportsMissingFilesAndClearRemovesThem)
{
    test::TempDir dir;
    const std::string a = dir.file("a.mp3"), b = dir.file("b.mp3"), c = dir.file("c.mp3");
    test::writeFile(b, "id3");
    SongList list;
    list.add("0|" + a);
    list.add("2|" + b);
    list.add("1|" + c);

    const MissingFiles missing = testAllFiles(list);
    EXPECT_EQ(missing.positions, (std::vector<std::size_t>{0, 2}));
    EXPECT_EQ(missing.reportText(), a + "\n" + c);

    EXPECT_EQ(clearNotFoundFiles(list, missing), 2u);
    EXPECT_EQ(entriesOf(list), (std::vector<std::string>{"2|" + b}));
}

TEST(FileTest, NothingMissingGivesAnEmptyReport)
{
    test::TempDir dir;
    test::writeFile(dir.file("a.mp3"), "id3");
    SongList list;
    list.add("-1|" + dir.file("a.mp3")); // banned entries are tested too
    const MissingFiles missing = testAllFiles(list);
    EXPECT_TRUE(missing.empty());
    EXPECT_EQ(missing.reportText(), "");
}

TEST(FileTest, FoldersAndEntriesWithoutBarCountAsMissing)
{
    test::TempDir dir;
    std::filesystem::create_directory(dir.file("folder.mp3"));
    SongList list;
    list.add("0|" + dir.file("folder.mp3"));
    list.add("no bar here");
    list.add("");
    const MissingFiles missing = testAllFiles(list);
    EXPECT_EQ(missing.positions, (std::vector<std::size_t>{0, 1, 2}));
    EXPECT_EQ(missing.reportText(), dir.file("folder.mp3") + "\n\n");
}

TEST(ClearNotFoundFiles, ListChangedSinceTheTestLosesNothingElse)
{
    SongList list;
    for (const char* e : {"0|/gone/a.mp3", "0|/gone/b.mp3", "0|/gone/c.mp3"})
        list.add(e);
    const auto nothingExists = [](const std::string&) { return false; };
    const MissingFiles missing = testAllFiles(list, nothingExists);
    ASSERT_EQ(missing.positions.size(), 3u);

    // Cleared and refilled: same positions, other songs.
    list.clear();
    for (const char* e : {"0|/new/x.mp3", "4|/gone/b.mp3", "0|/new/y.mp3"})
        list.add(e);
    EXPECT_EQ(clearNotFoundFiles(list, missing), 1u);
    EXPECT_EQ(entriesOf(list), (std::vector<std::string>{"0|/new/x.mp3", "0|/new/y.mp3"}));

    // Shrunk below the recorded positions.
    list.clear();
    list.add("0|/gone/a.mp3");
    EXPECT_EQ(clearNotFoundFiles(list, missing), 1u);
    EXPECT_EQ(list.count(), 0u);
}

TEST(FileTest, MissingPositionsGrowPastTheOldTableSize)
{
    SongList list;
    const std::size_t n = 70000;
    for (std::size_t i = 0; i < n; ++i)
        list.add("0|/gone/" + std::to_string(i) + ".mp3");
    list.add("0|/kept.mp3");
    const MissingFiles missing =
        testAllFiles(list, [](const std::string& p) { return p == "/kept.mp3"; });
    ASSERT_EQ(missing.positions.size(), n);
    EXPECT_EQ(missing.positions.back(), n - 1);
    EXPECT_EQ(clearNotFoundFiles(list, missing), n);
    EXPECT_EQ(entriesOf(list), (std::vector<std::string>{"0|/kept.mp3"}));
}

TEST(BanSong, EveryEntryOfThePathAndNoOther)
{
    struct Case
    {
        std::vector<std::string> entries;
        std::string path;
        std::size_t held;
        std::vector<std::string> after;
    } cases[] = {
        {{"3|/m/a.mp3", "0|/m/b.mp3"}, "/m/a.mp3", 1, {"-1|/m/a.mp3", "0|/m/b.mp3"}},
        // Imported twice: both entries, whatever their counts.
        {{"2|/m/a.mp3", "0|/m/b.mp3", "7|/m/a.mp3"},
         "/m/a.mp3",
         2,
         {"-1|/m/a.mp3", "0|/m/b.mp3", "-1|/m/a.mp3"}},
        // A longer path sharing the start, a path with a "|" of its own, a line without one.
        {{"1|/m/a.mp3.bak", "1|/m/a|b.mp3", "/m/a.mp3", "-1|/m/a.mp3"},
         "/m/a.mp3",
         1,
         {"1|/m/a.mp3.bak", "1|/m/a|b.mp3", "/m/a.mp3", "-1|/m/a.mp3"}},
        {{"1|/m/a|b.mp3"}, "/m/a|b.mp3", 1, {"-1|/m/a|b.mp3"}},
        {{"0|/m/b.mp3"}, "/m/a.mp3", 0, {"0|/m/b.mp3"}},
    };
    for (const Case& c : cases) {
        SongList list;
        for (const auto& e : c.entries)
            list.add(e);
        EXPECT_EQ(banSong(list, c.path), c.held) << c.entries.front();
        EXPECT_EQ(entriesOf(list), c.after) << c.entries.front();
    }
}

// Every clear of a list with a file copies it whole first and keeps what it took out; Undo
// puts that back after the entries added since, counts and bans as they were.
TEST(ClearUndo, CopiesTheListAndPutsTheSongsBackAfterNewOnes)
{
    test::TempDir dir;
    const std::string listFile = dir.file("list.txt"), data = dir.file("data");
    test::writeFile(listFile, "");
    const std::vector<std::string> entries{"3|/m/a.mp3", "-1|/m/b.mp3", "0|/gone/c.mp3"};
    struct Case
    {
        bool all; // else the songs not found
        std::string file, folder, copyError;
        std::vector<std::string> removed;
    } cases[] = {
        {true, listFile, data, "", entries},
        {false, listFile, data, "", {"0|/gone/c.mp3"}},
        {true, listFile, "/dev/null/larkspur", "/dev/null/larkspur", entries},
        {true, "", "/dev/null/larkspur", "", entries}, // never saved: nothing to copy
    };
    for (const Case& c : cases) {
        SongList list;
        for (const auto& e : entries)
            list.add(e);
        const std::string whole = list.text();
        const MissingFiles missing =
            testAllFiles(list, [](const std::string& p) { return p.rfind("/gone/", 0) != 0; });
        ClearUndo undo;
        const ClearUndo::Cleared r = c.all ? undo.clearAll(list, c.file, c.folder)
                                           : undo.clearMissing(list, missing, c.file, c.folder);
        const std::string name = c.folder + (c.all ? " all " : " missing ") + c.file;
        EXPECT_EQ(r.removed, c.removed.size()) << name;
        EXPECT_NE(r.copyError.find(c.copyError), std::string::npos) << r.copyError;
        EXPECT_EQ(r.copyError.empty(), c.copyError.empty()) << r.copyError;
        const bool copied = !c.file.empty() && c.copyError.empty();
        EXPECT_EQ(r.copyPath, copied ? listDataFile(c.folder, c.file, "cleared") : "") << name;
        if (copied) {
            EXPECT_EQ(test::readFile(r.copyPath), whole);
            EXPECT_EQ(std::filesystem::status(r.copyPath).permissions(),
                      std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        }
        // A clear that takes nothing out keeps what an earlier one took.
        SongList empty;
        EXPECT_EQ(undo.clearAll(empty, c.file, c.folder).removed, 0u);
        list.add("0|/m/new.mp3");
        list.add("0|/m/a.mp3"); // added again since: the undo still brings back its count
        list.add("0|/gone/c.mp3");
        std::vector<std::string> expected = entriesOf(list);
        expected.insert(expected.end(), c.removed.begin(), c.removed.end());
        ASSERT_TRUE(undo.canUndo()) << name;
        EXPECT_EQ(undo.undo(list), c.removed.size()) << name;
        EXPECT_EQ(entriesOf(list), expected) << name;
    }
}
