// The window's playback handlers driven directly, tick by tick, with a fake player.

#include "app/TForm1.h"
#include "app/core/FirstSong.h"
#include "app/core/Settings.h"
#include "app/core/StartupPath.h"
#include "app/core/SettingsStore.h"
#include "playback/SongListFile.h"
#include "playback/TimeText.h"
#include "support/FakeMediaPlayer.h"
#include "support/QuietServices.h"
#include "support/TestFiles.h"

#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QSlider>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <QFileInfo>
#include <QProcess>
#include <QDir>
#include <QFileDialog>
#include <QApplication>
#include <gtest/gtest.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <sys/stat.h>

using namespace larkspur;
using larkspur::test::FakeMediaPlayer;
using larkspur::test::readFile;
using larkspur::test::TempDir;
using larkspur::test::writeFile;

namespace {

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        out.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return out;
}

// Seeded once, so a test's draws repeat from run to run.
struct FixedRandom : TimeSeededRandom
{
    using TimeSeededRandom::TimeSeededRandom;
    void seedFromClock() override {}
};

class WindowPlayback : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* name : {"A - One.mp3", "B - Two.mp3", "C - Three.mp3"}) {
            writeFile(dir.file(name), "x");
            songs.push_back(dir.file(name));
        }
        list = dir.file("list.txt");
        writeFile(list, "0|" + songs[0] + "\r\n0|" + songs[1] + "\r\n0|" + songs[2] + "\r\n");
        services.mp = &mp;
        services.settings = &store;
        services.random = &random;
        test::makeQuiet(services, dir.path(), &errors);
    }

    std::unique_ptr<TForm1> start(const std::string& listArg)
    {
        auto form = std::make_unique<TForm1>(services);
        form->FormCreate(listArg.empty() ? QStringList() : QStringList{QString::fromStdString(listArg)});
        return form;
    }

    std::vector<std::string> log() { return lines(readFile(dir.file("log.txt"))); }

    // Runs the fade timer's ticks until it stops; returns how many ran.
    int runFade(TForm1& f, int limit = 5000)
    {
        int ticks = 0;
        while (f.fadetmr->isActive() && ticks < limit) {
            f.fadetmrTimer();
            ++ticks;
        }
        return ticks;
    }

    TempDir dir;
    std::vector<std::string> songs;
    std::string list;
    FakeMediaPlayer mp;
    FixedRandom random{42};
    MapSettingsStore store;
    FormServices services;
    std::vector<std::string> errors;
};

} // namespace

TEST_F(WindowPlayback, StartPlaysASongAndLogsIt)
{
    auto f = start(list);
    EXPECT_EQ(f->ListFileName, list);
    EXPECT_TRUE(f->lsave->isActive());
    EXPECT_TRUE(f->dt->isActive());
    ASSERT_EQ(mp.mode(), PlayerMode::Playing);
    const std::string name = mp.current().substr(dir.path().size() + 1);
    EXPECT_EQ(f->windowTitle().toStdString(), name + " - Larkspur");
    EXPECT_EQ(f->CurrentSong, mp.current());
    EXPECT_EQ(f->dl.get(f->CurrentIndex), "1|" + mp.current());
    const auto l = log();
    ASSERT_EQ(l.size(), 2u);
    EXPECT_EQ(l[0], " <- START");
    EXPECT_NE(l[1].find(" - " + mp.current()), std::string::npos);
    EXPECT_FALSE(f->itime->text().isEmpty());
}

TEST_F(WindowPlayback, TheSongDrawnBeforeTheWindowIsTheOneItPlays)
{
    struct Scripted : RandomSource
    {
        std::vector<std::size_t> draws;
        std::size_t below(std::size_t n) override
        {
            const std::size_t d = draws.empty() ? 0 : draws.front() % n;
            if (!draws.empty()) draws.erase(draws.begin());
            return d;
        }
    };
    const auto exists = [](const std::string& path) { return path.find("nope") == std::string::npos; };
    const auto draw = [&](const std::string& file, std::vector<std::size_t> draws) {
        Scripted r;
        r.draws = std::move(draws);
        return drawFirstSong(file, r, exists, dir.file("backup"), dir.file("run"));
    };
    // What needs a word to the user is left to the window: the list, or only its draw.
    const std::string held = dir.file("held.txt"), banned = dir.file("banned.txt"),
                      gap = dir.file("gap.txt");
    writeFile(held, "0|" + songs[0] + "\r\n");
    writeFile(banned, "-1|" + songs[0] + "\r\n");
    writeFile(gap, "0|" + dir.file("nope.mp3") + "\r\n0|" + songs[1] + "\r\n");
    SongListLock other;
    ASSERT_EQ(other.acquire(held, dir.file("run")), SongListLock::Result::Taken);
    for (const std::string& file : {dir.file("missing.txt"), held, banned, gap}) {
        const auto first = draw(file, {0, 1}); // the last two locked once, not drawn from
        EXPECT_EQ(first && first->lock && !first->selection, file == banned || file == gap) << file;
    }

    // Drawn from another list than the window opens: not taken, and that list is free again.
    services.firstSong = draw(gap, {1});
    ASSERT_NE(services.firstSong, nullptr);
    EXPECT_EQ(start(list)->ListFileName, list);
    EXPECT_EQ(services.firstSong.use_count(), 1); // dropped by the window
    services.firstSong.reset();
    EXPECT_NE(draw(gap, {1}), nullptr);

    // Resolved and locked by the entry, not drawn from: the window opens it, keeps it, draws.
    services.startupList = gap;
    services.firstSong = draw(gap, {0, 1});
    auto g = start(list);
    EXPECT_EQ(g->ListFileName, gap);
    EXPECT_EQ(g->CurrentSong, songs[1]);
    EXPECT_EQ(draw(gap, {1}), nullptr); // the window holds the lock it was handed
    g.reset();
    services.startupList.reset();

    services.firstSong = draw(list, {2});
    ASSERT_NE(services.firstSong, nullptr);
    EXPECT_EQ(draw(list, {2}), nullptr); // its lock is held
    std::remove(dir.file("log.txt").c_str());
    auto f = start(list);
    EXPECT_EQ(services.firstSong.use_count(), 1); // the window took the list and its lock
    services.firstSong.reset();
    EXPECT_EQ(f->CurrentSong, songs[2]);
    EXPECT_EQ(mp.current(), songs[2]);
    EXPECT_EQ(f->dl.get(2), "1|" + songs[2]); // counted once
    EXPECT_EQ(f->dl.get(0), "0|" + songs[0]);
    EXPECT_EQ(log().size(), 2u);
    EXPECT_EQ(draw(list, {2}), nullptr); // the window holds the lock now
    f.reset();
    EXPECT_NE(draw(list, {2}), nullptr);
}

