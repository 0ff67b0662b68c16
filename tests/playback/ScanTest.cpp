#include "playback/DirectoryScanner.h"
#include "support/TestFiles.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

using namespace larkspur;
namespace fs = std::filesystem;

namespace {

std::size_t positionOf(const std::vector<std::string>& entries, const std::string& entry)
{
    const auto it = std::find(entries.begin(), entries.end(), entry);
    return it == entries.end() ? entries.size() : static_cast<std::size_t>(it - entries.begin());
}

// root: x.mp3, Y.MP3, .hidden.mp3, notes.txt, z.mp3/ (inner.mp3), S/ (y.mp3, T/ (t.Mp3),
// back -> root), loop -> root, ext1 -> outside, ext2 -> outside; outside: e.mp3.
struct Tree
{
    test::TempDir tmp;
    std::string root = tmp.path() + "/M";
    std::string outside = tmp.path() + "/outside";

    Tree()
    {
        fs::create_directories(root + "/z.mp3");
        fs::create_directories(root + "/S/T");
        fs::create_directories(outside);
        for (const char* f : {"/x.mp3", "/Y.MP3", "/.hidden.mp3", "/notes.txt", "/z.mp3/inner.mp3",
                              "/S/y.mp3", "/S/T/t.Mp3"})
            test::writeFile(root + f, "id3");
        test::writeFile(outside + "/e.mp3", "id3");
        fs::create_directory_symlink(root, root + "/loop");
        fs::create_directory_symlink("..", root + "/S/back");
        fs::create_directory_symlink(outside, root + "/ext1");
        fs::create_directory_symlink(outside, root + "/ext2");
    }
};

} // namespace

TEST(MatchesFileMask, WildcardsIgnoreCase)
{
    EXPECT_TRUE(matchesFileMask("song.mp3", "*.mp3"));
    EXPECT_TRUE(matchesFileMask("SONG.MP3", "*.mp3"));
    EXPECT_TRUE(matchesFileMask(".mp3", "*.mp3"));
    EXPECT_FALSE(matchesFileMask("song.mp3x", "*.mp3"));
    EXPECT_FALSE(matchesFileMask("song.mp", "*.mp3"));
    EXPECT_TRUE(matchesFileMask("a.b.c", "*.*"));
    EXPECT_TRUE(matchesFileMask("ab1.wav", "a?1*"));
    EXPECT_FALSE(matchesFileMask("a1.wav", "a?1*"));
    EXPECT_TRUE(matchesFileMask("aXbXc", "*b*c"));
    EXPECT_TRUE(matchesFileMask("", "*"));
}

TEST(ScanDirectory, SubFoldersFirstHiddenIncludedLoopsCut)
{
    Tree t;
    std::vector<ScanProgress> reports;
    DirectoryScanner scanner([&](const ScanProgress& p) { reports.push_back(p); });
    const std::vector<std::string> got = scanner.scan(t.root).entries;

    const std::string m = t.root + "/";
    const std::vector<std::string> always = {"0|" + m + "x.mp3",       "0|" + m + "Y.MP3",
                                             "0|" + m + ".hidden.mp3", "0|" + m + "z.mp3/inner.mp3",
                                             "0|" + m + "S/y.mp3",     "0|" + m + "S/T/t.Mp3"};
    for (const auto& e : always)
        EXPECT_LT(positionOf(got, e), got.size()) << e;

    // The outside folder is reached through one of its two links, never both.
    const std::size_t e1 = positionOf(got, "0|" + m + "ext1/e.mp3");
    const std::size_t e2 = positionOf(got, "0|" + m + "ext2/e.mp3");
    EXPECT_TRUE((e1 < got.size()) != (e2 < got.size()));
    EXPECT_EQ(got.size(), always.size() + 1);

    // Sub-trees before the folder's own files, at every level; the folder named like a
    // song is descended into, not listed.
    const std::size_t ownFirst = std::min(
        {positionOf(got, always[0]), positionOf(got, always[1]), positionOf(got, always[2])});
    for (const std::size_t sub : {positionOf(got, always[3]), positionOf(got, always[4]),
                                  positionOf(got, always[5]), std::min(e1, e2)})
        EXPECT_LT(sub, ownFirst);
    EXPECT_LT(positionOf(got, always[5]), positionOf(got, always[4]));
    EXPECT_EQ(positionOf(got, "0|" + m + "z.mp3"), got.size());
    EXPECT_EQ(positionOf(got, "0|" + m + "notes.txt"), got.size());

    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back().folders, 5u); // M, z.mp3, S, T and the outside folder once
    EXPECT_EQ(reports.back().songs, got.size());
}

TEST(ScanDirectory, FlatScanTrailingSlashAndNothingToScan)
{
    Tree t;
    std::vector<std::string> flat = ScanDirectory(t.root + "/S/", "*.MP3", false);
    EXPECT_EQ(flat, (std::vector<std::string>{"0|" + t.root + "/S/y.mp3"}));

    DirectoryScanner scanner;
    EXPECT_TRUE(scanner.scan(t.root + "/S/T", "*.txt").entries.empty());
    EXPECT_TRUE(scanner.scan(t.tmp.path() + "/no such folder").entries.empty());
    EXPECT_TRUE(scanner.scan("").entries.empty());
}

TEST(ScanDirectory, CancelledOnAWorkerThreadReturnsNothing)
{
    Tree t;
    std::size_t calls = 0;
    DirectoryScanner cancelling([&](const ScanProgress& p) {
        ++calls;
        if (p.folders == 2) cancelling.cancel();
    });
    std::vector<std::string> got{"not yet"};
    std::thread worker([&] { got = cancelling.scan(t.root).entries; });
    worker.join();
    EXPECT_GT(calls, 0u);
    EXPECT_TRUE(got.empty());
    EXPECT_TRUE(cancelling.scan(t.root).cancelled);

    DirectoryScanner plain;
    EXPECT_EQ(plain.scan(t.root).entries.size(), 7u);
}
