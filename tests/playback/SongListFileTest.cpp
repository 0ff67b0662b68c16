// The song list file against what users and accidents put in its place.

#include "files/ReplaceFile.h"
#include "playback/ClearUndo.h"
#include "playback/SongListFile.h"
#include "playback/SongListLock.h"
#include "support/KillLoop.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QProcess>
#include <QString>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace larkspur;
using larkspur::test::folderNames;
using larkspur::test::KillLoop;
using larkspur::test::nameOfBytes;
using larkspur::test::readFile;
using larkspur::test::TempDir;
using larkspur::test::writeFile;
using Status = ListFileResult::Status;

namespace {

ino_t inodeOf(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

} // namespace

TEST(SongListFile, LoadRefusesWhatCannotBeASongList)
{
    TempDir dir;
    const auto fifo = dir.file("pipe.txt");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Case
    {
        std::string name;
        std::string bytes; // written to a file of that name when not empty
        Status status;
    };
    const std::vector<Case> cases{
        {dir.file("missing.txt"), "", Status::Missing},
        {dir.path(), "", Status::NotAFile},
        {"/dev/zero", "", Status::NotAFile},
        {fifo, "", Status::NotAFile},
        {dir.file("utf16le.txt"), std::string("\xFF\xFE" "0\0|\0/\0a\0", 10), Status::NotText},
        {dir.file("utf16be.txt"), std::string("\xFE\xFF\0" "0\0|\0/\0a", 10), Status::NotText},
        {dir.file("utf32be.txt"), std::string("\0\0\xFE\xFF\0\0\0" "0", 8), Status::NotText},
        {dir.file("nul.txt"), std::string("0|/a.mp3\r\n0|/b\0.mp3\r\n", 21), Status::NotText},
        {dir.file("big.txt"), std::string(40, 'x'), Status::TooLarge},
    };
    for (const auto& c : cases) {
        if (!c.bytes.empty()) writeFile(c.name, c.bytes);
        SongList list;
        list.add("7|/keep.mp3");
        const auto started = std::chrono::steady_clock::now();
        const ListFileResult r = loadSongList(c.name, list, 32);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2)) << c.name;
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_NE(r.message.find(c.name), std::string::npos) << r.message;
        ASSERT_EQ(list.count(), 1u) << c.name;
        EXPECT_EQ(list.get(0), "7|/keep.mp3");
    }
    // Names in another 8-bit encoding are bytes like any others.
    const auto latin = dir.file("latin1.txt");
    writeFile(latin, "0|/m\xFCsic/caf\xE9.mp3\r\n");
    SongList list;
    ASSERT_TRUE(loadSongList(latin, list));
    EXPECT_EQ(list.get(0), "0|/m\xFCsic/caf\xE9.mp3");
}

TEST(SongListFile, SaveFollowsTheFilesOwnRights)
{
    TempDir dir;
    SongList list;
    list.add("9|/new.mp3");

    const auto readOnly = dir.file("readonly.txt");
    writeFile(readOnly, "0|/old.mp3\r\n");
    ::chmod(readOnly.c_str(), 0444);
    ListFileResult r = saveSongList(readOnly, list, dir.file("backup"));
    EXPECT_EQ(r.status, Status::ReadOnly);
    EXPECT_NE(r.message.find("read-only"), std::string::npos);
    EXPECT_EQ(readFile(readOnly), "0|/old.mp3\r\n");

    const auto fifo = dir.file("pipe.txt");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(saveSongList(fifo, list).status, Status::Failed);
    struct stat st {};
    ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)); // not replaced by a file

    EXPECT_FALSE(saveSongList("", list));
    EXPECT_FALSE(saveSongList(dir.file("no/such/folder/list.txt"), list));

    if (::geteuid() != 0) GTEST_SKIP() << "giving a file to another user needs root";
    // Someone else's list that we may write keeps its owner and mode.
    const auto shared = dir.file("shared.txt");
    writeFile(shared, "0|/old.mp3\r\n");
    ASSERT_EQ(::chown(shared.c_str(), 65534, 65534), 0);
    ::chmod(shared.c_str(), 0664);
    ASSERT_TRUE(saveSongList(shared, list));
    ASSERT_EQ(::stat(shared.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 0664u);
    EXPECT_EQ(readFile(shared), "9|/new.mp3\r\n");
}

