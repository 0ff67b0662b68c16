#include "lyrics/LocalLyricsDatabase.h"

#include <QFileInfo>
#include <QString>
#include <QUrl>

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <memory>
#include <set>
#include <vector>

namespace larkspur {

namespace {

// SQLite's page cache, in KiB (a negative cache_size): a dump is gigabytes, the player small.
constexpr int kCacheKiB = 4096;

struct Column
{
    const char* table;
    std::vector<const char*> names;
};

// What the queries below read; newer dumps may hold more.
const std::array<Column, 3> kColumns{{
    {"tracks",
     {"id", "name_lower", "artist_name_lower", "album_name_lower", "duration", "last_lyrics_id"}},
    {"lyrics", {"id", "instrumental", "plain_lyrics", "synced_lyrics"}},
    {"tracks_fts", {"name_lower", "artist_name_lower", "album_name_lower"}},
}};

constexpr const char* kRecordColumns =
    "tracks.duration, lyrics.instrumental, lyrics.plain_lyrics, lyrics.synced_lyrics";

struct StatementDeleter
{
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

// A reason from the rules shared with the web source, told as this source's.
DatabaseLyrics ours(DatabaseLyrics found)
{
    constexpr std::string_view web = "lyrics database: ";
    if (found.kind == DatabaseLyricsKind::Nothing && found.why.starts_with(web))
        found.why = "local " + found.why;
    return found;
}

DatabaseLyrics nothing(std::string why, bool failed = false)
{
    DatabaseLyrics n;
    n.why = "local lyrics database: " + std::move(why);
    n.failed = failed;
    return n;
}

std::string text(sqlite3_stmt* s, int column)
{
    const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(s, column));
    return t ? std::string(t, static_cast<std::size_t>(sqlite3_column_bytes(s, column)))
             : std::string();
}

DatabaseRecord recordAt(sqlite3_stmt* s)
{
    DatabaseRecord r;
    if (sqlite3_column_type(s, 0) != SQLITE_NULL) r.durationSeconds = sqlite3_column_double(s, 0);
    r.instrumental = sqlite3_column_int(s, 1) != 0;
    r.plain = text(s, 2);
    r.synced = text(s, 3);
    return r;
}

// Runs `sql` with text and number arguments; each row goes to `row`. SQLite's error or empty.
template <typename Row>
std::string run(sqlite3* db, const std::string& sql, const std::vector<std::string>& texts,
                const std::vector<double>& numbers, Row&& row)
{
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
        return sqlite3_errmsg(db);
    Statement s(raw);
    int at = 1;
    for (const std::string& t : texts)
        sqlite3_bind_text(raw, at++, t.data(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
    for (const double n : numbers)
        sqlite3_bind_double(raw, at++, n);
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW)
        if (!row(raw)) return {};
    if (rc != SQLITE_DONE) return sqlite3_errmsg(db);
    return {};
}

std::string missingColumns(sqlite3* db, std::string& failure)
{
    std::string missing;
    for (const Column& c : kColumns) {
        std::set<std::string> have;
        failure = run(db, std::string("PRAGMA table_info(") + c.table + ")", {}, {},
                      [&have](sqlite3_stmt* s) {
                          have.insert(text(s, 1));
                          return true;
                      });
        if (!failure.empty()) return {};
        const auto add = [&missing](const std::string& what) {
            missing += (missing.empty() ? "" : ", ") + what;
        };
        if (have.empty())
            add(std::string("a table ") + c.table);
        else
            for (const char* name : c.names)
                if (!have.count(name)) add(std::string(c.table) + "." + name);
    }
    return missing;
}

} // namespace

std::string lyricsDatabaseName(std::string_view name)
{
    // Accents fold as the decomposed letter without its marks.
    const QString decomposed = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()))
                                   .toLower()
                                   .normalized(QString::NormalizationForm_D);
    static const QString spaced = QStringLiteral("`~!@#$%^&*()_|+-=?;:\",.<>{}[]\\/");
    QString out;
    out.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        if (c.category() == QChar::Mark_NonSpacing) continue;
        if (c == u'\'' || c == u'\u2019') continue;
        out += spaced.contains(c) ? QChar(u' ') : c;
    }
    return out.toLower().simplified().toStdString();
}

