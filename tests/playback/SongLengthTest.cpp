// A song's length measured by GStreamer's discoverer: only regular files, within a limit
// that also covers the open().

#include "playback/gst/GstMediaPlayer.h"
#include "playback/gst/SongLength.h"
#include "support/FifoRescue.h"
#include "support/LeaseHold.h"
#include "support/TestFiles.h"

#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <cmath>

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
            // The song that answers gets room for a busy machine; the others never answer.
            got = std::to_string((measureSongLengthMs(path, path == song ? 20000 : 500) + 500) /
                                 1000) +
                  " s";
        } catch (const std::runtime_error& e) {
            got = e.what();
        }
        EXPECT_NE(got.find(said), std::string::npos) << path << ": " << got;
    }
    // The reader left behind in its open(); on a busy machine its thread may start late.
    for (int i = 0; i < 100 && !test::LeaseHold::waiting(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(test::LeaseHold::waiting());
    EXPECT_FALSE(rescue.rescued());
}

// The length everywhere is the decoded one (every sample, by GStreamer's decoder): a VBR file
// without a header whose bitrate rises (quiet, then loud) behind 1 MB of tags, and a CBR file.
TEST(SongLength, MatchesTheDecodedLength)
{
    const QString launch = QStandardPaths::findExecutable(QStringLiteral("gst-launch-1.0"));
    if (launch.isEmpty()) GTEST_SKIP() << "gst-launch-1.0 (gstreamer1.0-tools) is not installed";
    TempDir dir;
    const auto gst = [&](const std::string& pipeline) {
        return QProcess::execute(launch, QStringList{QStringLiteral("-q")} +
                                             QProcess::splitCommand(QString::fromStdString(pipeline))) == 0;
    };
    const auto encode = [&](const std::string& wave, int buffers, const std::string& options, const std::string& to) {
        return gst("audiotestsrc wave=" + wave + " num-buffers=" + std::to_string(buffers) +
                   " ! audio/x-raw,rate=44100,channels=2 ! lamemp3enc " + options + " ! filesink location=" + to);
    };
    ASSERT_TRUE(encode("silence", 1292, "target=quality", dir.file("quiet")) &&
                encode("white-noise", 431, "target=quality", dir.file("loud")) &&
                encode("white-noise", 431, "target=bitrate cbr=true bitrate=128", dir.file("cbr.mp3")));
    test::writeFile(dir.file("vbr.mp3"), std::string("ID3\x03\0\0\x00\x40\0\0", 10) + std::string(1 << 20, '\0') +
                                             test::readFile(dir.file("quiet")) + test::readFile(dir.file("loud")));
    for (const std::string name : {"vbr.mp3", "cbr.mp3"}) {
        ASSERT_TRUE(gst("filesrc location=" + dir.file(name) + " ! decodebin ! audioconvert ! "
                        "audio/x-raw,format=S16LE,channels=2 ! filesink location=" + dir.file("raw")));
        const double decoded = std::filesystem::file_size(dir.file("raw")) / 4.0 / 44100 * 1000;
        EXPECT_NEAR(measureSongLengthMs(dir.file(name)), decoded, 500) << name;
        GstMediaPlayer player("fakesink");
        player.open(dir.file(name));
        EXPECT_TRUE(test::waitFor([&] { return std::abs(player.lengthMs() - decoded) <= 500; }))
            << name << ": " << player.lengthMs() << " ms, decoded " << decoded;
    }
}
