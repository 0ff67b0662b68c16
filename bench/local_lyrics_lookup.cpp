// Lookups in the lyrics database's dump on disk against the same lookup from the web database
// played by a loopback server in the same run. Usage: bench_local_lyrics_lookup DUMP, with a
// dump made by bench/make_lyrics_dump.py (its track i: "Song i of Night" by "Artist i%50000",
// i%300 + 120 s). Prints the first lookup after opening, a song-start lookup, one the file
// lacks, 10,000 lookups of songs with known lengths, and resident memory before opening and after
// the lookups.

#include "bench/BenchTiming.h"
#include "bench/LoopbackServer.h"
#include "lyrics/LocalLyricsDatabase.h"
#include "lyrics/LyricsDatabase.h"
#include "web/HttpClient.h"

#include <QCoreApplication>

#include <cstdio>
#include <fstream>
#include <random>
#include <string>

using namespace larkspur;
using larkspur::bench::Clock;
using larkspur::bench::msSince;

namespace {

constexpr int kTracks = 1'000'000;
constexpr int kLookups = 10'000;

DatabaseSong song(int i)
{
    return {"Artist " + std::to_string(i % 50000), "Song " + std::to_string(i) + " of Night",
            (120LL + i % 300) * 1000 + 400};
}

long residentKiB()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DUMP\n", argv[0]);
        return 2;
    }
    std::mt19937 random(33);
    std::uniform_int_distribution<int> pick(1, kTracks);

    // The web database answering at once from loopback: the client's and the server's share.
    const std::string record = "{\"id\":1,\"duration\":200,\"instrumental\":false,"
                               "\"plainLyrics\":\"line\",\"syncedLyrics\":\"[00:01.00]line\"}";
    bench::LoopbackServer server([&](const std::string&) { return bench::Reply{record}; });
    HttpClient http;
    LyricsDatabase web(http, server.url(""));
    const double webMs = bench::bestOf(50, [&] { web.Lookup(song(pick(random))); });

    const long before = residentKiB();
    auto t = Clock::now();
    LocalLyricsDatabase local(argv[1]);
    const double openMs = msSince(t);
    if (!local.isOpen()) {
        std::fprintf(stderr, "%s\n", local.error().c_str());
        return 1;
    }
    t = Clock::now();
    const DatabaseLyrics first = local.Lookup(song(pick(random)));
    const double firstMs = msSince(t);
    const double startMs = bench::bestOf(50, [&] { local.Lookup(song(pick(random))); });
    // A song the file lacks goes on to the full-text search.
    const double missMs = bench::bestOf(20, [&] {
        local.Lookup({"Nobody Known", "Song " + std::to_string(pick(random)), 200000});
    });
    int found = 0;
    t = Clock::now();
    for (int i = 0; i < kLookups; ++i)
        found += local.Lookup(song(pick(random))).kind == DatabaseLyricsKind::Synced;
    const double allMs = msSince(t);
    const long after = residentKiB();

    std::printf("open: %.2f ms; first lookup: %.3f ms (%s)\n", openMs, firstMs,
                first.kind == DatabaseLyricsKind::Synced ? "found" : first.why.c_str());
    std::printf("song-start lookup, best of 50: file %.3f ms, loopback web database %.3f ms "
                "(%.1fx)\n",
                startMs, webMs, webMs / startMs);
    std::printf("a song the file lacks (exact lookup, then search), best of 20: %.3f ms\n", missMs);
    std::printf("%d lookups from the file: %.0f ms (%d found)\n", kLookups, allMs, found);
    std::printf("resident memory: %ld KiB before opening, %ld KiB after (+%.1f MiB)\n", before,
                after, (after - before) / 1024.0);
    return found == kLookups ? 0 : 1;
}