TEST_F(WindowPlayback, BareListNameIsTakenFromTheProgramFolder)
{
    services.executableDir = dir.path();
    auto f = start("list.txt");
    EXPECT_EQ(f->ListFileName, list);
    const auto named = [&](const std::string& arg, bool desktop) {
        return startupListName({arg}, "/prog", desktop, store);
    };
    EXPECT_EQ(named("sub/list.txt", false), "sub/list.txt");
    EXPECT_EQ(named("/abs/list.txt", true), "/abs/list.txt");
    // A list of that name in the current folder wins, except from the desktop menu.
    const QString before = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(dir.path()));
    writeFile(dir.file("here.txt"), "");
    EXPECT_EQ(named("here.txt", false), "here.txt");
    EXPECT_EQ(named("here.txt", true), "/prog/here.txt");
    QDir::setCurrent(before);
}

TEST_F(WindowPlayback, MissingListPlaysNothingAndNeverSaves)
{
    bool asked = false;
    services.askListFile = [&](const std::string&) {
        asked = true;
        return std::string();
    };
    auto f = start(dir.file("nope.txt"));
    EXPECT_FALSE(asked);
    EXPECT_TRUE(f->ListFileName.empty());
    EXPECT_FALSE(f->lsave->isActive());
    EXPECT_EQ(log(), std::vector<std::string>{" <- START"});
    f->dl.add("0|/x.mp3");
    f->SaveSongList();
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(dir.file("nope.txt"))));

    auto g = start("");
    EXPECT_TRUE(asked); // no argument: the open dialog
    EXPECT_TRUE(g->ListFileName.empty());
}

TEST_F(WindowPlayback, PauseAndResumeFadeInTwentyTicks)
{
    auto f = start(list);
    f->Pause1Click();
    EXPECT_EQ(f->Pause1->text(), QStringLiteral("&Play"));
    EXPECT_FALSE(f->dt->isActive());
    EXPECT_EQ(runFade(*f), 20);
    EXPECT_EQ(f->DeviceVolume, 0);
    EXPECT_EQ(mp.mode(), PlayerMode::Paused);

    f->Pause1Click();
    EXPECT_EQ(f->Pause1->text(), QStringLiteral("&Pause"));
    EXPECT_EQ(mp.mode(), PlayerMode::Playing);
    EXPECT_EQ(runFade(*f), 20);
    EXPECT_EQ(f->DeviceVolume, 1000);

    f->voltr->setValue(50);
    EXPECT_EQ(f->Volume, 500);
    EXPECT_EQ(f->FadeStep, 25);
    f->Pause1Click();
    EXPECT_EQ(runFade(*f), 20);
    f->Pause1Click();
    EXPECT_EQ(runFade(*f), 20);

    f->voltr->setValue(0); // volume 0: every fade ends at its first tick
    f->Pause1Click();
    EXPECT_EQ(runFade(*f), 1);
    f->Pause1Click();
    EXPECT_EQ(runFade(*f), 1);

    f->FadeSpeed = 0; // would never move without a minimum step
    f->voltr->setValue(100);
    f->Pause1Click();
    EXPECT_EQ(runFade(*f), 1000);
    EXPECT_EQ(mp.mode(), PlayerMode::Paused);
}

TEST_F(WindowPlayback, SkipFadesOutThenStartsAnotherSong)
{
    auto f = start(list);
    const auto first = mp.opened.size();
    f->Next1Click();
    EXPECT_TRUE(f->NextAfterFade);
    EXPECT_EQ(runFade(*f), 21); // 20 down, then the new song's fade-in ends at once
    EXPECT_EQ(mp.opened.size(), first + 1);
    EXPECT_FALSE(f->NextAfterFade);
    EXPECT_EQ(f->DeviceVolume, 1000);
    const auto l = log();
    ASSERT_EQ(l.size(), 4u);
    EXPECT_EQ(l[2], " <- NEXT");

    // A pause pressed during a skip fade still ends in the skip, and the song plays.
    f->Next1Click();
    f->fadetmrTimer();
    f->Pause1Click();
    runFade(*f);
    EXPECT_EQ(mp.opened.size(), first + 2);
    EXPECT_EQ(mp.mode(), PlayerMode::Playing);
    EXPECT_EQ(f->Pause1->text(), QStringLiteral("&Pause"));

    // What is asked for while the new song starts (its tags are read aside, with the event
    // loop running) stands once it has started.
    // p: pause or play, n: next, c: close.
    struct Asked { const char* keys; PlayerMode after; const char* caption; std::size_t opens; };
    for (const Asked& a : {Asked{"p", PlayerMode::Paused, "&Play", 1},
                           Asked{"pp", PlayerMode::Playing, "&Pause", 1},
                           Asked{"n", PlayerMode::Playing, "&Pause", 2},
                           Asked{"c", PlayerMode::Stopped, "&Pause", 1}}) {
        bool asked = false;
        mp.onPlay = [&] {
            if (std::exchange(asked, true)) return;
            for (const char* k = a.keys; *k; ++k)
                *k == 'p' ? f->Pause1Click() : *k == 'n' ? f->Next1Click() : void(f->close());
        };
        const auto opened = mp.opened.size();
        f->Next1Click();
        runFade(*f);
        mp.onPlay = nullptr;
        EXPECT_EQ(mp.mode(), a.after) << a.keys;
        EXPECT_EQ(f->Pause1->text().toStdString(), a.caption) << a.keys;
        EXPECT_EQ(mp.opened.size() - opened, a.opens) << a.keys;
        EXPECT_FALSE(f->NextAfterFade) << a.keys;
        EXPECT_EQ(f->closed(), *a.keys == 'c') << a.keys;
    }
}

