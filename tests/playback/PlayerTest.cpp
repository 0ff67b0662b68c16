// The GStreamer player on real MP3 files, output to a fake sink that keeps real time.

#include "playback/gst/GstMediaPlayer.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>
#include <chrono>
#include <random>
#include <thread>
#include <sys/stat.h>

using namespace larkspur;
using namespace std::chrono_literals;
using larkspur::test::TempDir;

namespace {

// Polls until cond holds or the time is up; the player is only ever polled, as the
// window's timer does.
template <typename F> bool waitFor(F cond, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (cond()) return true;
        std::this_thread::sleep_for(20ms);
    }
    return cond();
}

} // namespace

TEST(GstPlayer, PlaysPausesResumesAndReportsTheEnd)
{
    TempDir dir;
    const auto song = dir.file("Artist - Title.mp3");
    test::makeMp3(song, 1.5);
    GstMediaPlayer mp("fakesink");
    EXPECT_EQ(mp.mode(), PlayerMode::NotReady);
    mp.open(song);
    EXPECT_EQ(mp.mode(), PlayerMode::Stopped); // opened, not started
    mp.setVolume(500);
    mp.play();
    EXPECT_EQ(mp.mode(), PlayerMode::Playing);
    ASSERT_TRUE(waitFor([&] { return mp.positionMs() >= 300; }, 3000ms));
    // Some streams are only measured once they play; on a busy machine that takes a while.
    ASSERT_TRUE(waitFor([&] { return mp.lengthMs() > 0; }, 3000ms));
    EXPECT_NEAR(mp.lengthMs(), 1500, 150);

    mp.pause();
    EXPECT_EQ(mp.mode(), PlayerMode::Paused);
    std::this_thread::sleep_for(100ms);
    const auto paused = mp.positionMs();
    std::this_thread::sleep_for(300ms);
    EXPECT_NEAR(mp.positionMs(), paused, 40); // stands still while paused
    EXPECT_LT(paused, 1200);

    mp.resume();
    EXPECT_EQ(mp.mode(), PlayerMode::Playing);
    ASSERT_TRUE(waitFor([&] { return mp.positionMs() > paused + 100; }, 3000ms));
    EXPECT_GE(mp.positionMs(), paused); // went on from where it stood

    ASSERT_TRUE(waitFor([&] { return mp.mode() == PlayerMode::Stopped; }, 5000ms));
    mp.close();
    EXPECT_EQ(mp.mode(), PlayerMode::NotReady);
}

TEST(GstPlayer, BrokenFilesRaiseTheBackEndsMessage)
{
    TempDir dir;
    const auto empty = dir.file("empty.mp3");
    test::writeFile(empty, "");
    const auto noise = dir.file("noise.mp3");
    std::string bytes(20000, '\0');
    std::mt19937 rng(7);
    for (auto& b : bytes) b = static_cast<char>(rng());
    test::writeFile(noise, bytes);
    const auto text = dir.file("notes.ogg");
    test::writeFile(text, "just some text, no sound at all\n");
    const auto folder = dir.file("folder.mp3");
    ::mkdir(folder.c_str(), 0700);
    // Nothing ever writes to this pipe: reading it would block for ever.
    const auto pipe = dir.file("pipe.mp3");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);

    GstMediaPlayer mp("fakesink", 5000);
    for (const auto& f : {dir.file("missing.mp3"), empty, noise, text, folder, pipe}) {
        const auto started = std::chrono::steady_clock::now();
        try {
            mp.open(f);
            ADD_FAILURE() << "opened " << f;
        } catch (const PlayerError& e) {
            EXPECT_GT(std::string(e.what()).size(), 5u) << f;
        }
        EXPECT_EQ(mp.mode(), PlayerMode::NotReady) << f;
        // Well inside the open limit: a file that cannot play fails, it does not hang.
        EXPECT_LT(std::chrono::steady_clock::now() - started, 4000ms) << f;
    }
    EXPECT_THROW(mp.pause(), PlayerError);
    EXPECT_NO_THROW(mp.setVolume(300));
    EXPECT_NO_THROW(mp.close());

    // A good file still opens after the failures.
    const auto song = dir.file("ok.mp3");
    test::makeMp3(song, 1.5);
    EXPECT_NO_THROW(mp.open(song));
}

// A resume or play that reaches a song still playing (Play pressed while the pause fade
// runs) must not start it again.
TEST(GstPlayer, ResumeAndPlayNeverMoveAPlayingSong)
{
    TempDir dir;
    const auto song = dir.file("song.mp3");
    test::makeMp3(song, 3.0);
    GstMediaPlayer mp("fakesink");
    mp.open(song);
    mp.play();
    ASSERT_TRUE(waitFor([&] { return mp.positionMs() >= 800; }, 4000ms));
    for (auto call : {&GstMediaPlayer::resume, &GstMediaPlayer::play}) {
        const auto before = mp.positionMs();
        (mp.*call)();
        EXPECT_EQ(mp.mode(), PlayerMode::Playing);
        std::this_thread::sleep_for(100ms);
        EXPECT_GE(mp.positionMs(), before);
    }
    // A song that ended starts again on resume.
    ASSERT_TRUE(waitFor([&] { return mp.mode() == PlayerMode::Stopped; }, 6000ms));
    mp.resume();
    EXPECT_EQ(mp.mode(), PlayerMode::Playing);
    EXPECT_LT(mp.positionMs(), 1000);
}

TEST(GstPlayer, VolumeScaleIsCubic)
{
    EXPECT_DOUBLE_EQ(GstMediaPlayer::linearVolume(0), 0.0);
    EXPECT_DOUBLE_EQ(GstMediaPlayer::linearVolume(1000), 1.0);
    EXPECT_NEAR(GstMediaPlayer::linearVolume(500), 0.125, 1e-9);
    EXPECT_DOUBLE_EQ(GstMediaPlayer::linearVolume(2000), 1.0);
}

// The first song started before any player exists is taken over where it plays.
TEST(GstPlayer, ASongStartedAheadIsTakenOverPlaying)
{
    TempDir dir;
    const auto song = dir.file("song.mp3");
    test::makeMp3(song, 3.0);
    auto warm = GstMediaPlayer::warmUp("fakesink", song, 400);
    std::this_thread::sleep_for(500ms);
    GstMediaPlayer mp("fakesink", 10000, std::move(warm));
    mp.open(song);
    EXPECT_EQ(mp.mode(), PlayerMode::Playing);
    const auto before = mp.positionMs();
    EXPECT_GE(before, 200); // playing before the open, not restarted by it
    mp.play();
    EXPECT_GE(mp.positionMs(), before);
}

TEST(GstPlayer, ABrokenSongStartedAheadFailsInTheOpen)
{
    TempDir dir;
    const auto text = dir.file("notes.mp3"), song = dir.file("song.mp3");
    test::writeFile(text, "just some text, no sound at all\n");
    test::makeMp3(song, 1.0);
    GstMediaPlayer mp("fakesink", 5000, GstMediaPlayer::warmUp("fakesink", text));
    EXPECT_THROW(mp.open(text), PlayerError);
    EXPECT_EQ(mp.mode(), PlayerMode::NotReady);
    mp.open(song);
    EXPECT_EQ(mp.mode(), PlayerMode::Stopped); // an ordinary open again
}
