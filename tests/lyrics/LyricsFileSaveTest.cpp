// Whatever stands at the name of a save's new file ("<file>.saving"): a kill's leftover is
// taken over, anything else is neither written into nor waited for without end.

#include "lyrics/LyricsFile.h"
#include "support/TestFiles.h"

#include <QElapsedTimer>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace larkspur;
using larkspur::test::nameOfBytes;
using larkspur::test::readFile;
using larkspur::test::TempDir;
using larkspur::test::writeFile;

TEST(LyricsFileSave, WhatStandsAtTheNewFilesName)
{
    struct Case
    {
        const char* name;
        std::function<int(const std::string& saving, const std::string& other)>
            plant; // fd to close
        bool saved;
    };
    const std::vector<Case> cases{
        {"left by a kill",
         [](const std::string& s, const std::string&) {
             writeFile(s, std::string(100000, 'x'));
             return -1;
         },
         true},
        {"left by a kill, read-only",
         [](const std::string& s, const std::string&) {
             writeFile(s, "half");
             ::chmod(s.c_str(), 0444);
             return -1;
         },
         true},
        {"a second name of another file",
         [](const std::string& s, const std::string& other) {
             return ::link(other.c_str(), s.c_str()) == 0 ? -1 : -2;
         },
         true},
        {"a pipe",
         [](const std::string& s, const std::string&) {
             return ::mkfifo(s.c_str(), 0600) == 0 ? -1 : -2;
         },
         true},
        {"a folder",
         [](const std::string& s, const std::string&) {
             return ::mkdir(s.c_str(), 0700) == 0 ? -1 : -2;
         },
         false},
        {"held by another save under way",
         [](const std::string& s, const std::string&) {
             const int fd = ::open(s.c_str(), O_WRONLY | O_CREAT, 0644);
             return fd >= 0 && ::flock(fd, LOCK_EX) == 0 ? fd : -2;
         },
         false},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const auto lyr = dir.file("song.lyr");
        const auto other = dir.file("other.txt");
        writeFile(lyr, "old");
        writeFile(other, "someone else's");
        const int held = c.plant(lyr + ".saving", other);
        ASSERT_NE(held, -2) << c.name;
        QElapsedTimer took;
        took.start();
        bool saved = true;
        try {
            writeLyricsFile(lyr, "new");
        } catch (const LyricsFileError& e) {
            saved = false;
            EXPECT_NE(std::string(e.what()).find(lyr), std::string::npos) << e.what();
        }
        EXPECT_LT(took.elapsed(), 10000) << c.name;
        EXPECT_EQ(saved, c.saved) << c.name;
        EXPECT_EQ(readFile(lyr), saved ? "new" : "old") << c.name;
        EXPECT_EQ(readFile(other), "someone else's") << c.name;
        if (saved) {
            struct stat st
            {
            };
            EXPECT_NE(::lstat((lyr + ".saving").c_str(), &st), 0) << c.name;
        }
        if (held >= 0) ::close(held);
    }
}

// F9 on a song whose name is near the 255-byte limit: the new file's name must fit as well.
TEST(LyricsFileSave, LongNames)
{
    for (const std::size_t bytes : {240u, 249u, 252u, 255u}) {
        for (const bool utf8 : {false, true}) {
            TempDir dir;
            const auto lyr = dir.file(nameOfBytes(bytes, utf8, 'a', ".lyr"));
            writeFile(lyr, "old");
            EXPECT_NO_THROW(writeLyricsFile(lyr, "new")) << bytes << utf8;
            EXPECT_EQ(readFile(lyr), "new") << bytes << utf8;
        }
    }
}