TEST_F(WindowPlayback, NeverPlayAgainBansTheSong)
{
    auto f = start(list);
    const auto banned = f->CurrentSong;
    const int index = f->CurrentIndex;
    f->Neverplayagain1Click();
    EXPECT_EQ(f->dl.get(index), "-1|" + banned);
    runFade(*f);
    EXPECT_EQ(log()[2], " <- NEVER PLAY AGAIN");
    for (int i = 0; i < 30; ++i) {
        f->PlayNextSong(-1);
        EXPECT_NE(f->CurrentSong, banned);
    }
    f->SaveSongList();
    EXPECT_NE(readFile(list).find("-1|" + banned + "\r\n"), std::string::npos);
}

// A song listed twice (its playlist imported over the list) is banned through both entries,
// and a start that failed does not turn the ban on the song played before it.
TEST_F(WindowPlayback, NeverPlayAgainBansEveryEntryOfTheSong)
{
    writeFile(list, "0|" + songs[0] + "\r\n0|" + songs[1] + "\r\n4|" + songs[0] + "\r\n0|" +
                        songs[2] + "\r\n");
    auto f = start(list);
    f->PlayNextSong(2);
    ASSERT_EQ(f->CurrentSong, songs[0]);
    f->Neverplayagain1Click();
    runFade(*f);
    for (int i = 0; i < 40; ++i) {
        f->PlayNextSong(-1);
        EXPECT_NE(f->CurrentSong, songs[0]);
    }
    f->SaveSongList();
    const auto saved = lines(readFile(list));
    ASSERT_EQ(saved.size(), 4u);
    EXPECT_EQ(saved[0], "-1|" + songs[0]);
    EXPECT_EQ(saved[2], "-1|" + songs[0]);

    // The third song plays; then its file goes and the second fails to start, so every
    // try fails and the position still names the third when the second is banned.
    f->PlayNextSong(3);
    ASSERT_EQ(f->CurrentSong, songs[2]);
    const std::string third(f->dl.get(3));
    std::remove(songs[2].c_str());
    mp.broken = {songs[1]};
    f->PlayNextSong(1);
    ASSERT_EQ(f->CurrentSong, songs[1]);
    f->Neverplayagain1Click();
    runFade(*f);
    f->SaveSongList();
    EXPECT_EQ(lines(readFile(list)),
              (std::vector<std::string>{"-1|" + songs[0], "-1|" + songs[1], "-1|" + songs[0],
                                        third}));
}

TEST_F(WindowPlayback, NextWithAnEmptyListFadesTheSameSongBackIn)
{
    auto f = start(list);
    const auto song = mp.current();
    f->dl.clear();
    f->Next1Click();
    EXPECT_EQ(runFade(*f), 40);
    EXPECT_EQ(mp.current(), song);
    EXPECT_EQ(f->DeviceVolume, 1000);
}

TEST_F(WindowPlayback, EndOfSongStartsTheNextOnTheTick)
{
    auto f = start(list);
    mp.positionMsValue = 61000;
    f->dtTimer();
    EXPECT_EQ(mp.opened.size(), 1u);
    EXPECT_FALSE(f->ltime->text().isEmpty());
    mp.finish();
    f->dtTimer();
    EXPECT_EQ(mp.opened.size(), 2u);
    EXPECT_EQ(mp.mode(), PlayerMode::Playing);
}

TEST_F(WindowPlayback, BrokenSongsAreLoggedAndReplacedWithoutEndlessRetries)
{
    auto f = start(list);
    for (auto& s : songs) mp.broken.insert(s);
    const auto opened = mp.opened.size();
    f->PlayNextSong(0);
    const auto l = log();
    // At most one retry per entry in a row, each with its song line and failure mark.
    EXPECT_LE(mp.opened.size() - opened, songs.size() + 1);
    EXPECT_GE(mp.opened.size() - opened, 2u);
    EXPECT_EQ(l[2].substr(l[2].size() - songs[0].size()), songs[0]);
    EXPECT_EQ(l[3], " <- !! ABSPIELFEHLER !!");
    EXPECT_EQ(l.back(), " <- !! ABSPIELFEHLER !!");
    EXPECT_TRUE(f->dl.get(0).rfind("2|", 0) == 0); // its count was raised all the same
}

