#pragma once
// Lyrics for a whole song list from the lyrics database, on a thread of its own. Every song
// without lyrics of its own (a .lyr or .lrc file beside it or in the lyrics store, lyrics in
// its tags) is asked about as at a song start (names from the tags or the file name, the
// length when it can be measured), one request at a time, and what the database gives is
// saved beside the song: .lrc for timed lyrics, .lyr for plain ones; in the lyrics store when
// the song's folder takes no file. Instrumental records are counted, not saved. A second run
// skips what the first one saved.
//
// Only regular files are songs: a FIFO, a device or a folder in the list is "not a song
// file", never measured, asked about or written beside. Lyrics over kFetchedLyricsMaxBytes
// are refused, and each answer is read only up to that size.
//
// The database's pace is kept: a 429 answer waits as long as its Retry-After says and asks
// again, kMaxWaitsInARow times for one song before that song counts as failed;
// kMaxServerFailures failed songs in a row (no answer, a 5xx, or waits) end the run, and so
// do waits adding up to more than kMaxWaitedS, saying why. A refused song is the song's own
// matter: the run goes on.

#include "lyrics/LyricsDatabase.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace larkspur {

inline constexpr int kMaxServerFailures = 3;
// A 429 without a Retry-After in seconds waits this long; a longer one is cut to the limit.
inline constexpr int kDefaultRetryAfterS = 30;
inline constexpr int kMaxRetryAfterS = 900;
// A server that keeps asking to wait is failing all the same.
inline constexpr int kMaxWaitsInARow = 5;
inline constexpr int kMaxWaitedS = 30 * 60;

// A cancelled run's thread that has not ended this long after the cancel is left behind, so
// that a cancel, and the program's exit, end within a second.
inline constexpr int kCancelLimitMs = 750;
// Measuring one song's length may take this long; the song is then asked about without it.
inline constexpr int kSongLengthLimitMs = 10000;

// Refused: the database turned down that song's request (a 4xx but 404 and 429), saying why.
enum class FetchAllOutcome {
    HadLyrics,
    Synced,
    Plain,
    Instrumental,
    NotFound,
    Failed,
    Refused,
    NotASong
};

// How far a run is.
struct FetchAllCounts
{
    std::size_t total = 0;
    std::size_t done = 0; // songs dealt with, those that had lyrics included
    std::size_t hadLyrics = 0, synced = 0, plain = 0, instrumental = 0, notFound = 0, failed = 0,
                refused = 0;
    std::size_t notSongs = 0; // entries that are not song files
    std::string firstNotSong; // the first of them
    std::string waiting;      // while the database asked to wait: one line saying so
    std::string stopped;      // why the run ended before the last song; empty otherwise
    bool cancelled = false;
    bool finished = false;   // the thread is done, or was left behind
    bool leftBehind = false; // a cancelled thread that did not end in time
};

// The run's end in a few lines for the user: found synced, found plain, instrumental, not
// found, failed, the entries that are not song files, and why it stopped early, if it did.
std::string fetchAllReport(const FetchAllCounts& counts);

// One song dealt with.
struct FetchAllStep
{
    const std::string& song;
    FetchAllOutcome outcome;
    std::string detail; // the file saved, or why nothing was
};

struct FetchAllSetup
{
    std::string host = lyricsDatabaseHost();
    std::string splitter = "-"; // between artist and title in file names
    std::string store;          // empty: lyricsStoreFolder()
    // The song's length in ms; 0 or a throw when it cannot tell. Optional. Runs on a thread
    // of its own, given up after kSongLengthLimitMs or a cancel and then left behind: it must
    // own what it uses.
    std::function<long long(const std::string&)> songLengthMs;
    // Each song as it is dealt with, on the run's thread. Optional. Must return promptly: a
    // cancelled run that is left behind waits for a call under way, and makes no more.
    std::function<void(const FetchAllStep&)> stepped;
    // Each wait the database asks for, in seconds, as it starts; on the run's thread. Optional.
    std::function<void(int seconds)> waiting;
    // How long one second of those waits lasts; tests shorten it.
    std::chrono::milliseconds second{1000};
};

class LyricsFetchAll
{
  public:
    explicit LyricsFetchAll(std::vector<std::string> songs, FetchAllSetup setup = {});
    ~LyricsFetchAll(); // cancels and waits as wait() does
    LyricsFetchAll(const LyricsFetchAll&) = delete;
    LyricsFetchAll& operator=(const LyricsFetchAll&) = delete;

    // Starts the thread; once only. Needs a QCoreApplication: the thread runs its own
    // event loop for the fetches.
    void start();
    // From any thread, without waiting: the request under way is dropped; what was saved
    // stays.
    void cancel();
    // From the thread that started it. Returns when the thread is done; once cancelled, at
    // the latest kCancelLimitMs after the cancel: a thread still busy then (in a call that
    // cannot be interrupted) is left behind to end on its own, and the counts say so.
    void wait();
    // From any thread.
    FetchAllCounts counts() const;

  private:
    // What the thread uses: it outlives this object when the thread is left behind.
    struct Run;
    std::shared_ptr<Run> m_run;
    std::thread m_thread;
};

} // namespace larkspur
