// Directory scan of a generated tree of 100,000 files (60% MP3, mixed case) beside
// `find DIR -iname '*.mp3'`, and the file test on 100,000 entries beside stat() on the same
// paths in a plain loop. Both baselines run in the same process run, on a warm cache.

#include "bench/BenchTiming.h"
#include "playback/DirectoryScanner.h"
#include "playback/ListMaintenance.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace larkspur;
using namespace larkspur::bench;

namespace {

// Runs a program with its output sent to /dev/null; false when it could not run.
bool runQuietly(std::vector<std::string> args)
{
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return false;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status);
}

void touch(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) std::abort();
    ::close(fd);
}

} // namespace

int main()
{
    char dirTemplate[] = "/tmp/larkspur-scan-XXXXXX";
    const std::string root = ::mkdtemp(dirTemplate);
    const char* extensions[] = {".mp3", ".MP3", ".Mp3", ".mp3",  ".mp3",
                                ".mp3", ".jpg", ".txt", ".flac", ".m3u"}; // 6 of 10 are MP3

    // 100 artists x 10 albums x 100 files.
    std::vector<std::string> files;
    files.reserve(100000);
    for (int a = 0; a < 100; ++a) {
        const std::string artist = root + "/Artist " + std::to_string(a);
        for (int b = 0; b < 10; ++b) {
            const std::string album = artist + "/Album " + std::to_string(b);
            std::filesystem::create_directories(album);
            for (int f = 0; f < 100; ++f) {
                files.push_back(album + "/" + std::to_string(f) + " - Track title" +
                                extensions[(a + b + f) % 10]);
                touch(files.back());
            }
        }
    }
    std::printf("tree: %zu files in 1,100 folders\n", files.size());

    DirectoryScanner scanner;
    std::size_t found = 0;
    const double scan = bestOf(5, [&] { found = scanner.scan(root).entries.size(); });
    bool findRan = true;
    const double find = bestOf(5, [&] {
        findRan = runQuietly({"find", root, "-iname", "*.mp3"}) && findRan;
    });
    std::printf("scan: %.1f ms for %zu songs; find -iname: %.1f ms; ratio %.2f (target <= 1.3)%s\n",
                scan, found, find, scan / find, findRan ? "" : " [find failed to run]");

    // The file test: 100,000 entries, every tenth path missing.
    SongList list;
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < files.size(); ++i) {
        paths.push_back(i % 10 == 0 ? files[i] + ".gone" : files[i]);
        list.add("0|" + paths.back());
    }
    std::size_t missing = 0;
    const double test = bestOf(5, [&] { missing = testAllFiles(list).positions.size(); });
    std::size_t statMissing = 0;
    const double plain = bestOf(5, [&] {
        statMissing = 0;
        struct stat st
        {
        };
        for (const auto& p : paths)
            if (::stat(p.c_str(), &st) != 0) ++statMissing;
    });
    std::printf("file test: %.1f ms, %zu missing; stat loop: %.1f ms, %zu missing; "
                "ratio %.2f (target <= 1.5)\n",
                test, missing, plain, statMissing, test / plain);

    std::filesystem::remove_all(root);
    return 0;
}