TEST_F(WindowPlayback, SongsThatCannotBePlayedAreNamed)
{
    bool present = true;
    services.fileExists = [&](const std::string& p) { return present && p != songs[2]; };
    auto f = start(list);
    for (const auto& [index, status] :
         {std::pair{0, "Skipped \"A - One.mp3\": cannot open " + songs[0]},
          std::pair{2, std::string("Skipped \"C - Three.mp3\": the file does not exist.")}}) {
        mp.broken = {songs[index]};
        f->PlayNextSong(index);
        EXPECT_EQ(f->statusText(), status);
        EXPECT_TRUE(f->ti->toolTip().endsWith(QLatin1Char('\n') + QString::fromStdString(status)));
    }
    // A random draw that passes over the missing file names it too.
    mp.broken.clear();
    int draws = 0;
    for (; draws < 50 && f->statusText().find("C - Three") == std::string::npos; ++draws) {
        f->showStatus("");
        f->PlayNextSong(-1);
        EXPECT_NE(mp.current(), songs[2]);
    }
    EXPECT_EQ(f->statusText(), "Skipped \"C - Three.mp3\": the file does not exist.");
    present = false;
    mp.finish();
    f->dtTimer();
    EXPECT_EQ(f->statusText(), "None of the 3 songs in the list can be played.");
    f->showStatus("Other news.");
    for (int tick = 0; tick < 200; ++tick) f->dtTimer();
    EXPECT_EQ(f->statusText(), "Other news."); // once, not at every retry
    // Files that are there but do not open count as unplayable too.
    present = true;
    mp.broken.clear();
    f->PlayNextSong(1);
    mp.broken = {songs[0], songs[1]};
    f->PlayNextSong(-1);
    for (int tick = 0; tick < 100; ++tick) f->dtTimer(); // retries name no song over it
    EXPECT_EQ(f->statusText(), "None of the 3 songs in the list can be played.");
    writeFile(dir.file("one.txt"), "0|" + dir.file("gone.mp3") + "\r\n");
    mp.broken = {dir.file("gone.mp3")};
    EXPECT_EQ(start(dir.file("one.txt"))->statusText(), "The one song in the list cannot be played.");
}

TEST_F(WindowPlayback, TimesShowTheNewSongAtOnce)
{
    auto f = start(list);
    const auto times = [&] { return (f->ltime->text() + f->itime->text()).toStdString(); };
    mp.positionMsValue = 9000;
    f->dtTimer();
    mp.positionMsValue = 0, mp.lengthMsValue = 0; // the next song, not yet measured
    f->PlayNextSong(-1);
    EXPECT_EQ(times(), durationText(0));
    f->dt->stop(); // between end-of-song ticks the labels still follow the song
    mp.positionMsValue = 1000, mp.lengthMsValue = 200000;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return times() == durationText(1000) + durationText(200000); }, 3000));
    for (auto& s : songs) mp.broken.insert(s);
    f->PlayNextSong(0); // nothing starts: the old length goes with the old song
    EXPECT_TRUE(f->itime->text().isEmpty());
}

TEST_F(WindowPlayback, MalformedEntriesNeitherAbortNorChange)
{
    writeFile(list, "oops|" + songs[0] + "\r\n\r\n0|" + songs[1] + "\r\n0|" + songs[2] +
                        "\r\n");
    auto f = start(list);
    for (int i = 0; i < 20; ++i) f->PlayNextSong(-1);
    EXPECT_TRUE(mp.current() == songs[1] || mp.current() == songs[2]);
    EXPECT_NE(mp.opened.size(), 0u);
    for (const auto& o : mp.opened) EXPECT_NE(o, songs[0]);
    EXPECT_EQ(f->dl.get(0), "oops|" + songs[0]);
    EXPECT_EQ(f->dl.get(1), "");
    f->PlayNextSong(0); // by index: a playback failure, then a random song
    const auto l = log();
    EXPECT_NE(std::find(l.begin(), l.end(), " <- !! ABSPIELFEHLER !!"), l.end());
    EXPECT_EQ(f->dl.get(0), "oops|" + songs[0]);
    EXPECT_NE(mp.current(), songs[0]);
}

TEST_F(WindowPlayback, VolumeButtonsAndSlider)
{
    auto f = start(list);
    f->voltr->setValue(95);
    f->Vol1Click();
    EXPECT_EQ(f->Volume, 1000);
    EXPECT_EQ(f->voltr->value(), 100);
    f->voltr->setValue(5);
    EXPECT_EQ(f->Volume, 50);
    f->Vol2Click();
    EXPECT_EQ(f->Volume, 0);
    EXPECT_EQ(f->voltr->value(), 0);
    f->voltr->setValue(37);
    EXPECT_EQ(f->Volume, 370);
    EXPECT_EQ(mp.volumes.back(), 370);
    EXPECT_EQ(f->DeviceVolume, 370);
}

TEST_F(WindowPlayback, CloseWhilePlayingFadesThenExits)
{
    auto f = start(list);
    EXPECT_FALSE(f->close()); // the fade runs first
    EXPECT_TRUE(f->CloseAfterFade);
    EXPECT_EQ(runFade(*f), 20);
    EXPECT_TRUE(f->closed());
    const auto l = log();
    ASSERT_GE(l.size(), 4u);
    EXPECT_EQ(l[l.size() - 2], " <- EXIT");
    EXPECT_EQ(l.back(), " <- EXIT");
    EXPECT_NE(readFile(list).find("1|"), std::string::npos); // the count was saved
}

TEST_F(WindowPlayback, ExitDuringASkipFadeClosesWithoutANewSong)
{
    auto f = start(list);
    f->Next1Click();
    for (int i = 0; i < 5; ++i) f->fadetmrTimer();
    EXPECT_FALSE(f->close());
    EXPECT_EQ(f->DeviceVolume, 1000); // the level jumps back and fades out again
    EXPECT_EQ(runFade(*f), 20);
    EXPECT_TRUE(f->closed());
    EXPECT_EQ(mp.opened.size(), 1u);
}

