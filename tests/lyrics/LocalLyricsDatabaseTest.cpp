// The lyrics database's dump as a local source, over small dumps made here with real SQLite
// and the server's own schema; the "_lower" names are written as the server keeps them.

#include "lyrics/LocalLyricsDatabase.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QRandomGenerator>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

using namespace larkspur;
using larkspur::test::TempDir;

namespace {

constexpr const char* kSchema = R"(
CREATE TABLE tracks (id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT, name_lower TEXT,
  artist_name TEXT, artist_name_lower TEXT, album_name TEXT, album_name_lower TEXT,
  duration FLOAT, last_lyrics_id INTEGER, created_at DATETIME, updated_at DATETIME,
  source_url TEXT, UNIQUE(name_lower, artist_name_lower, album_name_lower, duration));
CREATE TABLE lyrics (id INTEGER PRIMARY KEY AUTOINCREMENT, plain_lyrics TEXT,
  synced_lyrics TEXT, track_id INTEGER, has_plain_lyrics BOOLEAN, has_synced_lyrics BOOLEAN,
  instrumental BOOLEAN, source TEXT, created_at DATETIME, updated_at DATETIME);
CREATE TABLE missing_tracks (id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT);
CREATE TRIGGER set_tracks_last_lyrics_id AFTER INSERT ON lyrics BEGIN
  UPDATE tracks SET last_lyrics_id = NEW.id WHERE tracks.id = NEW.track_id; END;
CREATE VIRTUAL TABLE tracks_fts USING fts5(name_lower, album_name_lower, artist_name_lower,
  content='tracks', content_rowid='id');
CREATE TRIGGER tracks_ai AFTER INSERT ON tracks BEGIN
  INSERT INTO tracks_fts (rowid, name_lower, album_name_lower, artist_name_lower)
  VALUES (new.id, new.name_lower, new.album_name_lower, new.artist_name_lower); END;
)";

// name, name_lower, artist, artist_lower, album, album_lower, duration; then its lyrics.
constexpr const char* kRows = R"(
INSERT INTO tracks (name, name_lower, artist_name, artist_name_lower, album_name,
  album_name_lower, duration) VALUES
 ('Bohemian Rhapsody', 'bohemian rhapsody', 'Queen', 'queen', 'A Night at the Opera',
  'a night at the opera', 354),
 ('Sound of Silence', 'sound of silence', 'Simon & Garfunkel', 'simon garfunkel', 'S', 's', 185),
 ('Déjà Vu', 'deja vu', 'Beyoncé', 'beyonce', 'B''Day', 'bday', 240),
 ('Don''t Stop Me Now', 'dont stop me now', 'Queen', 'queen', 'Jazz', 'jazz', 209),
 ('Don''t Stop Me Now', 'dont stop me now', 'Queen', 'queen', 'Live Killers', 'live killers', 230),
 ('Don''t Stop Me Now', 'dont stop me now', 'Queen', 'queen', 'Jazz (Deluxe)', 'jazz deluxe', 210),
 ('Orion', 'orion', 'Metallica', 'metallica', 'Master of Puppets', 'master of puppets', 507),
 ('Yesterday', 'yesterday', 'The Beatles', 'the beatles', 'Help!', 'help', 125),
 ('Hey Jude (Remastered 2015)', 'hey jude remastered 2015', 'The Beatles', 'the beatles', '1',
  '1', 431);
INSERT INTO lyrics (track_id, synced_lyrics, plain_lyrics, instrumental) VALUES
 (1, '[00:01.00]Is this the real life', 'Is this the real life', 0),
 (2, NULL, 'Hello darkness', 0), (3, '[00:02.00]Baby', 'Baby', 0), (4, '[00:00.50]Tonight', '', 0),
 (5, '[00:00.50]Live tonight', '', 0), (6, '[00:00.50]Deluxe', '', 0), (7, NULL, NULL, 1),
 (8, '[00:01.00]Yesterday', '', 0), (8, NULL, 'newer', 0), (9, '[00:03.00]Hey Jude', '', 0),
 (8, NULL, 'newest', 0);
UPDATE tracks SET last_lyrics_id = 8 WHERE id = 8; -- the track's record, not its newest
)";

void makeDump(const std::string& path, const char* sql)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, &error);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << (error ? error : "");
}

