#include "lyrics/LyricsFetchAll.h"

#include "files/PathName.h"

#include "files/BoundedCall.h"
#include "files/ReplaceFile.h"
#include "lyrics/EmbeddedLyrics.h"
#include "lyrics/LocalLyrics.h"
#include "lyrics/LyricsFile.h"
#include "lyrics/LyricsFileNames.h"
#include "lyrics/LyricsStore.h"
#include "lyrics/SongWords.h"
#include "lyrics/SourceLimits.h"
#include "web/HttpClient.h"

#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <sys/stat.h>

namespace larkspur {

namespace {

constexpr int kCancelCheckMs = 100;

bool exists(const std::string& path)
{
    std::error_code error;
    return std::filesystem::exists(path, error);
}

// Seconds to wait for a 429: its Retry-After when that is a number of seconds.
int retryAfterSeconds(const std::string& value)
{
    int seconds = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), seconds);
    if (value.empty() || ec != std::errc() || end != value.data() + value.size() || seconds < 0)
        return kDefaultRetryAfterS;
    return std::min(std::max(seconds, 1), kMaxRetryAfterS);
}

} // namespace

std::string fetchAllReport(const FetchAllCounts& c)
{
    std::string report =
        "Found synced: " + std::to_string(c.synced) + ", found plain: " + std::to_string(c.plain) +
        ", instrumental: " + std::to_string(c.instrumental) +
        ", not found: " + std::to_string(c.notFound) + ", failed: " + std::to_string(c.failed) +
        (c.refused > 0 ? ", refused: " + std::to_string(c.refused) : std::string()) + ".\n" +
        std::to_string(c.hadLyrics) + " of " + std::to_string(c.total) +
        " songs had lyrics already.";
    if (c.cancelled)
        report +=
            "\nCancelled after " + std::to_string(c.done) + " songs; what was found is saved.";
    if (c.notSongs > 0)
        report += "\n" + std::to_string(c.notSongs) +
                  " entries are not song files (a folder, a pipe or a device), the first: \"" +
                  c.firstNotSong + "\".";
    if (c.leftBehind) report += "\nThe song under way did not answer and was left.";
    if (!c.stopped.empty()) report += "\n" + c.stopped;
    return report;
}

struct LyricsFetchAll::Run
{
    void run();
    void fetchSong(const std::string& song, LyricsDatabase& db, int& failuresInARow);
    bool pause(int seconds);       // false when cancelled
    bool waitAsAsked(int seconds); // false when cancelled or the waits went past their bound
    bool failed(const std::string& song, const std::string& why, int& failuresInARow);
    void count(const std::string& song, FetchAllOutcome outcome, std::string detail);
    std::string save(const std::string& besideFile, const std::string& text);

    std::vector<std::string> m_songs;
    FetchAllSetup m_setup;
    std::atomic<bool> m_cancel = false;
    std::chrono::steady_clock::time_point m_cancelledAt;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    FetchAllCounts m_counts;
    int m_waitedS = 0; // the run's waits so far, as the database asked them
    // Held while `stepped` runs; `m_abandoned` set under it: no call once left behind.
    std::mutex m_stepping;
    bool m_abandoned = false;
};

LyricsFetchAll::LyricsFetchAll(std::vector<std::string> songs, FetchAllSetup setup)
    : m_run(std::make_shared<Run>())
{
    m_run->m_songs = std::move(songs);
    m_run->m_setup = std::move(setup);
    if (m_run->m_setup.store.empty()) m_run->m_setup.store = lyricsStoreFolder();
    m_run->m_counts.total = m_run->m_songs.size();
}

LyricsFetchAll::~LyricsFetchAll()
{
    cancel();
    wait();
}

void LyricsFetchAll::start()
{
    if (!m_thread.joinable()) m_thread = std::thread([run = m_run] { run->run(); });
}

void LyricsFetchAll::cancel()
{
    {
        std::lock_guard lock(m_run->m_mutex);
        if (!m_run->m_cancel) m_run->m_cancelledAt = std::chrono::steady_clock::now();
        m_run->m_cancel = true;
    }
    m_run->m_wake.notify_all();
}