TEST_F(WindowPlayback, CloseWhilePausedExitsAtOnce)
{
    auto f = start(list);
    f->Pause1Click();
    runFade(*f);
    EXPECT_TRUE(f->close());
    const auto l = log();
    EXPECT_EQ(l.back(), " <- EXIT");
    EXPECT_NE(l[l.size() - 2], " <- EXIT");
}

// What changes while the exit fades is saved at its end, and only then; a save that fails
// keeps a copy of the list, told by a box or the desktop, and the exit status says it.
TEST_F(WindowPlayback, ExitSavesChangesDuringTheFadeAndKeepsWhatItCannotSave)
{
    struct Case
    {
        const char* name;
        bool change, listGone, settingsRefused, bySystem;
    } cases[] = {{"nothing changed", false, false, false, false},
                 {"ban and volume", true, false, false, false},
                 {"list folder gone", true, true, false, false},
                 {"settings refused", false, false, true, false},
                 {"list folder gone, signal", true, true, false, true}};
    services.notifyDesktop = [&](const std::string&, const std::string& body) {
        errors.push_back("desktop: " + body);
    };
    for (const Case& c : cases) {
        const std::string folder = dir.file(c.name);
        ::mkdir(folder.c_str(), 0700);
        const std::string file = folder + "/list.txt";
        writeFile(file, readFile(list));
        errors.clear();
        store.failWrites = false;
        auto f = start(file);
        store.failWrites = c.settingsRefused;
        const std::size_t writes = store.writeOrder.size();
        c.bySystem ? f->closeForSystem() : void(f->close());
        struct stat first {}, last {};
        ::stat(file.c_str(), &first);
        if (c.change) {
            f->Neverplayagain1Click();
            f->Vol2Click();
        }
        if (c.listGone) std::filesystem::remove_all(folder);
        runFade(*f);
        ASSERT_TRUE(f->closed()) << c.name;
        const bool failed = c.listGone || c.settingsRefused;
        EXPECT_EQ(f->exitCode(), failed ? 1 : 0) << c.name;
        if (!failed) {
            ::stat(file.c_str(), &last);
            EXPECT_EQ(last.st_ino != first.st_ino, c.change) << c.name; // saved again?
            EXPECT_EQ(store.writeOrder.size() - writes, (c.change ? 2 : 1) * kSettingNames.size());
            EXPECT_EQ(store.values[kVolume], c.change ? "900" : "1000") << c.name;
            EXPECT_TRUE(errors.empty()) << c.name;
            continue;
        }
        const std::string copy = listDataFile(dir.file("backup"), file, "unsaved");
        EXPECT_EQ(readFile(copy), f->dl.text()) << c.name;
        EXPECT_EQ(readFile(copy).find("-1|") != std::string::npos, c.change) << c.name;
        ASSERT_EQ(errors.size(), 1u) << c.name; // a box that waits, or the desktop's word
        EXPECT_EQ(errors[0].rfind(c.bySystem ? "desktop: " : "fatal: ", 0), 0u) << errors[0];
        EXPECT_NE(errors[0].find("kept as \"" + copy + "\""), std::string::npos) << errors[0];
    }
}

TEST_F(WindowPlayback, UnwritableLogNeitherStopsStartNorClose)
{
    services.playLogFile = dir.file("no-such-folder/log.txt");
    testing::internal::CaptureStderr();
    auto f = start(list);
    EXPECT_EQ(mp.mode(), PlayerMode::Playing);
    f->Next1Click();
    runFade(*f);
    EXPECT_EQ(mp.opened.size(), 2u);
    f->Pause1Click();
    runFade(*f);
    EXPECT_TRUE(f->close());
    const std::string err = testing::internal::GetCapturedStderr();
    // Reported once, not at every line.
    EXPECT_NE(err.find("play log"), std::string::npos);
    EXPECT_EQ(err.find("play log"), err.rfind("play log"));
}

TEST_F(WindowPlayback, SaveTimerWritesTheList)
{
    auto f = start(list);
    f->lsaveTimer();
    EXPECT_EQ(readFile(list), f->dl.text());
}

// A clear is saved for good by the next save; until another clear, an import or the exit,
// Undo puts its entries back as they were, after those added since.
TEST_F(WindowPlayback, ClearedSongsComeBackWithCountsAndBans)
{
    writeFile(list, "5|" + songs[0] + "\r\n-1|" + songs[1] + "\r\n0|" + songs[2] + "\r\n");
    std::vector<std::pair<std::string, std::function<void()>>> offers;
    services.offerUndo = [&](const std::string& text, std::function<void()> undo) {
        offers.emplace_back(text, std::move(undo));
    };
    auto f = start(list);
    const std::string before = f->dl.text();
    f->Clearinternallist1->trigger(); // F8
    ASSERT_EQ(offers.size(), 1u);
    EXPECT_EQ(offers[0].first, "The song list was cleared (3 songs).");
    EXPECT_TRUE(f->Undoclear1->isEnabled());
    EXPECT_EQ(readFile(listDataFile(dir.file("backup"), list, "cleared")), before);
    const std::string added = dir.file("D - Four.mp3");
    f->LMDFMDrop1FMDragDrop({added});
    offers[0].second(); // the message's Undo button
    EXPECT_EQ(f->dl.text(), "0|" + added + "\r\n" + before);
    EXPECT_FALSE(f->Undoclear1->isEnabled());

    // The songs the file test found missing, undone from the menu.
    std::remove(songs[2].c_str());
    f->Testallfiles1Click();
    f->cnffClick();
    ASSERT_EQ(offers.size(), 2u);
    EXPECT_EQ(offers[1].first, "2 songs not found were removed from the list.");
    EXPECT_EQ(f->dl.count(), 2u);
    f->Undoclear1->trigger();
    EXPECT_EQ(f->dl.count(), 4u);

    // An import ends what an offer can undo.
    f->Clearinternallist1->trigger();
    writeFile(dir.file("more.m3u"), songs[0] + "\n");
    f->importPlaylist(dir.file("more.m3u"));
    EXPECT_FALSE(f->Undoclear1->isEnabled());
    offers.back().second(); // an offer that no longer stands
    EXPECT_EQ(f->dl.count(), 1u);
    EXPECT_TRUE(errors.empty());
}

