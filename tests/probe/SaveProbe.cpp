// Saves one kind of file over and over through the program's own code, alternating two
// contents, so that a test can kill it at any instant. Before each save it writes "S<n>" to
// its standard output and after it "D<n>", so the test knows which save was under way.
//
//   save-probe list     <list> <backup folder> <first text file> <second text file>
//   save-probe settings <ini file> <first index>
//   save-probe lyrics   <file> <first index>
//   save-probe staging  <first index>       ($XDG_CACHE_HOME names the cache folder)
//   save-probe log      <file> <first record number>
//
// Text number n (0 or 1) of the settings, lyrics and staging page is savedText(kind, n).

#include "app/core/QSettingsStore.h"
#include "lyrics/LyricsFile.h"
#include "playback/PlayLog.h"
#include "playback/SongListFile.h"
#include "playback/SongListLock.h"
#include "support/SaveProbeTexts.h"
#include "web/StagingPage.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/prctl.h>
#include <unistd.h>

using namespace larkspur;

namespace {

void say(char what, long n)
{
    const std::string line = what + std::to_string(n) + "\n";
    if (::write(1, line.data(), line.size()) != static_cast<ssize_t>(line.size())) std::_Exit(3);
}

// Never outlives a test that died.
constexpr long kMostSaves = 100000;

template <typename Save> int loop(long first, Save save)
{
    for (long n = 0; n < kMostSaves; ++n) {
        say('S', n);
        if (!save(first + n)) return 1;
        say('D', n);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (argc < 3) return 2;
    const std::string kind = argv[1];
    if (kind == "list" && argc == 6) {
        SongListLock lock;
        if (lock.acquire(argv[2]) != SongListLock::Result::Taken) return 4;
        SongList texts[2];
        for (int i = 0; i < 2; ++i)
            if (!loadSongList(argv[4 + i], texts[i])) return 5;
        return loop(0, [&](long n) { return saveSongList(argv[2], texts[n % 2], argv[3]).ok(); });
    }
    if (kind == "settings" && argc == 4) {
        QCoreApplication app(argc, argv);
        QSettingsStore store(QString::fromLocal8Bit(argv[2]));
        return loop(std::atol(argv[3]),
                    [&](long n) { return store.writeAll(test::savedSettings(n % 2)); });
    }
    if (kind == "lyrics" && argc == 4)
        return loop(std::atol(argv[3]), [&](long n) {
            writeLyricsFile(argv[2], test::savedText("lyrics", n % 2));
            return true;
        });
    if (kind == "staging")
        return loop(std::atol(argv[2]), [&](long n) {
            writeStagingPage(test::savedText("staging", n % 2));
            return true;
        });
    if (kind == "log" && argc == 4) {
        const PlayLog log(argv[2]);
        return loop(std::atol(argv[3]), [&](long n) {
            log.append(test::logRecord(n));
            return true;
        });
    }
    return 2;
}