// A folder that takes no new file: the list is written in place, after a copy of the old
// one has been put in the backup folder.
TEST(SongListFile, FolderWithoutRoomForANewFileIsWrittenInPlaceAfterACopy)
{
    struct Case
    {
        const char* name;
        std::function<void(const std::string& folder, const std::string& list)> block;
    };
    const std::vector<Case> cases{
        {"read-only folder", [](const std::string& folder, const std::string&) {
             ::chmod(folder.c_str(), 0555);
         }},
        {"new file's name taken by a folder", [](const std::string&, const std::string& list) {
             ::mkdir((list + ".saving").c_str(), 0700);
         }},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const auto folder = dir.file("music");
        ::mkdir(folder.c_str(), 0700);
        const auto name = folder + "/list.txt";
        writeFile(name, "0|/old.mp3\r\n");
        const ino_t inode = inodeOf(name);
        c.block(folder, name);
        SongList list;
        list.add("12|/new.mp3");
        list.add("0|/second.mp3");
        const ListFileResult r = saveSongList(name, list, dir.file("data/larkspur"));
        EXPECT_TRUE(r.ok()) << c.name << ": " << r.message;
        EXPECT_TRUE(r.inPlace) << c.name;
        EXPECT_EQ(readFile(name), "12|/new.mp3\r\n0|/second.mp3\r\n") << c.name;
        EXPECT_EQ(inodeOf(name), inode) << c.name;
        EXPECT_EQ(r.backupPath, dir.file("data/larkspur/list.txt.backup"));
        EXPECT_EQ(readFile(r.backupPath), "0|/old.mp3\r\n") << c.name;

        // Shorter than before: nothing of the old text is left at the end.
        list.remove(1);
        ASSERT_TRUE(saveSongList(name, list, dir.file("data/larkspur")));
        EXPECT_EQ(readFile(name), "12|/new.mp3\r\n");

        // Without a place for the copy nothing is written at all.
        const ListFileResult failed = saveSongList(name, SongList{}, "/dev/null/larkspur");
        EXPECT_EQ(failed.status, Status::Failed) << c.name;
        EXPECT_NE(failed.message.find("copy"), std::string::npos) << failed.message;
        EXPECT_EQ(readFile(name), "12|/new.mp3\r\n");
        ::chmod(folder.c_str(), 0700);
    }
}

// A power loss after the rename must not lose the new list: the folder is synced after it.
// The save runs in a child process with a probe preloaded that records fsync and rename.
TEST(SongListFile, FolderIsSyncedAfterTheRename)
{
    if (const char* log = std::getenv("LARKSPUR_FSYNC_PROBE_LOG")) {
        SongList list;
        list.add("1|/a.mp3");
        ASSERT_TRUE(saveSongList(std::string(log) + ".list", list));
        return;
    }
    TempDir dir;
    const auto log = dir.file("probe.log");
    QProcess child;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(LARKSPUR_FSYNC_PROBE));
    env.insert(QStringLiteral("LARKSPUR_FSYNC_PROBE_LOG"), QString::fromStdString(log));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=SongListFile.FolderIsSyncedAfterTheRename")});
    ASSERT_TRUE(child.waitForFinished(30000));
    ASSERT_EQ(child.exitCode(), 0) << child.readAllStandardOutput().toStdString();
    const std::string seen = readFile(log);
    const auto renamed = seen.find("rename");
    ASSERT_NE(renamed, std::string::npos) << seen;
    EXPECT_LT(seen.find("fsync file"), renamed) << seen;
    EXPECT_NE(seen.find("fsync folder", renamed), std::string::npos) << seen;
    EXPECT_EQ(readFile(log + ".list"), "1|/a.mp3\r\n");
}