void LyricsFetchAll::wait()
{
    if (!m_thread.joinable()) return;
    std::unique_lock lock(m_run->m_mutex);
    const auto ended = [this] { return m_run->m_counts.finished; };
    m_run->m_wake.wait(lock, [&] { return ended() || m_run->m_cancel; });
    if (m_run->m_wake.wait_until(
            lock, m_run->m_cancelledAt + std::chrono::milliseconds(kCancelLimitMs), ended)) {
        lock.unlock();
        m_thread.join();
        return;
    }
    lock.unlock();
    {
        std::lock_guard stepping(m_run->m_stepping);
        m_run->m_abandoned = true;
    }
    lock.lock();
    if (m_run->m_counts.finished) { // it ended meanwhile after all
        lock.unlock();
        m_thread.join();
        return;
    }
    m_run->m_counts.cancelled = m_run->m_counts.finished = m_run->m_counts.leftBehind = true;
    m_run->m_counts.waiting.clear();
    lock.unlock();
    m_thread.detach();
}

FetchAllCounts LyricsFetchAll::counts() const
{
    std::lock_guard lock(m_run->m_mutex);
    return m_run->m_counts;
}

void LyricsFetchAll::Run::run()
{
    {
        // The client's timers and sockets need this thread's own event dispatcher.
        QEventLoop loop;
        FetchLimits limits = HttpClient::defaultLimits();
        limits.bodyBytes = kFetchedLyricsMaxBytes;
        HttpClient http(limits);
        LyricsDatabase db(http, m_setup.host, FetchGroup::LyricsLibrary);
        // A cancel ends the waiting request rather than waiting for its answer.
        QTimer check;
        QObject::connect(&check, &QTimer::timeout, &check, [this, &db] {
            if (m_cancel) db.Cancel();
        });
        check.start(kCancelCheckMs);
        int failuresInARow = 0;
        for (const std::string& song : m_songs) {
            if (m_cancel) break;
            fetchSong(song, db, failuresInARow);
            if (failuresInARow >= kMaxServerFailures) break;
            std::lock_guard lock(m_mutex);
            if (!m_counts.stopped.empty()) break;
        }
    }
    std::lock_guard lock(m_mutex);
    if (m_counts.finished) return; // left behind: the counts were closed
    m_counts.cancelled = m_cancel && m_counts.stopped.empty() && m_counts.done < m_counts.total;
    m_counts.waiting.clear();
    m_counts.finished = true;
    m_wake.notify_all();
}

void LyricsFetchAll::Run::fetchSong(const std::string& song, LyricsDatabase& db,
                                    int& failuresInARow)
{
    // Only a regular file (or a link to one) is a song: a FIFO would block the measuring,
    // a device or a folder would get lyrics files named after it.
    struct stat st
    {
    };
    if (::stat(song.c_str(), &st) != 0)
        return count(song, FetchAllOutcome::Failed, "the song file is missing");
    if (!S_ISREG(st.st_mode)) return count(song, FetchAllOutcome::NotASong, "not a song file");
    const std::string lyr = lyricsFileFor(song), lrc = lrcFileFor(song);
    const std::string& store = m_setup.store;
    for (const std::string& file :
         {lyricsFileToRead(song), lrc, lyricsFileToRead(song, store), storedLyricsFile(store, lrc)})
        // A link in the store leads out of it: as good as no file.
        if (exists(file) && linkInStore(store, file).empty())
            return count(song, FetchAllOutcome::HadLyrics, file);
    const auto tags = readEmbeddedLyrics(song);
    if (tagLyrics(tags)) return count(song, FetchAllOutcome::HadLyrics, "tags");

    DatabaseSong asked = songNamesFor(tags, fileNameOf(song), m_setup.splitter);
    if (asked.title.empty()) return count(song, FetchAllOutcome::NotFound, "no title to ask");
    try {
        // A measurement that blocks (an open() that never returns) must not hold the run.
        if (m_setup.songLengthMs)
            if (const auto ms = callWithin<long long>(
                    std::chrono::milliseconds(kSongLengthLimitMs),
                    [measure = m_setup.songLengthMs, song] { return measure(song); }, &m_cancel);
                ms && *ms > 0)
                asked.durationMs = *ms;
    } catch (const std::exception&) {
        // asked without a length, as at a song start
    }
    if (m_cancel) return;
    for (int waits = 0;;) {
        const auto answer = db.Lookup(asked);
        if (!answer || m_cancel) return; // cancelled: the song stays as it was
        if (answer->failed && answer->status == 429) {
            const bool givenUp = ++waits == kMaxWaitsInARow;
            if (givenUp && failed(song,
                                  "lyrics database: asked to wait " +
                                      std::to_string(kMaxWaitsInARow) + " times in a row",
                                  failuresInARow))
                return;
            // The next song is asked only after the wait too.
            if (!waitAsAsked(retryAfterSeconds(answer->retryAfter)) || givenUp) return;
            continue;
        }
        if (answer->refused) {
            failuresInARow = 0; // the database answered
            return count(song, FetchAllOutcome::Refused, answer->why);
        }
        if (answer->failed) {
            failed(song, answer->why, failuresInARow);
            return;
        }
        failuresInARow = 0;
        switch (answer->kind) {
        case DatabaseLyricsKind::Synced:
        case DatabaseLyricsKind::Plain: {
            const bool synced = answer->kind == DatabaseLyricsKind::Synced;
            try {
                const std::string text = withCrLf(answer->text);
                if (text.size() > kFetchedLyricsMaxBytes)
                    throw LyricsFileError("the lyrics are larger than " +
                                          limitText(kFetchedLyricsMaxBytes) + "; not saved");
                const std::string saved = save(synced ? lrc : lyr, text);
                count(song, synced ? FetchAllOutcome::Synced : FetchAllOutcome::Plain, saved);
            } catch (const LyricsFileError& e) {
                count(song, FetchAllOutcome::Failed, e.what());
            }
            return;
        }
        case DatabaseLyricsKind::Instrumental:
            return count(song, FetchAllOutcome::Instrumental, {});
        case DatabaseLyricsKind::Nothing:
            return count(song, FetchAllOutcome::NotFound, answer->why);
        }
        return;
    }
}

