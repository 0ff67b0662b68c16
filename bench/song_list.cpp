// Song list load/save and the weighted draw on a 1,000,000-entry list.
// Baselines in the same run: reading / writing the same bytes in one call.

#include "bench/BenchTiming.h"
#include "playback/Selection.h"
#include "playback/SongList.h"
#include "playback/SongListFile.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <string>
#include <unistd.h>
#include <vector>

using namespace larkspur;
using namespace larkspur::bench;

int main()
{
    char dirTemplate[] = "/tmp/larkspur-bench-XXXXXX";
    const std::string dir = ::mkdtemp(dirTemplate);
    const std::string file = dir + "/list.txt";
    const std::string plain = dir + "/plain.txt";
    const std::size_t n = 1000000;

    SongList list;
    for (std::size_t i = 0; i < n; ++i)
        list.add(makeEntry(50, "/home/someone/Music/Artist " + std::to_string(i % 997) +
                                   "/Album/Artist - Song number " + std::to_string(i) + ".mp3"));
    const std::string bytes = list.text();
    std::printf("song list: %zu entries, %.1f MB\n", n, bytes.size() / 1e6);

    // Writing: one write() of the same bytes, flushed to disk like the save.
    const double writeBase = bestOf(3, [&] {
        const int fd = ::open(plain.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (::write(fd, bytes.data(), bytes.size()) < 0) std::abort();
        ::fsync(fd);
        ::close(fd);
    });
    const double save = bestOf(3, [&] {
        if (!saveSongList(file, list)) std::abort();
    });
    std::printf("save: %.1f ms, one write+fsync of the same bytes: %.1f ms, ratio %.2f (target <= 3)\n",
                save, writeBase, save / writeBase);

    // Written in place, in a folder that takes no new file: the old list and the new one are
    // first copied to the data folder, each synced, so about three times the writing.
    const std::string locked = dir + "/locked";
    const std::string lockedFile = locked + "/list.txt";
    const std::string data = dir + "/data";
    ::mkdir(locked.c_str(), 0755);
    if (!saveSongList(lockedFile, list)) std::abort();
    ::chmod(locked.c_str(), 0555);
    const double inPlace = bestOf(3, [&] {
        const ListFileResult r = saveSongList(lockedFile, list, data);
        if (!r || !r.inPlace) std::abort();
    });
    ::chmod(locked.c_str(), 0755);
    std::printf("save in place: %.1f ms, ratio %.2f against one write+fsync (target <= 6)\n",
                inPlace, inPlace / writeBase);

    // Reading into a new buffer, as any reader of the file must, and into one already
    // touched (no page faults at all).
    const double readBase = bestOf(5, [&] {
        std::string buffer(bytes.size(), '\0');
        const int fd = ::open(plain.c_str(), O_RDONLY);
        if (::read(fd, buffer.data(), buffer.size()) < 0) std::abort();
        ::close(fd);
    });
    std::string warm(bytes.size(), '\0');
    const double readWarm = bestOf(5, [&] {
        const int fd = ::open(plain.c_str(), O_RDONLY);
        if (::read(fd, warm.data(), warm.size()) < 0) std::abort();
        ::close(fd);
    });
    SongList loaded;
    const double load = bestOf(5, [&] {
        if (!loadSongList(file, loaded)) std::abort();
    });
    std::printf("load: %.1f ms, one read of the same bytes into a new buffer: %.1f ms, "
                "ratio %.2f (target <= 3)\n",
                load, readBase, load / readBase);
    std::printf("      (into a buffer already in memory: %.1f ms, ratio %.2f)\n", readWarm,
                load / readWarm);

    // The draw itself: all files present, every count 50, so each call needs 51+ draws.
    TimeSeededRandom random(1);
    const FileExists always = [](const std::string&) { return true; };
    const int calls = 2000;
    long long draws = 0;
    const auto t = Clock::now();
    for (int i = 0; i < calls; ++i) draws += drawSong(loaded, -1, random, always).draws;
    const double perCall = msSince(t) * 1000.0 / calls;
    std::printf("draw: %.1f us per selection (%.1f draws each) on %zu entries\n", perCall,
                double(draws) / calls, loaded.count());

    ::unlink(file.c_str());
    ::unlink(plain.c_str());
    ::unlink(lockedFile.c_str());
    ::rmdir(locked.c_str());
    ::unlink((data + "/list.txt.backup").c_str());
    ::rmdir(data.c_str());
    ::rmdir(dir.c_str());
    return 0;
}
