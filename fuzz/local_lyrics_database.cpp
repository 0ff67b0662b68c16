// The lyrics database's dump read from a local file: opening a damaged dump, and lookups with
// any names in a sound one. Input: a first byte choosing which; for a damaged dump, two bytes
// of offset and the bytes written there over a small dump with the server's schema; for a
// lookup, title, artist and album separated by NUL bytes.

#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzFiles.h"
#include "lyrics/LocalLyricsDatabase.h"

#include <sqlite3.h>

#include <fstream>
#include <iterator>
#include <string>

using namespace larkspur;

namespace {

const std::string& soundDump()
{
    static const std::string path = [] {
        const std::string p = (fuzz::scratch() / "sound.sqlite3").string();
        sqlite3* db = nullptr;
        sqlite3_open(p.c_str(), &db);
        const int rc = sqlite3_exec(db, R"(
CREATE TABLE tracks (id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT, name_lower TEXT,
  artist_name TEXT, artist_name_lower TEXT, album_name TEXT, album_name_lower TEXT,
  duration FLOAT, last_lyrics_id INTEGER, created_at DATETIME, updated_at DATETIME);
CREATE TABLE lyrics (id INTEGER PRIMARY KEY AUTOINCREMENT, plain_lyrics TEXT, synced_lyrics TEXT,
  track_id INTEGER, has_plain_lyrics BOOLEAN, has_synced_lyrics BOOLEAN, instrumental BOOLEAN,
  source TEXT, created_at DATETIME, updated_at DATETIME);
CREATE VIRTUAL TABLE tracks_fts USING fts5(name_lower, album_name_lower, artist_name_lower,
  content='tracks', content_rowid='id');
INSERT INTO tracks (name_lower, artist_name_lower, album_name_lower, duration, last_lyrics_id)
  VALUES ('a b', 'c', 'd', 200, 1), ('a b', 'c', 'e', 201, 2), ('x', 'y', 'z', 90, 3);
INSERT INTO tracks_fts (rowid, name_lower, album_name_lower, artist_name_lower)
  SELECT id, name_lower, album_name_lower, artist_name_lower FROM tracks;
INSERT INTO lyrics (synced_lyrics, plain_lyrics, instrumental)
  VALUES ('[00:01.00]a', 'a', 0), (NULL, 'b', 0), (NULL, NULL, 1);
CREATE INDEX idx_tracks_name_lower ON tracks (name_lower);
)",
                                    nullptr, nullptr, nullptr);
        sqlite3_close(db);
        if (rc != SQLITE_OK) std::abort();
        return p;
    }();
    return path;
}

void checkAnswer(const DatabaseLyrics& got)
{
    FUZZ_CHECK((got.kind == DatabaseLyricsKind::Nothing) == got.text.empty());
    if (got.kind == DatabaseLyricsKind::Nothing)
        FUZZ_CHECK(got.why.starts_with("local lyrics database: "));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3) return 0;
    const std::string_view rest = fuzz::bytesOf(data + 1, size - 1);
    if (data[0] & 1) {
        LocalLyricsDatabase db(soundDump());
        FUZZ_CHECK(db.isOpen());
        const std::size_t first = rest.find('\0');
        const std::size_t second = rest.find('\0', first == rest.npos ? rest.size() : first + 1);
        const std::string title(rest.substr(0, first));
        const std::string artist(first == rest.npos ? ""
                                                    : rest.substr(first + 1, second - first - 1));
        const std::string album(second == rest.npos ? "" : rest.substr(second + 1));
        const DatabaseLyrics got = db.Lookup({artist, title, (data[0] >> 1) * 2000}, album);
        checkAnswer(got);
        // A sound dump fails only where the server's own search refuses the names.
        FUZZ_CHECK(!got.failed || got.why.find("fts5") != std::string::npos);
        FUZZ_CHECK(lyricsDatabaseName(lyricsDatabaseName(title)) == lyricsDatabaseName(title));
        return 0;
    }
    std::ifstream in(soundDump(), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t at = (std::size_t(data[1]) << 8 | data[2]) * 7 % bytes.size();
    const std::string_view patch = rest.substr(2);
    bytes.replace(at, std::min(patch.size(), bytes.size() - at),
                  patch.substr(0, bytes.size() - at));
    if (data[0] & 2) bytes.resize(at); // a dump cut short
    const auto damaged = fuzz::scratch() / "damaged.sqlite3";
    fuzz::writeFile(damaged, bytes);
    LocalLyricsDatabase db(damaged.string());
    FUZZ_CHECK(db.isOpen() || !db.error().empty());
    checkAnswer(db.Lookup({"c", "a b", 200000}, "d"));
    checkAnswer(db.Lookup({"y", "Q", 90000}));
    return 0;
}
