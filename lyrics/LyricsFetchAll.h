#pragma once
// Lyrics for a whole song list from the lyrics database, on a thread of its own. Every song
// without lyrics of its own (a .lyr or .lrc file beside it or in the lyrics store, lyrics in
// its tags) is asked about as at a song start (names from the tags or the file name, the
// length when it can be measured), one request at a time, and what the database gives is
// saved beside the song: .lrc for timed lyrics, .lyr for plain ones; in the lyrics store when
// the song's folder takes no file. Instrumental records are counted, not saved. A second run
// skips what the first one saved.
//
// The database's pace is kept: a 429 answer waits as long as its Retry-After says and asks
// again, kMaxWaitsInARow times for one song before that song counts as failed;
// kMaxServerFailures failed songs in a row end the run, and so do waits adding up to more
// than kMaxWaitedS, saying why.

#include "lyrics/LyricsDatabase.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
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

enum class FetchAllOutcome { HadLyrics, Synced, Plain, Instrumental, NotFound, Failed };

// How far a run is.
struct FetchAllCounts
{
    std::size_t total = 0;
    std::size_t done = 0; // songs dealt with, those that had lyrics included
    std::size_t hadLyrics = 0, synced = 0, plain = 0, instrumental = 0, notFound = 0, failed = 0;
    std::string waiting; // while the database asked to wait: one line saying so
    std::string stopped; // why the run ended before the last song; empty otherwise
    bool cancelled = false;
    bool finished = false; // the thread is done
};

// The run's end in a few lines for the user: found synced, found plain, instrumental, not
// found, failed, and why it stopped early, if it did.
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
    // The song's length in ms; 0 or a throw when it cannot tell. Optional. Runs on the
    // run's thread.
    std::function<long long(const std::string&)> songLengthMs;
    // Each song as it is dealt with, on the run's thread. Optional.
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
    ~LyricsFetchAll(); // cancels and waits for the thread
    LyricsFetchAll(const LyricsFetchAll&) = delete;
    LyricsFetchAll& operator=(const LyricsFetchAll&) = delete;

    // Starts the thread; once only. Needs a QCoreApplication: the thread runs its own
    // event loop for the fetches.
    void start();
    // From any thread: the request under way is dropped; what was saved stays.
    void cancel();
    // Returns when the thread is done.
    void wait();
    // From any thread.
    FetchAllCounts counts() const;

  private:
    void run();
    void fetchSong(const std::string& song, LyricsDatabase& db, int& failuresInARow);
    bool pause(int seconds);       // false when cancelled
    bool waitAsAsked(int seconds); // false when cancelled or the waits went past their bound
    bool failed(const std::string& song, const std::string& why, int& failuresInARow);
    void count(const std::string& song, FetchAllOutcome outcome, std::string detail);
    std::string save(const std::string& besideFile, const std::string& text);

    std::vector<std::string> m_songs;
    FetchAllSetup m_setup;
    std::thread m_thread;
    std::atomic<bool> m_cancel = false;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    FetchAllCounts m_counts;
    int m_waitedS = 0; // the run's waits so far, as the database asked them
};

} // namespace larkspur