// A count at the top of its range stays there after a play, so the song still reads back.
TEST_F(WindowPlayback, TopCountSurvivesPlaysAndSaves)
{
    writeFile(list, "2147483647|" + songs[0] + "\r\n");
    for (int run = 0; run < 2; ++run) {
        auto f = start(list);
        ASSERT_EQ(mp.current(), songs[0]) << "run " << run;
        f->lsaveTimer();
        EXPECT_EQ(readFile(list), "2147483647|" + songs[0] + "\r\n") << "run " << run;
    }
}

TEST_F(WindowPlayback, NothingPlayableIsRetriedLessAndLessOften)
{
    int tests = 0;
    bool present = false;
    // The drive holding the songs is gone.
    services.fileExists = [&](const std::string&) {
        ++tests;
        return present;
    };
    auto g = start(list);
    EXPECT_NE(mp.mode(), PlayerMode::Playing);
    mp.finish();
    std::vector<int> triedAt;
    for (int tick = 0; tick < 200; ++tick) {
        const int before = tests;
        g->dtTimer();
        if (tests != before) triedAt.push_back(tick);
    }
    ASSERT_GE(triedAt.size(), 4u);
    EXPECT_LE(triedAt.size(), 10u); // not every 500 ms
    for (std::size_t i = 2; i < triedAt.size(); ++i)
        EXPECT_GE(triedAt[i] - triedAt[i - 1], triedAt[i - 1] - triedAt[i - 2]);
    EXPECT_LE(triedAt.back() - triedAt[triedAt.size() - 2], 61);

    present = true; // the drive is back: within the wait, a song starts and ticks return
    for (int tick = 0; tick < 61 && mp.mode() != PlayerMode::Playing; ++tick) g->dtTimer();
    EXPECT_EQ(mp.mode(), PlayerMode::Playing);
    mp.finish();
    const int before = tests;
    g->dtTimer();
    EXPECT_GT(tests, before); // the next song end is acted on at once
}

// One playable song among broken ones: after the broken picks give up, the tick must try
// again whatever the player reports (a failed open leaves it "not ready", not "stopped").
TEST_F(WindowPlayback, OnePlayableSongAmongBrokenOnesKeepsPlaying)
{
    std::string text;
    for (int i = 0; i < 9; ++i) {
        const auto b = dir.file("broken" + std::to_string(i) + ".mp3");
        writeFile(b, "x");
        mp.broken.insert(b);
        text += "0|" + b + "\r\n";
    }
    writeFile(list, text + "0|" + songs[0] + "\r\n");
    auto f = start(list);
    int plays = 0;
    for (int tick = 0; tick < 3000; ++tick) {
        if (mp.mode() == PlayerMode::Playing) {
            ++plays;
            mp.finish(); // each song lasts one tick
        }
        f->dtTimer();
    }
    EXPECT_GE(plays, 40);
    EXPECT_TRUE(f->dt->isActive());
}

// A banned entry beside two played ones used to end the start-up draw without a song.
TEST_F(WindowPlayback, StartAlwaysPlaysWhenTheListHasAnAcceptableSong)
{
    writeFile(list, "-1|" + songs[0] + "\r\n5|" + songs[1] + "\r\n5|" + songs[2] + "\r\n");
    for (std::uint64_t seed = 1; seed <= 40; ++seed) {
        FixedRandom r(seed);
        services.random = &r;
        auto f = start(list);
        EXPECT_EQ(mp.mode(), PlayerMode::Playing) << "seed " << seed;
        EXPECT_NE(mp.current(), songs[0]);
        f->close();
        runFade(*f);
        mp.close();
        writeFile(list, "-1|" + songs[0] + "\r\n5|" + songs[1] + "\r\n5|" + songs[2] + "\r\n");
    }
}

// After a stretch with nothing playable the tick waits up to 30 s between tries; a song
// started any other way must end that wait, or its successor starts late.
TEST_F(WindowPlayback, AnySongStartEndsTheRetryWait)
{
    bool present = false;
    services.fileExists = [&](const std::string&) { return present; };
    auto f = start(list);
    for (int tick = 0; tick < 120; ++tick) f->dtTimer(); // the wait grows
    present = true;
    f->Next1Click(); // a start from the menu, not from the tick
    runFade(*f);
    ASSERT_EQ(mp.mode(), PlayerMode::Playing);
    const auto opened = mp.opened.size();
    mp.finish();
    f->dtTimer();
    EXPECT_EQ(mp.opened.size(), opened + 1); // the next song at the next tick
}

