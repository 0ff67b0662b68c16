#pragma once
// The open lyrics database (LRCLIB) as a lyrics source: one exact lookup by artist, title
// and length, and when the database has no such record, one search whose hits are matched
// by their length.
//
// Lives on the thread that made it: the interface thread, or a whole-list fetch's own. A
// fetch blocks in a nested event loop, so the next song's lookup may start while one waits:
// every lookup starts a new generation, and an answer for an older one is dropped.

#include "web/HttpFetcher.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace larkspur {

// Who we are, as the database asks its clients to say.
inline constexpr std::string_view kLyricsDatabaseUserAgent =
    "Larkspur/0.1 (https://github.com/larkspur-player/larkspur)";

// The song to look up. Text in UTF-8.
struct DatabaseSong
{
    std::string artist;
    std::string title;
    std::optional<long long> durationMs; // nothing when the length is not known
    std::string album{};      // from the tags; never sent with a lookup, which it would narrow
    unsigned trackNumber = 0; // from the tags, for the desktop's media controls; never sent
};

enum class DatabaseLyricsKind { Nothing, Synced, Plain, Instrumental };

struct DatabaseLyrics
{
    DatabaseLyricsKind kind = DatabaseLyricsKind::Nothing;
    std::string text;    // LRC for Synced, "[Instrumental]" for Instrumental, empty for Nothing
    std::string why;     // for Nothing: one line saying why, for a command-line tool
    bool failed = false; // for Nothing: the database could not be asked (not "no such song")
    int status = 0;      // for failed: the refused answer's status code, 0 when none came
    // For failed: a 4xx other than 404 and 429, the database's word on this song's request,
    // not on the database; `why` holds its own message.
    bool refused = false;
    std::string retryAfter{}; // for failed: the refused answer's "Retry-After", as it came
};

// One record as the database answers it, from the web or from a local copy.
struct DatabaseRecord
{
    bool instrumental = false;
    std::string synced;
    std::string plain;
    std::optional<double> durationSeconds;
};

// The record's lyrics: instrumental, else synced, else plain, else nothing.
DatabaseLyrics databaseLyricsFromRecord(const DatabaseRecord& record);
// Of a search's hits (at least one), the one nearest the song's length within 2 s; the
// first when the length is not known.
DatabaseLyrics databaseLyricsFromHits(const std::vector<DatabaseRecord>& hits,
                                      std::optional<long long> lengthMs);

// The database's scheme and host (and port): LARKSPUR_LYRICS_DB_URL when set, else the
// built-in one. No trailing slash.
std::string lyricsDatabaseHost();

// "/api/get?artist_name=..&track_name=..&duration=.." (duration in whole seconds, left out
// when unknown or outside the database's 1-3600) and "/api/search?track_name=..&artist_name=.."
// (artist_name left out when empty), values percent-encoded as UTF-8 (everything but
// letters, digits and "-._~"). The database refuses an exact lookup without an artist or
// over an hour long: such songs are only searched for (lyricsDatabaseGetAccepts).
std::string lyricsDatabaseGetUrl(std::string_view host, const DatabaseSong& song);
std::string lyricsDatabaseSearchUrl(std::string_view host, const DatabaseSong& song);
bool lyricsDatabaseGetAccepts(const DatabaseSong& song);

class LyricsDatabase
{
  public:
    // `http` is not owned and must outlive every lookup. Fetches go in `group`, which Cancel
    // ends: each user of the database (the playing song, a whole library) has its own.
    explicit LyricsDatabase(HttpFetcher& http, std::string host = lyricsDatabaseHost(),
                            FetchGroup group = FetchGroup::LyricsDatabase);
    ~LyricsDatabase(); // a lookup still waiting returns nothing
    LyricsDatabase(const LyricsDatabase&) = delete;
    LyricsDatabase& operator=(const LyricsDatabase&) = delete;

    // The song's lyrics. Nothing (no value) when a newer lookup started, Cancel was called
    // or this object was destroyed while it waited: the answer belongs to an older song.
    std::optional<DatabaseLyrics> Lookup(const DatabaseSong& song);
    // Drops the lookup under way and ends its waiting fetches.
    void Cancel();

    std::uint64_t generation() const { return *m_generation; }

  private:
    HttpFetcher& m_http;
    std::string m_host;
    FetchGroup m_group;
    // Shared with a waiting lookup, which outlives this object when a handler destroys it.
    std::shared_ptr<std::uint64_t> m_generation = std::make_shared<std::uint64_t>(0);
};

} // namespace larkspur
