// The whole-list lyrics fetch against a loopback database answering at once: songs per
// second, and the process's resident memory after the first tenth of the songs and at the
// end, which should be about the same (nothing is kept per song). Every third song gets
// timed lyrics, every third plain ones, the rest an instrumental record. The songs are
// empty files, so no length is measured: the figure is the fetch's own pace.
// Usage: bench_fetch_all_lyrics [SONGS] (default 10000).

#include "bench/BenchTiming.h"
#include "bench/LoopbackServer.h"
#include "lyrics/LyricsFetchAll.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

using namespace larkspur;
using larkspur::bench::Clock;
using larkspur::bench::msSince;

namespace {

long residentKb()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// "/api/get?artist_name=Artist&track_name=Title%20N" gives N.
int songNumber(const std::string& target)
{
    const auto at = target.find("Title%20");
    return at == std::string::npos ? 0 : std::atoi(target.c_str() + at + 8);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    bench::LoopbackServer server([](const std::string& target) {
        const int n = songNumber(target);
        const std::string synced =
            n % 3 == 0 ? "\"[00:01.00]line " + std::to_string(n) + "\"" : "null";
        const std::string plain = n % 3 == 1 ? "\"line " + std::to_string(n) + "\"" : "null";
        return bench::Reply{"{\"instrumental\":" + std::string(n % 3 == 2 ? "true" : "false") +
                            ",\"syncedLyrics\":" + synced + ",\"plainLyrics\":" + plain + "}"};
    });
    QTemporaryDir dir;
    std::vector<std::string> songs;
    for (int i = 0; i < count; ++i) {
        songs.push_back(dir.path().toStdString() + "/Artist " + std::to_string(i) + " - Title " +
                        std::to_string(i) + ".mp3");
        std::ofstream(songs.back()) << "";
    }
    FetchAllSetup setup;
    setup.host = server.url("");
    setup.store = dir.path().toStdString() + "/store";
    LyricsFetchAll run(std::move(songs), setup);
    const auto start = Clock::now();
    run.start();
    long tenthKb = 0;
    FetchAllCounts c;
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        c = run.counts();
        if (!tenthKb && c.done >= c.total / 10) tenthKb = residentKb();
    } while (!c.finished);
    const double seconds = msSince(start) / 1000;
    const long endKb = residentKb();
    std::printf("whole-list fetch, %d songs: %.0f songs/s (%.1f s)\n", count, c.done / seconds,
                seconds);
    std::printf("  synced %zu, plain %zu, instrumental %zu, not found %zu, failed %zu\n", c.synced,
                c.plain, c.instrumental, c.notFound, c.failed);
    std::printf("  resident memory: %ld KB after a tenth, %ld KB at the end (%+ld KB)\n", tenthKb,
                endKb, endKb - tenthKb);
    return c.done == static_cast<std::size_t>(count) && c.failed == 0 ? 0 : 1;
}