// Caption, player and end-of-song tick agree after every fade, whatever was pressed during it.
TEST_F(WindowPlayback, StateCaptionAndTimersAgreeAfterEveryFade)
{
    struct Case
    {
        const char* name;
        std::function<void(TForm1&)> act;
    };
    const std::vector<Case> cases{
        {"pause, then next with nothing left to start",
         [&](TForm1& f) {
             f.Pause1Click();
             runFade(f);
             f.dl.clear();
             f.Next1Click();
         }},
        {"pause, then next with songs left", [&](TForm1& f) {
             f.Pause1Click();
             runFade(f);
             f.Next1Click();
         }},
        {"pause, and play again while it fades out", [&](TForm1& f) {
             f.Pause1Click();
             for (int i = 0; i < 5; ++i) f.fadetmrTimer();
             f.Pause1Click();
         }},
    };
    for (const auto& c : cases) {
        auto f = start(list);
        const int starts = mp.starts;
        c.act(*f);
        runFade(*f);
        EXPECT_EQ(mp.mode(), PlayerMode::Playing) << c.name;
        EXPECT_EQ(f->Pause1->text(), QStringLiteral("&Pause")) << c.name;
        EXPECT_TRUE(f->dt->isActive()) << c.name;
        EXPECT_EQ(f->DeviceVolume, f->Volume) << c.name;
        if (std::string(c.name).find("play again") != std::string::npos) {
            EXPECT_EQ(mp.starts, starts) << "the song started again";
        }
        f->dl.setText(readFile(list));
        mp.close();
    }
}

// What the user must know is shown once per kind, not at every minute's save.
TEST_F(WindowPlayback, FailuresAreShownOncePerKind)
{
    services.playLogFile = dir.file("no-such-folder/log.txt");
    store.failWrites = true;
    auto f = start(list);
    ::chmod(list.c_str(), 0444);
    for (int i = 0; i < 3; ++i) {
        f->Next1Click();
        runFade(*f);
        f->lsaveTimer();
        f->SaveSettings();
    }
    std::map<std::string, int> shown;
    for (const auto& e : errors)
        for (const char* kind : {"play log", "settings", "song list"})
            if (e.find(kind) != std::string::npos) ++shown[kind];
    EXPECT_EQ(shown["play log"], 1);
    EXPECT_EQ(shown["settings"], 1);
    EXPECT_EQ(shown["song list"], 1);
    EXPECT_EQ(errors.size(), 3u);
    ::chmod(list.c_str(), 0644);
}

// A list no save can change is told at start, and no run leaves a record for the next to take
// for a save cut short. Run again in a child on a read-only tmpfs, or as a user refused.
TEST_F(WindowPlayback, ReadOnlyListIsToldAtStartAndLeavesNothingBehind)
{
    if (const char* name = std::getenv("LARKSPUR_READONLY_LIST")) {
        for (int run = 0; run < 2; ++run) {
            errors.clear();
            auto f = start(name);
            ASSERT_EQ(errors.size(), 1u) << "run " << run;
            EXPECT_NE(errors[0].find(std::getenv("LARKSPUR_READONLY_WORDS")), std::string::npos)
                << errors[0];
            EXPECT_EQ(mp.mode(), PlayerMode::Playing);
            f->lsaveTimer();
            f->close();
            runFade(*f);
            EXPECT_EQ(errors.size(), 1u) << errors.back();
            EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(dir.file("backup"))));
        }
        return;
    }
    ::chmod(dir.path().c_str(), 0755);
    const std::string mount = dir.file("ro");
    ::mkdir(mount.c_str(), 0755);
    const std::string self = QCoreApplication::applicationFilePath().toStdString();
    const std::string filter = std::string("--gtest_filter=WindowPlayback.") +
                               ::testing::UnitTest::GetInstance()->current_test_info()->name();
    struct Case
    {
        std::vector<std::string> launcher; // runs the command that follows it
        std::string list, words;
    };
    const std::vector<Case> cases{
        {{"unshare", "-rm", "sh", "-c",
          "mount -t tmpfs none \"$1\" && cp \"$2\" \"$1/\" && mount -o remount,ro \"$1\" && "
          "shift 2 && exec \"$@\"",
          "sh", mount, list},
         mount + "/list.txt", "the file system is read-only"},
        {{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"}, list,
         "the file is read-only"},
    };
    int ran = 0;
    for (const Case& c : cases) {
        const auto run = [&](QProcess& p, const std::vector<std::string>& command) {
            QStringList args;
            for (const auto& a : c.launcher) args << QString::fromStdString(a);
            for (const auto& a : command) args << QString::fromStdString(a);
            auto env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("LARKSPUR_READONLY_LIST"), QString::fromStdString(c.list));
            env.insert(QStringLiteral("LARKSPUR_READONLY_WORDS"), QString::fromStdString(c.words));
            p.setProcessEnvironment(env);
            p.setProcessChannelMode(QProcess::MergedChannels);
            p.start(args.takeFirst(), args);
            return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit &&
                   p.exitCode() == 0;
        };
        QProcess probe, child;
        if (!run(probe, {"true"})) continue; // mounts or other users are refused here
        const bool passed = run(child, {self, filter});
        const std::string out = child.readAll().toStdString();
        EXPECT_TRUE(passed) << c.words << ":\n" << out;
        EXPECT_NE(out.find("[       OK ]"), std::string::npos) << out;
        ++ran;
    }
    if (ran == 0) GTEST_SKIP() << "neither mounts nor other users are allowed here";
}