QByteArray bytes(const std::string& path)
{
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeBytes(const std::string& path, const QByteArray& data)
{
    QFile f(QString::fromStdString(path));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

} // namespace

TEST(LocalLyricsDatabase, AnswersAsTheServerMatches)
{
    TempDir dir;
    const std::string dump = dir.file("lrclib dump #1?%20.sqlite3");
    makeDump(dump, (std::string(kSchema) + kRows).c_str());
    const QByteArray before = bytes(dump);
    LocalLyricsDatabase db(dump);
    ASSERT_TRUE(db.isOpen()) << db.error();
    using K = DatabaseLyricsKind;
    struct Case
    {
        const char *title, *artist, *album;
        long long ms; // 0: length unknown
        K kind;
        const char* text;
    } cases[] = {
        {"Bohemian Rhapsody", "Queen", "", 354000, K::Synced, "[00:01.00]Is this the real life"},
        {"BOHEMIAN  rhapsody!", "queen", "", 355400, K::Synced, "[00:01.00]Is this the real life"},
        {"Bohemian Rhapsody", "Queen", "", 360000, K::Nothing, ""}, // search hit 6 s off
        {"Bohemian Rhapsody", "Queen", "Greatest Hits", 354000, K::Synced, "[00:01.00]Is this"},
        {"Sound of Silence", "Simon & Garfunkel", "", 185000, K::Plain, "Hello darkness"},
        {"Sound of Silence", "Simon and Garfunkel", "", 185000, K::Nothing, ""},
        {"Deja Vu", "Beyonce", "", 240000, K::Synced, "[00:02.00]Baby"},
        {"DÉJÀ VU", "BEYONCÉ", "B'Day", 242400, K::Synced, "[00:02.00]Baby"},
        {"Don\u2019t Stop Me Now", "Queen", "", 209500, K::Synced, "[00:00.50]Tonight"},
        {"Dont Stop Me Now", "Queen", "", 230000, K::Synced, "[00:00.50]Live tonight"},
        {"Don't Stop Me Now", "Queen", "Live Killers", 0, K::Synced, "[00:00.50]Live tonight"},
        {"Don't Stop Me Now", "Queen", "Jazz (Deluxe)", 0, K::Synced, "[00:00.50]Deluxe"},
        {"Don't Stop Me Now", "Queen", "", 0, K::Synced, "[00:00.50]Tonight"},
        {"Orion", "Metallica", "", 507000, K::Instrumental, "[Instrumental]"},
        {"Yesterday", "The Beatles", "", 125000, K::Synced, "[00:01.00]Yesterday"},
        {"Hey Jude (Remastered 2015)", "Beatles", "", 430000, K::Synced, "[00:03.00]Hey Jude"},
        {"Missing Song", "Nobody", "", 200000, K::Nothing, ""},
    };
    for (const Case& c : cases) {
        const DatabaseLyrics got =
            db.Lookup({c.artist, c.title, c.ms ? c.ms : std::optional<long long>()}, c.album);
        EXPECT_EQ(got.kind, c.kind) << c.title << " / " << c.artist << ": " << got.why;
        EXPECT_EQ(got.text.substr(0, std::string(c.text).size()), c.text) << c.title;
        EXPECT_FALSE(got.failed) << c.title;
        EXPECT_EQ(got.why.starts_with("local lyrics database: "), c.kind == K::Nothing) << got.why;
    }
    EXPECT_EQ(bytes(dump), before); // never written
}

TEST(LocalLyricsDatabase, RefusesWhatIsNotADumpWithAReason)
{
    TempDir dir;
    const std::string good = dir.file("good.sqlite3");
    makeDump(good, (std::string(kSchema) + kRows).c_str());
    QByteArray noise(8192, '\0');
    for (char& b : noise)
        b = static_cast<char>(QRandomGenerator::global()->bounded(256));
    writeBytes(dir.file("noise.sqlite3"), noise);
    writeBytes(dir.file("truncated.sqlite3"), bytes(good).left(bytes(good).size() / 2));
    makeDump(dir.file("foreign.sqlite3"),
             "CREATE TABLE tracks (id INTEGER, title TEXT); CREATE TABLE lyrics (id INTEGER);");
    const struct
    {
        std::string file, reason;
    } cases[] = {
        {"noise.sqlite3", sqlite3_errstr(SQLITE_NOTADB)},
        {"truncated.sqlite3", sqlite3_errstr(SQLITE_CORRUPT)},
        {"foreign.sqlite3", "lacks tracks.name_lower, tracks.artist_name_lower"},
        {"absent.sqlite3", sqlite3_errstr(SQLITE_CANTOPEN)},
    };
    for (const auto& c : cases) {
        LocalLyricsDatabase db(dir.file(c.file));
        EXPECT_FALSE(db.isOpen()) << c.file;
        EXPECT_NE(db.error().find(c.reason), std::string::npos) << c.file << ": " << db.error();
        const DatabaseLyrics got = db.Lookup({"Queen", "Bohemian Rhapsody", 354000});
        EXPECT_TRUE(got.kind == DatabaseLyricsKind::Nothing && got.failed) << c.file;
    }
}