TEST(SongListLock, OneHolderPerListWhateverItsName)
{
    TempDir dir;
    const auto list = dir.file("list.txt");
    writeFile(list, "");
    const auto link = dir.file("link.txt");
    ASSERT_EQ(::symlink(list.c_str(), link.c_str()), 0);
    const auto other = dir.file("other.txt");
    writeFile(other, "");

    SongListLock first;
    ASSERT_EQ(first.acquire(list, dir.file("run")), SongListLock::Result::Taken);
    SongListLock second;
    EXPECT_EQ(second.acquire(link, dir.file("run")), SongListLock::Result::HeldElsewhere);
    SongListLock third;
    EXPECT_EQ(third.acquire(other, dir.file("run")), SongListLock::Result::Taken);
    first.release();
    EXPECT_EQ(second.acquire(list, dir.file("run")), SongListLock::Result::Taken);

    // Beside a list whose folder takes no file, the lock lives in the runtime folder.
    SongListLock a, b;
    ASSERT_EQ(a.acquire("/proc/version", dir.file("run")), SongListLock::Result::Taken);
    EXPECT_EQ(a.lockFile().rfind(dir.file("run"), 0), 0u) << a.lockFile();
    EXPECT_EQ(b.acquire("/proc/version", dir.file("run")), SongListLock::Result::HeldElsewhere);
}

// Names near the 255-byte limit of one name: whatever is made beside a list or in the data
// folder for it must fit, and be its own for two lists whose names start alike.
TEST(SongListFile, LongNames)
{
    SongList texts[2]; // each more than one large write, where the stop probe stops
    for (int i = 0; i < 5000; ++i)
        for (int t : {0, 1}) texts[t].add(makeEntry(t, "/m/Song " + std::to_string(i) + ".mp3"));
    for (const std::size_t bytes : {240u, 249u, 252u, 255u}) {
        for (const bool utf8 : {false, true}) {
            const std::string label = std::to_string(bytes) + (utf8 ? " UTF-8" : " ASCII");
            TempDir dir;
            const auto music = dir.file("music"), data = dir.file("data"), in = dir.file("in");
            ::mkdir(music.c_str(), 0700);
            writeFile(in, texts[1].text());
            const std::string name = nameOfBytes(bytes, utf8, 'a', ".txt");
            const std::string files[2] = {music + "/" + name,
                                          music + "/" + nameOfBytes(bytes, utf8, 'b', ".txt")};
            for (const auto& f : files) writeFile(f, texts[0].text());
            // Killed halfway through writing its new file; the next save takes that over.
            KillLoop loop({LARKSPUR_SAVE_PROBE, "list", files[0], data, in, in});
            const auto stopAt = "LARKSPUR_STOP_FILE=" + music + "/" + name.substr(0, 200) + "*";
            ASSERT_NO_THROW(loop.killAtStop({std::string("LD_PRELOAD=") + LARKSPUR_STOP_PROBE,
                                             stopAt, "LARKSPUR_STOP_AT=write"}))
                << label;
            SongListLock lock;
            ASSERT_EQ(lock.acquire(files[0], dir.file("run")), SongListLock::Result::Taken);
            EXPECT_EQ(folderOf(lock.lockFile()), music) << label;
            EXPECT_TRUE(saveSongList(files[0], texts[1], data)) << label;
            lock.release();
            EXPECT_EQ(folderNames(music).size(), 2u) << label;
            // Load, raise, save, load again: by a new file, then in place after a copy; then
            // cleared after a copy. Four copies, each of its own list.
            std::string copies[4], kept[4];
            for (const mode_t mode : {0700, 0555}) {
                ::chmod(music.c_str(), mode);
                const std::string raised = std::to_string(mode) + "|/raised.mp3";
                for (int t : {0, 1}) {
                    SongList list;
                    ASSERT_TRUE(loadSongList(files[t], list, kMaxListFileBytes, data)) << label;
                    kept[t] = list.text();
                    list.put(0, raised);
                    const ListFileResult r = saveSongList(files[t], list, data);
                    EXPECT_EQ(r.inPlace, mode == 0555) << label << ": " << r.message;
                    copies[t] = r.backupPath;
                    ASSERT_TRUE(loadSongList(files[t], list, kMaxListFileBytes, data)) << label;
                    EXPECT_EQ(list.get(0), raised) << label;
                    kept[2 + t] = list.text();
                    copies[2 + t] = ClearUndo().clearAll(list, files[t], data).copyPath;
                }
            }
            ::chmod(music.c_str(), 0700);
            for (int i = 0; i < 4; ++i)
                EXPECT_EQ(readFile(copies[i]), kept[i]) << label << ", copy " << i;
            for (const auto& n : folderNames(data)) // cut between characters, not inside one
                EXPECT_EQ(QString::fromStdString(n).toStdString(), n) << label;
        }
    }
}
