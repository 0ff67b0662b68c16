#include "playback/DirectoryScanner.h"
#include "playback/SongList.h"
#include "support/TestFiles.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

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

namespace {

std::string splitEntryPath(const std::string& entry)
{
    return std::string(splitEntry(entry).path);
}

std::set<std::string> asSet(const std::vector<std::string>& entries)
{
    return {entries.begin(), entries.end()};
}

// Removes a tree through descriptors, so paths longer than the system allows go too.
void removeTreeAt(int parent, const char* name)
{
    const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        if (DIR* dir = ::fdopendir(fd)) {
            std::vector<std::string> names;
            while (const dirent* e = ::readdir(dir))
                if (std::string_view(e->d_name) != "." && std::string_view(e->d_name) != "..")
                    names.emplace_back(e->d_name);
            for (const auto& n : names)
                if (::unlinkat(fd, n.c_str(), 0) != 0) removeTreeAt(fd, n.c_str());
            ::closedir(dir);
        }
    }
    ::unlinkat(parent, name, AT_REMOVEDIR);
}

void touchAt(int folder, const std::string& name)
{
    const int fd = ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << name;
    ::close(fd);
}

} // namespace

TEST(ScanDirectory, TakesRegularFilesAndLinksToThemOnly)
{
    test::TempDir tmp;
    const std::string m = tmp.file("M") + "/";
    fs::create_directories(m);
    fs::create_directories(tmp.file("elsewhere"));
    test::writeFile(m + "song.mp3", "id3");
    test::writeFile(tmp.file("elsewhere/real.ogg"), "id3");
    ASSERT_EQ(::mkfifo((m + "pipe.mp3").c_str(), 0644), 0);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT((m + "sock.mp3").size(), sizeof addr.sun_path);
    std::strcpy(addr.sun_path, (m + "sock.mp3").c_str());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    // A device node needs the right to make one; a link to one is made by anybody.
    const bool device = ::mknod((m + "dev.mp3").c_str(), S_IFCHR | 0644, ::makedev(1, 3)) == 0;
    fs::create_symlink("/dev/null", m + "null.mp3");
    fs::create_symlink("pipe.mp3", m + "pipelink.mp3");
    fs::create_symlink(tmp.file("elsewhere/real.ogg"), m + "linked.mp3");

    const ScanResult got = DirectoryScanner().scan(m);
    ::close(sock);
    EXPECT_EQ(asSet(got.entries),
              (std::set<std::string>{"0|" + m + "song.mp3", "0|" + m + "linked.mp3"}))
        << (device ? "with a device node" : "no device node could be made");
    EXPECT_EQ(got.unreadable, 0u);
}

TEST(ScanDirectory, EachFileOnceWhateverLeadsToIt)
{
    test::TempDir tmp;
    const std::string m = tmp.file("M") + "/";
    for (const char* d : {"A", "C"})
        fs::create_directories(m + d);
    for (const char* f : {"A/a.mp3", "A/b.mp3", "C/c.mp3"})
        test::writeFile(m + f, "id3");
    fs::create_directory_symlink("A", m + "B");          // a sibling folder by a second name
    fs::create_directory_symlink("../A", m + "C/again"); // and from inside another folder
    fs::create_symlink("A/a.mp3", m + "fav.mp3");        // a file link
    fs::create_hard_link(m + "A/b.mp3", m + "hard.mp3"); // a second name for the same file

    const ScanResult got = DirectoryScanner().scan(m);
    std::map<std::pair<dev_t, ino_t>, std::vector<std::string>> byFile;
    for (const auto& e : got.entries) {
        struct stat st
        {
        };
        ASSERT_EQ(::stat(splitEntryPath(e).c_str(), &st), 0) << e;
        byFile[{st.st_dev, st.st_ino}].push_back(e);
    }
    EXPECT_EQ(byFile.size(), 3u);
    for (const auto& [id, entries] : byFile)
        EXPECT_EQ(entries.size(), 1u) << entries.front() << " and " << entries.back();
}

TEST(ScanDirectory, CountsFoldersItCouldNotOpen)
{
    Tree t;
    const std::string m = t.root + "/";
    struct Case
    {
        std::string failing; // the folder whose opening fails
        int error;
        std::set<std::string> missing;
    };
    const Case cases[] = {
        {"", 0, {}},
        {m + "S/", EACCES, {"S/y.mp3", "S/T/t.Mp3"}},
        {m + "S/T/", EACCES, {"S/T/t.Mp3"}},
        {m + "z.mp3/", ENAMETOOLONG, {"z.mp3/inner.mp3"}},
        {m, EACCES, {"x.mp3", "Y.MP3", ".hidden.mp3", "z.mp3/inner.mp3", "S/y.mp3", "S/T/t.Mp3"}},
    };
    const std::set<std::string> all = {"x.mp3",           "Y.MP3",   ".hidden.mp3",
                                       "z.mp3/inner.mp3", "S/y.mp3", "S/T/t.Mp3"};
    for (const Case& c : cases) {
        DirectoryScanner scanner({}, [&](const std::string& path) {
            if (path == c.failing) {
                errno = c.error;
                return -1;
            }
            return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        });
        const ScanResult got = scanner.scan(t.root);
        std::set<std::string> want;
        for (const auto& f : all)
            if (!c.missing.count(f)) want.insert("0|" + m + f);
        std::set<std::string> inside; // the outside folder's song, by whichever link
        for (const auto& e : got.entries)
            if (e.find("/ext") == std::string::npos) inside.insert(e);
        EXPECT_EQ(inside, want) << c.failing;
        EXPECT_EQ(got.unreadable, c.failing.empty() ? 0u : 1u) << c.failing;
    }
}

