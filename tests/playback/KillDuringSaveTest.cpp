// The player may be killed at any instant (power loss, the OOM killer, logging out). A probe
// saves through the real code in a loop and is killed at random moments of its saves.

#include "playback/PlayLog.h"
#include "playback/SongListFile.h"
#include "playback/SongListLock.h"
#include "support/KillLoop.h"
#include "support/SaveProbeTexts.h"
#include "support/TestFiles.h"

#include <ctime>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>

using namespace larkspur;
using larkspur::test::folderNames;
using larkspur::test::KilledSave;
using larkspur::test::KillLoop;
using larkspur::test::readFile;
using larkspur::test::TempDir;
using larkspur::test::writeFile;

namespace {

// About 2 MB: entries of the length real paths have.
std::string bigList(int entries, int variant)
{
    SongList list;
    for (int i = 0; i < entries; ++i)
        list.add(std::to_string((i * 7 + variant) % 13) + "|/home/user/Music/Artist " +
                 std::to_string(i % 400) + "/Album " + std::to_string(i % 37) + "/" +
                 std::to_string(i) + " - A Song With A Longish Title " + std::to_string(variant) +
                 ".mp3");
    return list.text();
}

bool exists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string endingIn(const std::string& folder, const std::string& suffix)
{
    for (const auto& n : folderNames(folder))
        if (n.size() > suffix.size() &&
            n.compare(n.size() - suffix.size(), suffix.size(), suffix) == 0)
            return folder + "/" + n;
    return {};
}

} // namespace

