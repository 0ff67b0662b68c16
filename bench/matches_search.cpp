// The song finder's search over a 1,000,000-entry list beside `grep -ci` on the same list
// file, in the same run.

#include "bench/BenchTiming.h"
#include "playback/SongFinder.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

using namespace larkspur;
using namespace larkspur::bench;

namespace {

// grep -ci's count, or -1 when it did not run.
long grepCount(const std::string& pattern, const std::string& file)
{
    const std::string command = "grep -ci '" + pattern + "' '" + file + "'";
    FILE* out = ::popen(command.c_str(), "r");
    if (!out) return -1;
    long count = -1;
    if (std::fscanf(out, "%ld", &count) != 1) count = -1;
    ::pclose(out);
    return count;
}

} // namespace

int main()
{
    char dirTemplate[] = "/tmp/larkspur-find-XXXXXX";
    const std::string dir = ::mkdtemp(dirTemplate);
    const std::string file = dir + "/list.txt";

    const char* artists[] = {"The Beatles", "Rolling Stones", "Die Aerzte", "Kraftwerk",
                             "Nina Simone", "Miles Davis",    "Bjork",      "Portishead"};
    SongList list;
    const std::size_t n = 1000000;
    for (std::size_t i = 0; i < n; ++i) {
        const std::string artist = artists[i % 8];
        list.add(std::to_string(i % 40) + "|/home/someone/Music/" + artist + "/Album " +
                 std::to_string(i % 613) + "/" + artist + " - Song " + std::to_string(i) + ".mp3");
    }
    const std::string bytes = list.text();
    {
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) < 0) std::abort();
        ::close(fd);
    }
    std::printf("list: %zu entries, %.1f MB\n", n, bytes.size() / 1e6);

    for (const std::string pattern : {"beatles", "SONG 99999", "xyzzy", "album 61"}) {
        std::size_t rows = 0;
        const double search = bestOf(5, [&] { rows = findSongs(list, pattern).size(); });
        long grepRows = -1;
        const double grep = bestOf(5, [&] { grepRows = grepCount(pattern, file); });
        std::printf("\"%s\": finder %.1f ms, %zu rows; grep -ci %.1f ms, %ld lines; "
                    "ratio %.2f (target <= 2)\n",
                    pattern.c_str(), search, rows, grep, grepRows, search / grep);
    }
    std::size_t rows = 0;
    const double starred = bestOf(5, [&] { rows = findSongs(list, "song 9*beatles").size(); });
    std::printf("\"song 9*beatles\": finder %.1f ms, %zu rows (no grep equivalent)\n", starred,
                rows);

    ::unlink(file.c_str());
    ::rmdir(dir.c_str());
    return 0;
}
