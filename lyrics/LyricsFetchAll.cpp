#include "lyrics/LyricsFetchAll.h"

#include "files/PathName.h"

#include "files/ReplaceFile.h"
#include "lyrics/EmbeddedLyrics.h"
#include "lyrics/LocalLyrics.h"
#include "lyrics/LyricsFile.h"
#include "lyrics/LyricsStore.h"
#include "lyrics/SongWords.h"
#include "web/HttpClient.h"

#include <QEventLoop>
#include <QTimer>

#include <charconv>
#include <chrono>
#include <filesystem>

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
        ".\n" + std::to_string(c.hadLyrics) + " of " + std::to_string(c.total) +
        " songs had lyrics already.";
    if (c.cancelled)
        report +=
            "\nCancelled after " + std::to_string(c.done) + " songs; what was found is saved.";
    if (!c.stopped.empty()) report += "\n" + c.stopped;
    return report;
}

LyricsFetchAll::LyricsFetchAll(std::vector<std::string> songs, FetchAllSetup setup)
    : m_songs(std::move(songs)), m_setup(std::move(setup))
{
    if (m_setup.store.empty()) m_setup.store = lyricsStoreFolder();
    m_counts.total = m_songs.size();
}

LyricsFetchAll::~LyricsFetchAll()
{
    cancel();
    wait();
}

void LyricsFetchAll::start()
{
    if (!m_thread.joinable()) m_thread = std::thread([this] { run(); });
}

void LyricsFetchAll::cancel()
{
    {
        std::lock_guard lock(m_mutex);
        m_cancel = true;
    }
    m_wake.notify_all();
}

void LyricsFetchAll::wait()
{
    if (m_thread.joinable()) m_thread.join();
}

FetchAllCounts LyricsFetchAll::counts() const
{
    std::lock_guard lock(m_mutex);
    return m_counts;
}

void LyricsFetchAll::run()
{
    {
        // The client's timers and sockets need this thread's own event dispatcher.
        QEventLoop loop;
        HttpClient http;
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
            if (failuresInARow >= kMaxServerFailures || !counts().stopped.empty()) break;
        }
    }
    std::lock_guard lock(m_mutex);
    m_counts.cancelled = m_cancel && m_counts.stopped.empty() && m_counts.done < m_counts.total;
    m_counts.waiting.clear();
    m_counts.finished = true;
}

void LyricsFetchAll::fetchSong(const std::string& song, LyricsDatabase& db, int& failuresInARow)
{
    if (!exists(song)) return count(song, FetchAllOutcome::Failed, "the song file is missing");
    const std::string lyr = lyricsFileFor(song), lrc = lrcFileFor(song);
    for (const std::string& file :
         {lyr, lrc, storedLyricsFile(m_setup.store, lyr), storedLyricsFile(m_setup.store, lrc)})
        if (exists(file)) return count(song, FetchAllOutcome::HadLyrics, file);
    const auto tags = readEmbeddedLyrics(song);
    if (tagLyrics(tags)) return count(song, FetchAllOutcome::HadLyrics, "tags");

    DatabaseSong asked = songNamesFor(tags, fileNameOf(song), m_setup.splitter);
    if (asked.title.empty()) return count(song, FetchAllOutcome::NotFound, "no title to ask");
    try {
        if (m_setup.songLengthMs)
            if (const long long ms = m_setup.songLengthMs(song); ms > 0) asked.durationMs = ms;
    } catch (const std::exception&) {
        // asked without a length, as at a song start
    }
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
                const std::string saved = save(synced ? lrc : lyr, withCrLf(answer->text));
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

std::string LyricsFetchAll::save(const std::string& besideFile, const std::string& text)
{
    try {
        writeLyricsFile(besideFile, text);
        return besideFile;
    } catch (const LyricsFileError& beside) {
        const std::string stored = storedLyricsFile(m_setup.store, besideFile);
        if (!makeFolders(folderOf(stored)))
            throw LyricsFileError(std::string(beside.what()) + "; nor could the folder \"" +
                                  folderOf(stored) + "\" be made");
        writeLyricsFile(stored, text);
        return stored;
    }
}

bool LyricsFetchAll::failed(const std::string& song, const std::string& why, int& failuresInARow)
{
    count(song, FetchAllOutcome::Failed, why);
    if (++failuresInARow < kMaxServerFailures) return false;
    std::lock_guard lock(m_mutex);
    m_counts.stopped = "Stopped after " + std::to_string(kMaxServerFailures) +
                       " failed requests in a row; the last: " + why;
    return true;
}

bool LyricsFetchAll::waitAsAsked(int seconds)
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

bool LyricsFetchAll::pause(int seconds)
{
    std::unique_lock lock(m_mutex);
    const bool cancelled =
        m_wake.wait_for(lock, seconds * m_setup.second, [this] { return m_cancel.load(); });
    m_counts.waiting.clear();
    return !cancelled;
}

void LyricsFetchAll::count(const std::string& song, FetchAllOutcome outcome, std::string detail)
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
        }
    }
    if (m_setup.stepped) m_setup.stepped(FetchAllStep{song, outcome, std::move(detail)});
}

} // namespace larkspur