// After every kill the list is the old one or the new one, byte for byte, and loads; a kill
// leaves at most the one new file of the save (which the next save takes over) and the lock
// file (which the next start takes over). Where the folder takes no new file the list is
// written in place: the copy of the old list in the data folder is always whole, and a list
// cut short in the middle of the write is finished by the next load from the record of the
// new list kept beside that copy.
TEST(KillDuringSave, SongListIsTheOldOrTheNewOne)
{
    struct Case
    {
        const char* name;
        bool inPlace;
        int kills;
    };
    const std::vector<Case> cases{{"new file renamed over the list", false, 200},
                                  {"folder without room: written in place", true, 100}};
    const std::string texts[2] = {bigList(20000, 0), bigList(18000, 1)};
    for (const auto& c : cases) {
        TempDir dir;
        const auto music = dir.file("music");
        const auto data = dir.file("data");
        const auto list = music + "/list.txt";
        ::mkdir(music.c_str(), 0700);
        std::string input[2];
        for (int i = 0; i < 2; ++i) {
            input[i] = dir.file("input" + std::to_string(i) + ".txt");
            writeFile(input[i], texts[i]);
        }
        writeFile(list, texts[0]);
        if (c.inPlace) ::chmod(music.c_str(), 0555);
        const auto which = [&](const std::string& bytes) {
            return bytes == texts[0] ? 0 : bytes == texts[1] ? 1 : -1;
        };
        KillLoop loop({LARKSPUR_SAVE_PROBE, "list", list, data, input[1], input[0]});
        const auto spread = loop.timeOneSave() * 5 / 4;
        int current = which(readFile(list));
        ASSERT_NE(current, -1) << c.name;

        int oldInSave = 0, newInSave = 0, afterSave = 0, leftNewFile = 0, finished = 0;
        const std::set<std::string> allowed{"list.txt", "list.txt.lock",
                                            c.inPlace ? "list.txt" : "list.txt.saving"};
        for (int kill = 0; kill < c.kills; ++kill) {
            loop.command()[4] = input[1 - current];
            loop.command()[5] = input[current];
            const KilledSave k = loop.killDuringSave(spread);
            // Save n writes the other text when n is even.
            const auto expected = [&](long n) { return n < 0 || n % 2 ? current : 1 - current; };
            const std::string context = std::string(c.name) + ", kill " + std::to_string(kill) +
                                        ": save " + std::to_string(k.started) + " begun, " +
                                        std::to_string(k.done) + " done";
            const std::string onDisk = readFile(list);
            const int seen = which(onDisk);
            const std::string record = endingIn(data, ".unfinished");
            if (c.inPlace) {
                const std::string backup = data + "/list.txt.backup";
                if (exists(backup)) {
                    EXPECT_NE(which(readFile(backup)), -1) << context << ": backup not whole";
                }
                if (!record.empty()) {
                    // Made after the copy, so the copy is the old list.
                    EXPECT_TRUE(k.inSave()) << context;
                    EXPECT_EQ(which(readFile(backup)), expected(k.started - 1)) << context;
                    EXPECT_EQ(readFile(record), list + "\n" + texts[expected(k.started)])
                        << context;
                }
                if (seen == -1) {
                    EXPECT_FALSE(record.empty()) << context << ": cut short without a record";
                    ++finished;
                }
                for (const auto& n : folderNames(data))
                    EXPECT_TRUE(n.rfind("list.txt.", 0) == 0 &&
                                (n.ends_with(".backup") || n.ends_with(".unfinished") ||
                                 n.ends_with(".saving")))
                        << context << ": " << n;
            } else {
                EXPECT_NE(seen, -1) << context << ": " << onDisk.size() << " bytes";
                EXPECT_TRUE(folderNames(data).empty()) << context;
            }
            SongList loaded;
            ASSERT_TRUE(loadSongList(list, loaded, kMaxListFileBytes, data)) << context;
            const int got = which(loaded.text());
            if (k.inSave())
                EXPECT_TRUE(got == expected(k.started - 1) || got == expected(k.started))
                    << context;
            else
                EXPECT_EQ(got, expected(k.done)) << context;
            EXPECT_EQ(readFile(list), loaded.text()) << context;
            EXPECT_TRUE(endingIn(data, ".unfinished").empty()) << context;
            for (const auto& n : folderNames(music))
                EXPECT_TRUE(allowed.count(n)) << context << ": " << n;
            leftNewFile += exists(list + ".saving");
            (k.inSave() ? (got == expected(k.started) ? newInSave : oldInSave) : afterSave)++;
            current = got;
            if (current == -1) break;
        }
        if (c.inPlace) {
            // Kills exactly inside the write, which random ones seldom hit: the list is cut
            // short, and the next load finishes it from the record.
            for (const char* at : {"write", "write", "ftruncate", "ftruncate"}) {
                loop.command()[4] = input[1 - current];
                loop.command()[5] = input[current];
                const KilledSave k = loop.killAtStop(
                    {std::string("LD_PRELOAD=") + LARKSPUR_STOP_PROBE, "LARKSPUR_STOP_FILE=" + list,
                     std::string("LARKSPUR_STOP_AT=") + at});
                const int written = k.started % 2 ? current : 1 - current;
                const std::string onDisk = readFile(list);
                const std::string record = endingIn(data, ".unfinished");
                ASSERT_FALSE(record.empty()) << at;
                EXPECT_EQ(readFile(record), list + "\n" + texts[written]) << at;
                EXPECT_EQ(readFile(data + "/list.txt.backup"), texts[1 - written]) << at;
                // Cut to length only matters when the new list is the shorter one.
                if (which(onDisk) == -1)
                    ++finished;
                else
                    EXPECT_EQ(which(onDisk), written) << at;
                SongList loaded;
                ASSERT_TRUE(loadSongList(list, loaded, kMaxListFileBytes, data)) << at;
                EXPECT_EQ(loaded.text(), texts[written]) << at;
                EXPECT_EQ(readFile(list), texts[written]) << at;
                EXPECT_TRUE(endingIn(data, ".unfinished").empty()) << at;
                current = written;
            }
            EXPECT_GE(finished, 3);

            // Cut short, then mended by hand long after: the user's text stays.
            loop.killAtStop({std::string("LD_PRELOAD=") + LARKSPUR_STOP_PROBE,
                             "LARKSPUR_STOP_FILE=" + list, "LARKSPUR_STOP_AT=write"});
            ASSERT_FALSE(endingIn(data, ".unfinished").empty());
            const std::string edited = "3|/home/user/Music/edited.mp3\r\n";
            writeFile(list, edited);
            const timespec later[2] = {{::time(nullptr) + 600, 0}, {::time(nullptr) + 600, 0}};
            ASSERT_EQ(::utimensat(AT_FDCWD, list.c_str(), later, 0), 0);
            SongList loaded;
            ASSERT_TRUE(loadSongList(list, loaded, kMaxListFileBytes, data));
            EXPECT_EQ(loaded.text(), edited);
            EXPECT_TRUE(endingIn(data, ".unfinished").empty());
            writeFile(list, texts[current]);
        }
        std::cout << "[ kills    ] " << c.name << ": " << c.kills << " random kills within "
                  << spread.count() << " us of a save's start; then on disk: old list " << oldInSave
                  << ", new list " << newInSave + afterSave << ", new file left beside it "
                  << leftNewFile << "; cut short and finished by the next load " << finished
                  << "\n";
        EXPECT_GT(oldInSave, 0) << c.name;
        EXPECT_GT(newInSave + afterSave, 0) << c.name;
        if (!c.inPlace) {
            EXPECT_GT(leftNewFile, 0) << c.name;
        }

        // A later start and save find nothing in their way, and leave nothing behind.
        SongListLock lock;
        EXPECT_EQ(lock.acquire(list), SongListLock::Result::Taken) << c.name;
        SongList list2;
        ASSERT_TRUE(loadSongList(list, list2, kMaxListFileBytes, data)) << c.name;
        list2.put(0, "99|/home/user/Music/last.mp3");
        ASSERT_TRUE(saveSongList(list, list2, data)) << c.name;
        lock.release();
        EXPECT_EQ(folderNames(music), std::vector<std::string>{"list.txt"}) << c.name;
        EXPECT_EQ(readFile(list), list2.text()) << c.name;
        ::chmod(music.c_str(), 0700);
    }
}