LocalLyricsDatabase::LocalLyricsDatabase(const std::string& path)
{
    const QString absolute = QFileInfo(QString::fromStdString(path)).absoluteFilePath();
    // Immutable: the dump is never changed under us, so SQLite takes no locks and reads no
    // journal, and a folder we may not write is fine.
    const std::string uri =
        QUrl::fromLocalFile(absolute).toEncoded().toStdString() + "?immutable=1";
    sqlite3* db = nullptr;
    const int rc =
        sqlite3_open_v2(uri.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
    if (rc != SQLITE_OK) {
        m_error = "cannot open " + path + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        sqlite3_close(db);
        return;
    }
    std::string failure = run(db, "PRAGMA cache_size = -" + std::to_string(kCacheKiB), {}, {},
                              [](sqlite3_stmt*) { return true; });
    std::string missing;
    if (failure.empty()) missing = missingColumns(db, failure);
    if (!failure.empty()) {
        m_error = "cannot read " + path + ": " + failure;
    } else if (!missing.empty()) {
        m_error = path + " is not a lyrics database dump: it lacks " + missing;
    } else {
        m_db = db;
        return;
    }
    sqlite3_close(db);
}

LocalLyricsDatabase::~LocalLyricsDatabase()
{
    sqlite3_close(m_db);
}

DatabaseLyrics LocalLyricsDatabase::Lookup(const DatabaseSong& song, std::string_view album)
{
    if (!m_db) return nothing(m_error, true);
    const std::string title = lyricsDatabaseName(song.title);
    const std::string artist = lyricsDatabaseName(song.artist);
    const std::string albumName = lyricsDatabaseName(album);
    // The server refuses a lookup whose names prepare to nothing.
    if (title.empty() || artist.empty()) return nothing("no such song");
    const std::optional<long long> lengthMs =
        song.durationMs && *song.durationMs > 0 ? song.durationMs : std::nullopt;

    // The exact lookup: the length in whole seconds, as the web client sends it.
    std::string sql = std::string("SELECT ") + kRecordColumns +
                      " FROM tracks LEFT JOIN lyrics ON tracks.last_lyrics_id = lyrics.id"
                      " WHERE tracks.name_lower = ? AND tracks.artist_name_lower = ?";
    std::vector<std::string> texts{title, artist};
    if (!albumName.empty()) {
        sql += " AND tracks.album_name_lower = ?";
        texts.push_back(albumName);
    }
    std::vector<double> numbers;
    if (lengthMs) {
        const double seconds = static_cast<double>((*lengthMs + 500) / 1000);
        sql += " AND tracks.duration >= ? AND tracks.duration <= ?";
        numbers = {seconds - 2.0, seconds + 2.0};
    }
    sql += " ORDER BY tracks.id LIMIT 1";
    std::optional<DatabaseRecord> exact;
    std::string failure = run(m_db, sql, texts, numbers, [&exact](sqlite3_stmt* s) {
        exact = recordAt(s);
        return false;
    });
    if (!failure.empty()) return nothing(failure, true);
    if (exact) return ours(databaseLyricsFromRecord(*exact));

    // The search as the server runs it for a title and an artist: the title a phrase, the
    // artist's words loose, ranked, twenty hits at most.
    const std::string match =
        "(name_lower : \"" + title + "\")AND (artist_name_lower : " + artist + ")";
    std::vector<DatabaseRecord> hits;
    failure = run(m_db,
                  std::string("SELECT ") + kRecordColumns +
                      " FROM (SELECT rowid FROM tracks_fts WHERE tracks_fts MATCH ?"
                      " ORDER BY rank LIMIT 20) AS hits"
                      " LEFT JOIN tracks ON hits.rowid = tracks.id"
                      " LEFT JOIN lyrics ON tracks.last_lyrics_id = lyrics.id",
                  {match}, {}, [&hits](sqlite3_stmt* s) {
                      hits.push_back(recordAt(s));
                      return true;
                  });
    if (!failure.empty()) return nothing(failure, true);
    if (hits.empty()) return nothing("no such song");
    return ours(databaseLyricsFromHits(hits, lengthMs));
}

} // namespace larkspur
