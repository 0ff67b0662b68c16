// The settings, a lyrics file and the staging page, saved by a probe through the real code
// and killed at random moments of a save: readers always find the old or the new contents,
// and nothing a kill leaves behind gets in the way of the next save.

#include "app/core/QSettingsStore.h"
#include "lyrics/LyricsFile.h"
#include "support/KillLoop.h"
#include "support/SaveProbeTexts.h"
#include "support/TestFiles.h"
#include "web/StagingPage.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSysInfo>
#include <QThread>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <iostream>
#include <random>
#include <regex>
#include <sys/stat.h>

using namespace larkspur;
using larkspur::test::folderNames;
using larkspur::test::KilledSave;
using larkspur::test::KillLoop;
using larkspur::test::readFile;
using larkspur::test::TempDir;

namespace {

// Which of the two settings the file holds as QSettings reads it: 0, 1, or -1 for a mix.
int settingsSeen(const std::string& ini)
{
    QSettingsStore store(QString::fromStdString(ini));
    int seen = -2;
    for (int n = 0; n < 2 && seen == -2; ++n) {
        const auto values = test::savedSettings(n);
        if (store.read(values[0].first) == values[0].second) seen = n;
    }
    if (seen < 0) return -1;
    for (const auto& [name, value] : test::savedSettings(seen))
        if (store.read(name) != value) return -1;
    return seen;
}

int textSeen(const std::string& kind, const std::string& bytes)
{
    for (int n = 0; n < 2; ++n)
        if (bytes == test::savedText(kind, n)) return n;
    return -1;
}

} // namespace

TEST(KillDuringSave, SettingsLyricsAndStagingPageAreTheOldOrTheNewOnes)
{
    TempDir dir;
    test::CacheFolder cache; // the probe's staging page goes there too
    const auto config = dir.file("config");
    const auto songs = dir.file("songs");
    ::mkdir(config.c_str(), 0700);
    ::mkdir(songs.c_str(), 0700);
    const auto ini = config + "/Larkspur.conf";
    const auto lyr = songs + "/Artist - Song.lyr";
    const auto page = stagingPagePath();

    struct Case
    {
        const char* name;
        std::string file;
        std::vector<std::string> command; // the index of the first save comes last
        std::function<int()> seen;
        std::function<void(int n)> save; // one save in this process
        std::regex leftover;             // what a kill may leave beside the file
    };
    const std::vector<Case> cases{
        {"settings",
         ini,
         {LARKSPUR_SAVE_PROBE, "settings", ini},
         [&] { return settingsSeen(ini); },
         [&](int n) {
             ASSERT_TRUE(
                 QSettingsStore(QString::fromStdString(ini)).writeAll(test::savedSettings(n)));
         },
         std::regex(R"(Larkspur\.conf\.(lock(\.rmlock)*|[A-Za-z0-9]{6}))")},
        {"lyrics file",
         lyr,
         {LARKSPUR_SAVE_PROBE, "lyrics", lyr},
         [&] { return textSeen("lyrics", *readLyricsFile(lyr)); },
         [&](int n) { writeLyricsFile(lyr, test::savedText("lyrics", n)); },
         std::regex(R"(Artist - Song\.lyr\.saving)")},
        {"staging page",
         page,
         {LARKSPUR_SAVE_PROBE, "staging"},
         [&] { return textSeen("staging", readFile(page)); },
         [&](int n) { writeStagingPage(test::savedText("staging", n)); },
         std::regex(R"(f\.htm\.saving)")},
    };
    constexpr int kKills = 50;
    for (const auto& c : cases) {
        c.save(0);
        auto command = c.command;
        command.push_back("1");
        KillLoop loop(command);
        const auto spread = loop.timeOneSave() * 5 / 4;
        int current = c.seen();
        ASSERT_NE(current, -1) << c.name;
        const std::string folder = c.file.substr(0, c.file.rfind('/'));
        const std::string name = c.file.substr(c.file.rfind('/') + 1);
        int oldInSave = 0, newInSave = 0, afterSave = 0, leftovers = 0;
        for (int kill = 0; kill < kKills; ++kill) {
            loop.command().back() = std::to_string(1 - current);
            const KilledSave k = loop.killDuringSave(spread);
            const auto expected = [&](long n) { return n < 0 || n % 2 ? current : 1 - current; };
            const std::string context = std::string(c.name) + ", kill " + std::to_string(kill);
            const int seen = c.seen();
            if (k.inSave()) {
                EXPECT_TRUE(seen == expected(k.started - 1) || seen == expected(k.started))
                    << context << ": " << seen;
                (seen == expected(k.started) ? newInSave : oldInSave)++;
            } else {
                EXPECT_EQ(seen, expected(k.done)) << context;
                ++afterSave;
            }
            for (const auto& n : folderNames(folder)) {
                if (n == name) continue;
                EXPECT_TRUE(std::regex_match(n, c.leftover)) << context << ": " << n;
                ++leftovers;
            }
            if (seen == -1) break;
            current = seen;
        }
        std::cout << "[ kills    ] " << c.name << ": " << kKills << " random kills within "
                  << spread.count() << " us of a save's start; then readers saw: old " << oldInSave
                  << ", new " << newInSave + afterSave << "; files left beside it " << leftovers
                  << "\n";
        EXPECT_GT(oldInSave, 0) << c.name;
        c.save(1 - current);
        EXPECT_EQ(c.seen(), 1 - current) << c.name;
        // Six lower-case letters may be the user's "backup", so the store leaves them; a
        // killed save's random name is such a word now and then.
        auto names = folderNames(folder);
        std::erase_if(names, [&](const std::string& n) {
            return std::regex_match(n, std::regex(std::regex_replace(
                                           name, std::regex(R"([.])"), R"(\.)") + R"(\.[a-z]{6})"));
        });
        EXPECT_EQ(names, std::vector<std::string>{name}) << c.name;
    }
}

