// The window on the real GStreamer player and real MP3 files, timers run by the event loop.

#include "app/TForm1.h"
#include "app/core/SettingsStore.h"
#include "playback/gst/GstMediaPlayer.h"
#include "support/QuietServices.h"
#include "support/TestFiles.h"

#include <QAction>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>

using namespace larkspur;
using larkspur::test::readFile;
using larkspur::test::TempDir;
using larkspur::test::writeFile;

namespace {

struct FixedRandom : TimeSeededRandom
{
    using TimeSeededRandom::TimeSeededRandom;
    void seedFromClock() override {}
};

class WindowRealPlayer : public ::testing::Test
{
protected:
    void SetUp() override
    {
        good = dir.file("Good Band - Fine Song.mp3");
        test::makeMp3(good, 3.0);
        broken = dir.file("Bad Band - Noise.mp3");
        std::string noise(30000, '\0');
        std::mt19937 rng(3);
        for (auto& b : noise) b = static_cast<char>(rng());
        writeFile(broken, noise);
        list = dir.file("songs.txt");
        writeFile(list, "0|" + broken + "\r\n0|" + good + "\r\n");
        services.mp = &mp;
        services.settings = &store;
        services.random = &random;
        test::makeQuiet(services, dir.path(), nullptr);
    }

    std::vector<std::string> logLines()
    {
        std::vector<std::string> out;
        std::string all = readFile(dir.file("log.txt"));
        std::size_t start = 0, end;
        while ((end = all.find("\r\n", start)) != std::string::npos) {
            out.push_back(all.substr(start, end - start));
            start = end + 2;
        }
        return out;
    }

    template <typename F> bool waitUntil(F cond, int ms)
    {
        QElapsedTimer t;
        t.start();
        while (!cond() && t.elapsed() < ms) QTest::qWait(10);
        return cond();
    }

    TempDir dir;
    std::string good, broken, list;
    GstMediaPlayer mp{"fakesink"};
    FixedRandom random{7};
    MapSettingsStore store;
    FormServices services;
};

} // namespace

TEST_F(WindowRealPlayer, BrokenPickIsMarkedAndAnotherSongPlays)
{
    TForm1 form(services);
    form.FormCreate({});
    form.dl.setText(readFile(list));
    form.PlayNextSong(0);
    const auto l = logLines();
    ASSERT_EQ(l.size(), 4u);
    EXPECT_TRUE(l[1].ends_with(" - " + broken));
    EXPECT_EQ(l[2], " <- !! ABSPIELFEHLER !!");
    EXPECT_TRUE(l[3].ends_with(" - " + good));
    EXPECT_EQ(mp.mode(), PlayerMode::Playing);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Good Band - Fine Song.mp3 - Larkspur"));
    EXPECT_EQ(form.dl.get(0), "1|" + broken);
    EXPECT_EQ(form.dl.get(1), "1|" + good);
}

TEST_F(WindowRealPlayer, CloseWhilePlayingFadesOutThenEnds)
{
    writeFile(list, "0|" + good + "\r\n");
    TForm1 form(services);
    form.FormCreate({QString::fromStdString(list)});
    form.show();
    ASSERT_EQ(mp.mode(), PlayerMode::Playing);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Good Band - Fine Song.mp3 - Larkspur"));
    ASSERT_TRUE(waitUntil([&] { return mp.positionMs() > 200; }, 3000));

    form.close();
    EXPECT_FALSE(form.closed());
    EXPECT_TRUE(form.fadetmr->isActive());
    ASSERT_TRUE(waitUntil([&] { return form.closed(); }, 5000));
    const auto l = logLines();
    ASSERT_EQ(l.size(), 3u);
    EXPECT_EQ(l[0], " <- START");
    EXPECT_TRUE(l[1].ends_with(" - " + good));
    EXPECT_EQ(l[2], " <- EXIT");
    EXPECT_EQ(readFile(list), "1|" + good + "\r\n");
}

TEST_F(WindowRealPlayer, CloseWhilePausedEndsAtOnce)
{
    writeFile(list, "0|" + good + "\r\n");
    TForm1 form(services);
    form.FormCreate({QString::fromStdString(list)});
    form.show();
    form.Pause1Click();
    ASSERT_TRUE(waitUntil([&] { return mp.mode() == PlayerMode::Paused; }, 3000));
    form.close();
    EXPECT_TRUE(form.closed());
    const auto l = logLines();
    ASSERT_EQ(l.size(), 3u);
    EXPECT_EQ(l[2], " <- EXIT");
}

TEST_F(WindowRealPlayer, SongEndLeadsToTheNextSong)
{
    const auto second = dir.file("Other - Short.mp3");
    test::makeMp3(second, 1.0);
    writeFile(list, "0|" + second + "\r\n");
    TForm1 form(services);
    form.FormCreate({QString::fromStdString(list)});
    ASSERT_EQ(mp.mode(), PlayerMode::Playing);
    // The 500 ms tick sees the end and starts the (only) song again.
    ASSERT_TRUE(waitUntil([&] { return form.dl.get(0).rfind("2|", 0) == 0; }, 6000));
    EXPECT_EQ(logLines().size(), 3u);
}

// One playable song among broken files and a pipe named like a song: the pipe fails at once
// instead of blocking the window, and the playable song keeps coming back.
TEST_F(WindowRealPlayer, OnePlayableSongAmongBrokenOnesAndAPipeKeepsPlaying)
{
    const auto shortSong = dir.file("Short - One.mp3");
    test::makeMp3(shortSong, 0.6);
    const auto pipe = dir.file("Pipe - Never.mp3");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    std::string text = "0|" + pipe + "\r\n0|" + shortSong + "\r\n";
    for (int i = 0; i < 8; ++i) text += "0|" + broken + "\r\n";
    writeFile(list, text);
    TForm1 form(services);
    form.FormCreate({QString::fromStdString(list)});
    const auto plays = [&] {
        const std::string log = readFile(dir.file("log.txt"));
        int n = 0;
        for (auto at = log.find(shortSong); at != std::string::npos; at = log.find(shortSong, at + 1))
            ++n;
        return n;
    };
    EXPECT_TRUE(waitUntil([&] { return plays() >= 4; }, 60000)) << plays() << " plays";
    EXPECT_NE(readFile(dir.file("log.txt")).find(pipe), std::string::npos);
}

// Play pressed while the pause fade still runs: the song goes on from where it is.
TEST_F(WindowRealPlayer, PlayDuringThePauseFadeKeepsThePosition)
{
    writeFile(list, "0|" + good + "\r\n");
    TForm1 form(services);
    form.FormCreate({QString::fromStdString(list)});
    ASSERT_TRUE(waitUntil([&] { return mp.positionMs() > 1200; }, 4000));
    form.Pause1Click();
    QTest::qWait(60); // a few fade steps, not the whole fade
    ASSERT_EQ(mp.mode(), PlayerMode::Playing);
    const auto before = mp.positionMs();
    form.Pause1Click();
    ASSERT_TRUE(waitUntil([&] { return !form.fadetmr->isActive(); }, 3000));
    EXPECT_EQ(mp.mode(), PlayerMode::Playing);
    EXPECT_GE(mp.positionMs(), before);
    EXPECT_EQ(form.DeviceVolume, form.Volume);
}
