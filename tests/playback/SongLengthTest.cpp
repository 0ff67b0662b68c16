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
    const std::pair<std::string, std::string> cases[] = {
        {fifo, "is not a song file"},
        {"/dev/zero", "is not a song file"},
        {folder, "is not a song file"},
        {dir.file("missing.mp3"), "No such file"},
        {leased, "could not be read within 500 ms"},
        {song, "2 s"},
    };
    for (const auto& [path, said] : cases) {
        std::string got;
        try {
            got = std::to_string((measureSongLengthMs(path, 500) + 500) / 1000) + " s";
        } catch (const std::runtime_error& e) {
            got = e.what();
        }
        EXPECT_NE(got.find(said), std::string::npos) << path << ": " << got;
    }
    EXPECT_TRUE(test::LeaseHold::waiting()); // the discoverer, left behind in its open()
    EXPECT_FALSE(rescue.rescued());
}