// Lists that cannot be used: the user is told without the start being blocked, nothing is
// read from them and nothing is ever written over them; the log still gets its start line.
TEST_F(WindowPlayback, UnusableListsAreRefusedAndNeverSaved)
{
    const auto fifo = dir.file("pipe.txt");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto wide = dir.file("utf16.txt");
    writeFile(wide, std::string("\xFF\xFE" "0\0|\0/\0a\0\r\0\n\0", 14));
    const auto nul = dir.file("nul.txt");
    writeFile(nul, std::string("0|/a.mp3\r\n\0\0\0", 13));
    const auto folder = dir.file("folder");
    ::mkdir(folder.c_str(), 0700);
    for (const std::string& name :
         {std::string("/dev/zero"), fifo, wide, nul, folder, dir.file("nope.txt")}) {
        errors.clear();
        const std::string before = name == "/dev/zero" || name == fifo || name == folder ? "" : readFile(name);
        auto f = start(name);
        EXPECT_TRUE(f->ListFileName.empty()) << name;
        EXPECT_EQ(f->dl.count(), 0u) << name;
        ASSERT_EQ(errors.size(), 1u) << name;
        EXPECT_NE(errors[0].find(name), std::string::npos) << errors[0];
        f->dl.add("0|/x.mp3");
        f->close();
        if (!before.empty()) {
            EXPECT_EQ(readFile(name), before) << name;
        }
        EXPECT_EQ(log().front(), " <- START");
    }
    // A list of names in another 8-bit encoding is bytes like any other.
    writeFile(list, "0|/m\xFCsic/caf\xE9.mp3\r\n");
    errors.clear();
    auto f = start(list);
    EXPECT_EQ(f->dl.count(), 1u);
    EXPECT_TRUE(errors.empty());
}

// A second copy on a list another copy plays would save its own counts over the other's.
TEST_F(WindowPlayback, SecondCopyOnTheSameListEndsAndOtherListsRunSideBySide)
{
    auto first = start(list);
    ASSERT_EQ(first->ListFileName, list);
    auto second = start(list);
    EXPECT_TRUE(second->closed());
    EXPECT_TRUE(second->ListFileName.empty());
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("fatal: ", 0), 0u);
    EXPECT_NE(errors[0].find("already playing"), std::string::npos);
    second->dl.add("0|/other.mp3");
    second.reset();

    const auto other = dir.file("other.txt");
    writeFile(other, "0|" + songs[1] + "\r\n");
    auto third = start(other);
    EXPECT_FALSE(third->closed());
    EXPECT_EQ(third->ListFileName, other);

    // A text playlist another copy plays as its list is added, but not taken over.
    errors.clear();
    third->importPlaylist(list);
    EXPECT_EQ(third->ListFileName, other);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("Another Larkspur window"), std::string::npos);

    first->lsaveTimer();
    EXPECT_EQ(readFile(list), first->dl.text());
    first.reset(); // its lock ends with it
    auto again = start(list);
    EXPECT_EQ(again->ListFileName, list);
}

TEST_F(WindowPlayback, StartUpDialogOpensOnTheTextFilter)
{
    services.askListFile = nullptr;
    QString filter;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog) filter = dialog->selectedNameFilter(), dialog->reject();
    });
    auto f = start("");
    EXPECT_EQ(filter.toStdString(), "Textfile (*.txt)");
}

// Previous goes back one song further each time, with Next's fade, logged and counted as a
// play; over MPRIS it is offered only while there is a song to go back to.
TEST_F(WindowPlayback, PreviousGoesBackThroughTheSongsPlayed)
{
    auto f = start(list);
    const MprisControl bus = f->mprisControl();
    const std::string first = mp.current();
    EXPECT_FALSE(bus.canGoPrevious());
    f->Previous1Click();
    EXPECT_EQ(f->statusText(), "There is no song to go back to.");
    std::vector<std::string> played{first};
    for (int i : {1, 2}) {
        f->PlayNextSong(i == 1 && songs[1] == first ? 0 : i);
        played.push_back(mp.current());
    }
    EXPECT_TRUE(bus.canGoPrevious());
    const std::string counts = f->dl.text();
    f->Previous1Click();
    EXPECT_TRUE(f->NextAfterFade);
    runFade(*f);
    EXPECT_EQ(mp.current(), played[1]);
    EXPECT_TRUE(log().back().ends_with(" - " + played[1])) << log().back();
    EXPECT_NE(f->dl.text(), counts); // counted like any play
    bus.previous();
    QCoreApplication::sendPostedEvents();
    runFade(*f);
    EXPECT_EQ(mp.current(), played[0]);
    EXPECT_FALSE(bus.canGoPrevious());
    f->Next1Click(); // a new song: going back starts from it
    runFade(*f);
    const std::string drawn = mp.current();
    f->Previous1Click();
    runFade(*f);
    EXPECT_NE(mp.current(), drawn);
}

// The position bar moves with the song, is off while the length is not known, and a click
// seeks there through the one seek routine: a short fade down, the seek, a fade up.
TEST_F(WindowPlayback, PositionBarSeeksWithAShortFade)
{
    mp.lengthMsValue = 0;
    auto f = start(list);
    f->show();
    f->resize(367, f->height());
    f->dtTimer();
    EXPECT_FALSE(f->posbar->isEnabled());
    mp.lengthMsValue = 200'000;
    mp.positionMsValue = 50'000;
    f->PlayNextSong(0);
    f->dtTimer();
    EXPECT_TRUE(f->posbar->isEnabled());
    EXPECT_EQ(f->posbar->value(), 50'000);
    EXPECT_EQ(f->width(), 367);
    mp.volumes.clear();
    QTest::mouseClick(f->posbar, Qt::LeftButton, {}, QPoint(f->posbar->width() * 3 / 4, 5));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !f->seektmr->isActive(); }));
    ASSERT_EQ(mp.seeks.size(), 1u);
    EXPECT_NEAR(mp.seeks[0], 150'000, 10'000);
    const std::vector<int> levels = mp.volumes;
    ASSERT_FALSE(levels.empty());
    EXPECT_EQ(*std::min_element(levels.begin(), levels.end()), 0); // silent at the seek
    EXPECT_EQ(levels.back(), f->Volume);
}