// A kill in the middle of an append leaves a line cut short; the next append starts on a
// line of its own, so every line is one record or the start of one, never two run together.
TEST(KillDuringSave, PlayLogNeverRunsTwoRecordsTogether)
{
    TempDir dir;
    const auto log = dir.file("log.txt");
    // As a power loss may leave it: the last record cut short.
    writeFile(log, test::logRecord(0) + "\r\n" + test::logRecord(1).substr(0, 500));
    KillLoop loop({LARKSPUR_SAVE_PROBE, "log", log, "2"});
    const auto spread = loop.timeOneSave() * 3;
    long next = 1000; // beyond the records of the timing run
    constexpr int kKills = 50;
    for (int kill = 0; kill < kKills; ++kill) {
        loop.command()[3] = std::to_string(next);
        const KilledSave k = loop.killDuringSave(spread);
        next += k.started + 1;
    }
    PlayLog(log).append(test::logRecord(next));

    const std::string text = readFile(log);
    ASSERT_TRUE(text.ends_with("\r\n"));
    int whole = 0, cutShort = 0;
    long last = -1;
    for (std::size_t from = 0, eol; (eol = text.find("\r\n", from)) != std::string::npos;
         from = eol + 2) {
        const std::string line = text.substr(from, eol - from);
        long n = -1;
        if (std::sscanf(line.c_str(), "record %ld ", &n) != 1) {
            // cut short before its number was whole
            EXPECT_TRUE(std::string("record ").starts_with(line.substr(0, 7))) << line;
            ++cutShort;
            continue;
        }
        const std::string record = test::logRecord(n);
        ASSERT_TRUE(record.starts_with(line)) << "record " << n << " is run together";
        EXPECT_GT(n, last);
        last = n;
        (line == record ? whole : cutShort)++;
    }
    std::cout << "[ kills    ] play log: " << kKills << " kills, " << whole << " whole records, "
              << cutShort << " cut short\n";
    EXPECT_EQ(last, next);
    EXPECT_GE(cutShort, 1);
    EXPECT_LE(cutShort, kKills + 1);
}