std::string LyricsFetchAll::Run::save(const std::string& besideFile, const std::string& text)
{
    return saveBesideOrInStore(m_setup.store, besideFile, text);
}

bool LyricsFetchAll::Run::failed(const std::string& song, const std::string& why, int& failuresInARow)
{
    count(song, FetchAllOutcome::Failed, why);
    if (++failuresInARow < kMaxServerFailures) return false;
    std::lock_guard lock(m_mutex);
    m_counts.stopped = "Stopped after " + std::to_string(kMaxServerFailures) +
                       " failed requests in a row; the last: " + why;
    return true;
}

bool LyricsFetchAll::Run::waitAsAsked(int seconds)
{
    if (m_waitedS + seconds > kMaxWaitedS) {
        std::lock_guard lock(m_mutex);
        m_counts.stopped = "Stopped: the lyrics database asked to wait more than " +
                           std::to_string(kMaxWaitedS / 60) + " minutes in all.";
        return false;
    }
    m_waitedS += seconds;
    {
        std::lock_guard lock(m_mutex);
        m_counts.waiting = "The lyrics database asked to wait " + std::to_string(seconds) + " s.";
    }
    if (m_setup.waiting) m_setup.waiting(seconds);
    return pause(seconds);
}

bool LyricsFetchAll::Run::pause(int seconds)
{
    std::unique_lock lock(m_mutex);
    const bool cancelled =
        m_wake.wait_for(lock, seconds * m_setup.second, [this] { return m_cancel.load(); });
    m_counts.waiting.clear();
    return !cancelled;
}

void LyricsFetchAll::Run::count(const std::string& song, FetchAllOutcome outcome,
                                std::string detail)
{
    {
        std::lock_guard lock(m_mutex);
        ++m_counts.done;
        switch (outcome) {
        case FetchAllOutcome::HadLyrics:
            ++m_counts.hadLyrics;
            break;
        case FetchAllOutcome::Synced:
            ++m_counts.synced;
            break;
        case FetchAllOutcome::Plain:
            ++m_counts.plain;
            break;
        case FetchAllOutcome::Instrumental:
            ++m_counts.instrumental;
            break;
        case FetchAllOutcome::NotFound:
            ++m_counts.notFound;
            break;
        case FetchAllOutcome::Failed:
            ++m_counts.failed;
            break;
        case FetchAllOutcome::Refused:
            ++m_counts.refused;
            break;
        case FetchAllOutcome::NotASong:
            if (m_counts.notSongs++ == 0) m_counts.firstNotSong = song;
            break;
        }
    }
    std::lock_guard stepping(m_stepping);
    if (m_setup.stepped && !m_abandoned)
        m_setup.stepped(FetchAllStep{song, outcome, std::move(detail)});
}

} // namespace larkspur