// The real player, asked to close (as a logout does) and killed around the moment it saves
// the list: the list is always whole, and the next start plays it.
TEST(KillDuringSave, RealPlayerKilledWhileClosingKeepsItsList)
{
    const QString binary = QStringLiteral(LARKSPUR_BINARY_DIR "/larkspur");
    if (!QFileInfo::exists(binary)) GTEST_SKIP() << "player not built";
    TempDir dir;
    ::mkdir(dir.file("run").c_str(), 0700);
    // Long paths, as a deep music library has: the list is some 4 MB.
    const std::string library = "Music library sorted by label, year, artist and album";
    ::mkdir(dir.file(library).c_str(), 0700);
    std::vector<std::string> songs;
    for (int i = 0; i < 8; ++i) {
        songs.push_back(dir.file(library) + "/" + std::string(120, 'a' + i) + " - Song " +
                        std::to_string(i) + ".mp3");
        test::makeMp3(songs.back(), 0.5);
    }
    // A large list of short songs: saving it takes a while.
    constexpr int kEntries = 20000;
    std::string text;
    for (int i = 0; i < kEntries; ++i)
        text += "0|" + songs[i % songs.size()] + "\r\n";
    const auto list = dir.file("list.txt");
    test::writeFile(list, text);

    const auto counts = [&](const std::string& bytes, long& total) {
        // The same songs in the same order, each count at least what it was.
        total = 0;
        std::size_t from = 0;
        for (int i = 0; i < kEntries; ++i) {
            const auto eol = bytes.find("\r\n", from);
            if (eol == std::string::npos) return false;
            const std::string line = bytes.substr(from, eol - from);
            const auto bar = line.find('|');
            if (bar == std::string::npos || line.substr(bar + 1) != songs[i % songs.size()])
                return false;
            total += std::stol(line.substr(0, bar));
            from = eol + 2;
        }
        return from == bytes.size();
    };
    const auto start = [&](QProcess& p) {
        p.setWorkingDirectory(QString::fromStdString(dir.path()));
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("LARKSPUR_AUDIO_SINK"), QStringLiteral("fakesink"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(dir.file("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), QString::fromStdString(dir.file("data")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(dir.file("run")));
        p.setProcessEnvironment(env);
        p.start(binary, {QString::fromStdString(list)});
        return p.waitForStarted(5000);
    };
    const auto log = dir.file("log.txt");
    const auto playing = [&](std::size_t from) {
        return test::waitFor(
            [&] { return readFile(log).find(" - Song ", from) != std::string::npos; });
    };

    // A first close, so that the list has been saved once by the player.
    {
        QProcess p;
        ASSERT_TRUE(start(p));
        ASSERT_TRUE(playing(0));
        ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
        ASSERT_TRUE(p.waitForFinished(20000));
    }
    long total = 0;
    ASSERT_TRUE(counts(readFile(list), total));
    ASSERT_GT(total, 0);

    // The kills home in on the moment of the save: a kill after it (the list grew) brings the
    // next one earlier, a kill before it later, each at a random point around that moment.
    std::mt19937 random(std::random_device{}());
    double aim = 5000; // microseconds after the close request
    constexpr int kKills = 20;
    // A new file written since the close request: that kill came in the middle of the save.
    const auto savingTime = [&]() -> long long {
        struct stat st {};
        if (::stat((list + ".saving").c_str(), &st) != 0) return -1;
        return st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
    };
    int grew = 0, inSave = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        const std::size_t logSize = readFile(log).size();
        QProcess p;
        ASSERT_TRUE(start(p)) << "kill " << kill;
        ASSERT_TRUE(playing(logSize)) << "kill " << kill << ": the player did not start again";
        const auto delay = static_cast<unsigned long>(
            std::uniform_real_distribution<double>(aim / 2, aim * 3 / 2)(random));
        const auto savingBefore = savingTime();
        ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
        QThread::usleep(delay);
        ::kill(static_cast<pid_t>(p.processId()), SIGKILL);
        p.waitForFinished(5000);
        long now = 0;
        ASSERT_TRUE(counts(readFile(list), now)) << "kill " << kill << ": the list is not whole";
        EXPECT_GE(now, total) << "kill " << kill;
        grew += now > total;
        aim *= now > total ? 0.7 : 1.4;
        total = now;
        inSave += savingTime() != savingBefore;
        for (const auto& n : folderNames(dir.path()))
            EXPECT_TRUE(n == library || n == "list.txt" || n == "list.txt.saving" ||
                        n == "list.txt.lock" || n == "log.txt" || n == "config" || n == "data" ||
                        n == "run")
                << n;
    }
    std::cout << "[ kills    ] real player: " << kKills << " kills while closing, the last aimed "
              << static_cast<long>(aim) << " us after the close request; the saved list grew "
              << grew << " times; " << inSave << " kills came in the middle of the save\n";
    // Some kills came after the save, some before it, some in its middle.
    EXPECT_GT(grew, 0);
    EXPECT_LT(grew, kKills);
    EXPECT_GT(inSave, 0);
}

// What a kill in the middle of a settings save can leave: none of it holds up the next save
// (Qt alone would wait half a minute for an empty lock file) and none of it stays.
TEST(KillDuringSave, SettingsSaveIsNotHeldUpByWhatAKillLeft)
{
    // As Qt writes it: process id, program, host and machine.
    const std::string deadHolder = "999999\nlarkspur_save_probe\n" +
                                   QSysInfo::machineHostName().toStdString() + "\n" +
                                   QSysInfo::machineUniqueId().toStdString() + "\n";
    struct Case
    {
        const char* name;
        std::vector<std::string> files; // left empty unless "name=content"
    };
    const std::vector<Case> cases{
        {"lock file made, no process id in it yet", {"Larkspur.conf.lock"}},
        {"stale lock being taken over",
         {"Larkspur.conf.lock=" + deadHolder, "Larkspur.conf.lock.rmlock"}},
        {"nested take-overs",
         {"Larkspur.conf.lock=" + deadHolder, "Larkspur.conf.lock.rmlock=" + deadHolder,
          "Larkspur.conf.lock.rmlock.rmlock"}},
        {"new file named just before its rename", {"Larkspur.conf.Qx3bZ9"}},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const auto ini = dir.file("Larkspur.conf");
        ASSERT_TRUE(QSettingsStore(QString::fromStdString(ini)).writeAll(test::savedSettings(0)));
        std::vector<std::string> keep{"Larkspur.conf"};
        for (const auto& f : c.files) {
            const auto eq = f.find('=');
            test::writeFile(dir.file(f.substr(0, eq)),
                            eq == std::string::npos ? "" : f.substr(eq + 1));
        }
        // The user's own copy is not taken for a leftover.
        test::writeFile(dir.file("Larkspur.conf.backup"), "[General]\n");
        keep.insert(keep.begin() + 1, "Larkspur.conf.backup");
        QElapsedTimer took;
        took.start();
        EXPECT_TRUE(QSettingsStore(QString::fromStdString(ini)).writeAll(test::savedSettings(1)))
            << c.name;
        EXPECT_LT(took.elapsed(), 10000) << c.name;
        EXPECT_EQ(settingsSeen(ini), 1) << c.name;
        EXPECT_EQ(folderNames(dir.path()), keep) << c.name;
    }
}