// Real paths beyond the system's limit: a folder that cannot be opened by its path, and a
// file whose full path would be too long to play, in a folder that still opens.
TEST(ScanDirectory, CountsPathsLongerThanTheSystemAllows)
{
    test::TempDir tmp;
    const std::string name(200, 'd');
    std::string deepest = tmp.path();
    int fd = ::open(deepest.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    struct Cleanup // the temporary folder's own removal goes by full paths and stops short
    {
        std::string root, top;
        ~Cleanup()
        {
            const int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            removeTreeAt(fd, top.c_str());
            ::close(fd);
        }
    } cleanup{tmp.path(), name};
    touchAt(fd, "top.mp3");
    const auto enter = [&](int from) {
        EXPECT_EQ(::mkdirat(from, name.c_str(), 0755), 0);
        const int next = ::openat(from, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(from);
        return next;
    };
    // Down to the last folder whose path still opens; the one below it does not.
    while (fd >= 0 && deepest.size() + 2 * (name.size() + 1) < PATH_MAX - 20) {
        fd = enter(fd);
        deepest += "/" + name;
    }
    fd = enter(fd);
    deepest += "/" + name;
    ASSERT_GE(fd, 0);
    touchAt(fd, "s.mp3");
    touchAt(fd, std::string(250, 'l') + ".mp3");
    fd = enter(fd);
    ASSERT_GE(fd, 0);
    touchAt(fd, "deep.mp3");
    ::close(fd);
    ASSERT_LT(deepest.size() + 1 + 5, static_cast<std::size_t>(PATH_MAX));
    ASSERT_GE(deepest.size() + 1 + name.size() + 1, static_cast<std::size_t>(PATH_MAX));

    const ScanResult got = DirectoryScanner().scan(tmp.path());
    // Compared by size and membership: a failure printing these paths would be unreadable.
    EXPECT_EQ(got.entries.size(), 2u);
    const std::set<std::string> entries = asSet(got.entries);
    EXPECT_TRUE(entries.count("0|" + tmp.path() + "/top.mp3"));
    EXPECT_TRUE(entries.count("0|" + deepest + "/s.mp3"));
    EXPECT_EQ(got.unreadable, 2u); // the long file name and the folder beyond
}

// Root reads every folder, so this only proves something when run as another user.
TEST(ScanDirectory, CountsFoldersClosedToTheUser)
{
    if (::geteuid() == 0) GTEST_SKIP() << "root reads and enters folders whatever their mode";
    test::TempDir tmp;
    const std::string m = tmp.file("M") + "/";
    for (const char* d : {"closed", "unlisted", "open"})
        fs::create_directories(m + d);
    for (const char* f : {"closed/a.mp3", "unlisted/b.mp3", "open/c.mp3"})
        test::writeFile(m + f, "id3");
    ::chmod((m + "closed").c_str(), 0000);   // can neither list nor enter
    ::chmod((m + "unlisted").c_str(), 0600); // can list names but not enter
    const ScanResult got = DirectoryScanner().scan(m);
    ::chmod((m + "closed").c_str(), 0755);
    ::chmod((m + "unlisted").c_str(), 0755);
    EXPECT_EQ(got.entries, std::vector<std::string>{"0|" + m + "open/c.mp3"});
    EXPECT_EQ(got.unreadable, 2u);
}

TEST(ScanDirectory, LeavesOutAndCountsPathsWithLineBreaks)
{
    test::TempDir tmp;
    const std::string m = tmp.file("M") + "/";
    fs::create_directories(m + "bad\nfolder");
    fs::create_directories(m + "good");
    for (const char* f : {"crlf\r\n0|injected.mp3", "lf\n.mp3", "cr\r.mp3", "bad\nfolder/in.mp3",
                          "good/a.mp3", "b.mp3"})
        test::writeFile(m + f, "id3");

    const ScanResult got = DirectoryScanner().scan(m);
    EXPECT_EQ(asSet(got.entries),
              (std::set<std::string>{"0|" + m + "good/a.mp3", "0|" + m + "b.mp3"}));
    EXPECT_EQ(got.lineBreaks, 4u);
    EXPECT_EQ(got.unreadable, 0u);

    // What was added survives a save and a load entry for entry.
    SongList list;
    for (const auto& e : got.entries)
        list.add(e);
    SongList reloaded;
    reloaded.setText(list.text());
    EXPECT_EQ(reloaded.count(), got.entries.size());
}

TEST(ScanSummary, SaysWhatWasAddedAndWhatWasNot)
{
    struct Case
    {
        std::size_t songs, unreadable, lineBreaks;
        std::string want;
    };
    const Case cases[] = {
        {0, 0, 0, "Added 0 songs."},
        {1, 0, 0, "Added 1 song."},
        {12, 1, 0, "Added 12 songs. 1 folder or file could not be read."},
        {2, 3, 1,
         "Added 2 songs. 3 folders or files could not be read. 1 path holding a line break was "
         "left out."},
        {0, 0, 2, "Added 0 songs. 2 paths holding a line break were left out."},
    };
    for (const Case& c : cases) {
        ScanResult r;
        r.entries.assign(c.songs, "0|/m/a.mp3");
        r.unreadable = c.unreadable;
        r.lineBreaks = c.lineBreaks;
        EXPECT_EQ(scanSummary(r), c.want);
    }
}
