// A song's length measured by GStreamer's discoverer: only regular files, within a limit
// that also covers the open().

#include "playback/gst/SongLength.h"
#include "support/FifoRescue.h"
#include "support/LeaseHold.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

using namespace larkspur;
using larkspur::test::TempDir;

TEST(SongLength, OnlyRegularFilesAndTheOpenWithinTheLimit)
{
    TempDir dir;
    const std::string fifo = dir.file("Fifo - Song.mp3"), folder = dir.file("Folder.mp3"),
                      song = dir.file("Tone.mp3"), leased = dir.file("Leased.mp3");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_directory(folder);
    test::makeMp3(song, 2.0);
    test::makeMp3(leased, 2.0);
    test::FifoRescue rescue({fifo});
    test::LeaseHold lease(leased);
    ASSERT_TRUE(lease.held());
    struct Case
    {
        std::string path;
        std::string error; // empty: a length of about two seconds
    } cases[] = {
        {fifo, "is not a song file"},
        {"/dev/zero", "is not a song file"},
        {folder, "is not a song file"},
        {dir.file("missing.mp3"), "No such file"},
        {leased, "could not be read within 500 ms"},
        {song, ""},
    };
    for (const Case& c : cases) {
        try {
            const long long ms = measureSongLengthMs(c.path, 500);
            EXPECT_TRUE(c.error.empty()) << c.path;
            EXPECT_NEAR(ms, 2000, 100) << c.path;
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(c.error), std::string::npos)
                << c.path << ": " << e.what();
            EXPECT_FALSE(c.error.empty()) << c.path << ": " << e.what();
        }
    }
    EXPECT_TRUE(test::LeaseHold::asked()); // the discoverer was held in its open()
    EXPECT_FALSE(rescue.rescued());
    EXPECT_FALSE(lease.rescued());
}
