// Lyrics for a whole song list against a loopback server playing the lyrics database.

#include "lyrics/LyricsFetchAll.h"
#include "files/ReplaceFile.h"
#include "lyrics/EmbeddedLyrics.h"
#include "lyrics/LyricsCommand.h"
#include "lyrics/LyricsFileNames.h"
#include "lyrics/LyricsStore.h"
#include "lyrics/SongWords.h"
#include "support/FifoRescue.h"
#include "support/HttpPythonServer.h"
#include "support/TestFiles.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <sys/stat.h>

using namespace larkspur;
using namespace Qt::StringLiterals;
using larkspur::test::readFile;
using larkspur::test::TempDir;
using larkspur::test::writeFile;

namespace {

QJsonObject record(const char* artist, const char* title, const char* synced, const char* plain)
{
    return {{u"artistName"_s, QString::fromUtf8(artist)},
            {u"trackName"_s, QString::fromUtf8(title)},
            {u"duration"_s, 200},
            {u"instrumental"_s, !synced && !plain},
            {u"syncedLyrics"_s, synced ? QJsonValue(QString::fromUtf8(synced)) : QJsonValue()},
            {u"plainLyrics"_s, plain ? QJsonValue(QString::fromUtf8(plain)) : QJsonValue()}};
}

QJsonObject answer(int status, const QJsonObject& body, double delay = 0,
                   const QJsonObject& headers = {})
{
    return {{u"status"_s, status},
            {u"body"_s, QString::fromUtf8(QJsonDocument(body).toJson(QJsonDocument::Compact))},
            {u"delay"_s, delay},
            {u"headers"_s, headers}};
}

QString get(const char* artist, const char* title)
{
    return QStringLiteral("/api/get?artist_name=%1&track_name=%2&duration=200")
        .arg(QString::fromUtf8(artist), QString::fromUtf8(title));
}

} // namespace

TEST(LyricsFetchAll, SavesBesideElseInTheStoreKeepsThePaceAndStopsOnFailures)
{
    TempDir dir, db;
    test::HttpPythonServer server(
        QStringLiteral(LARKSPUR_SOURCE_DIR "/tests/support/LyricsDatabase.py"),
        {QString::fromStdString(db.path())});
    const std::string store = dir.file("store"), music = dir.file("music");
    std::filesystem::create_directories(music);
    const auto song = [&](const std::string& name) { return music + "/" + name + ".mp3"; };
    const std::vector<std::string> names = {"Alpha - One",  "Beta - Two", "Gamma - Three",
                                            "Delta - Four", "Eps - Five", "Zeta - Six",
                                            "Had - Lyr"};
    std::vector<std::string> songs;
    for (const std::string& name : names)
        writeFile(songs.emplace_back(song(name)), "not audio");
    writeFile(lyricsFileFor(song("Had - Lyr")), "Own words");
    // The folder takes no new .lyr for Beta: its saving file's place is taken.
    std::filesystem::create_directory(savingFile(lyricsFileFor(song("Beta - Two"))));
    const QJsonObject eps = record("Eps", "Five", "[00:01.00]after the wait", nullptr);
    QJsonObject routes{
        {u"records"_s, QJsonArray{record("Alpha", "One", "[00:01.00]one", "one"),
                                  record("Beta", "Two", nullptr, "plain two"),
                                  record("Gamma", "Three", nullptr, nullptr)}},
        {get("Eps", "Five"),
         QJsonArray{answer(429, {}, 0, {{u"Retry-After"_s, u"1"_s}}), answer(200, eps)}},
        {get("Zeta", "Six"), answer(200, record("Zeta", "Six", nullptr, "slow words"), 1.0)}};
    const auto serve = [&] {
        writeFile(db.file("routes.json"), QJsonDocument(routes).toJson().toStdString());
        writeFile(db.file("requests.log"), "");
    };
    const auto requests = [&] {
        std::vector<std::string> lines;
        std::istringstream in(readFile(db.file("requests.log")));
        for (std::string line; std::getline(in, line);) {
            EXPECT_NE(line.find("\tLarkspur/"), std::string::npos) << line;
            lines.push_back(line.substr(0, line.find('\t')));
        }
        return lines;
    };
    std::set<std::string> waits;
    const auto run = [&](const std::vector<std::string>& list, bool cancel = false) {
        FetchAllSetup setup;
        setup.host = server.url("");
        setup.store = store;
        setup.songLengthMs = [](const std::string&) { return 200'000LL; };
        LyricsFetchAll fetch(list, setup);
        fetch.start();
        if (cancel) {
            while (requests().empty())
                QTest::qWait(20);
            fetch.cancel();
        }
        while (!fetch.counts().finished) {
            if (const std::string w = fetch.counts().waiting; !w.empty()) waits.insert(w);
            QTest::qWait(20);
        }
        return fetch.counts();
    };

    serve();
    FetchAllCounts c = run(songs);
    EXPECT_TRUE(c.finished && !c.cancelled && c.stopped.empty()) << c.stopped;
    EXPECT_EQ(c.done, 7u);
    struct Count
    {
        std::size_t got, want;
        const char* what;
    } counts[] = {{c.synced, 2, "synced"},       {c.plain, 2, "plain"},
                  {c.instrumental, 1, "instr."}, {c.notFound, 1, "missing"},
                  {c.failed, 0, "failed"},       {c.hadLyrics, 1, "had"}};
    for (const Count& n : counts)
        EXPECT_EQ(n.got, n.want) << n.what;
    struct Saved
    {
        std::string path, text; // empty text: no such file
    } saved[] = {
        {lrcFileFor(song("Alpha - One")), "[00:01.00]one"},
        {lyricsFileFor(song("Alpha - One")), ""},
        {lyricsFileFor(song("Beta - Two")), ""},
        {store + lyricsFileFor(song("Beta - Two")), "plain two"},
        {lyricsFileFor(song("Gamma - Three")), ""},
        {lrcFileFor(song("Gamma - Three")), ""},
        {lrcFileFor(song("Eps - Five")), "[00:01.00]after the wait"},
        {lyricsFileFor(song("Zeta - Six")), "slow words"},
        {lyricsFileFor(song("Had - Lyr")), "Own words"},
    };
    for (const Saved& s : saved)
        EXPECT_EQ(std::filesystem::exists(s.path) ? readFile(s.path) : "", s.text) << s.path;
    EXPECT_EQ(waits, std::set<std::string>{"The lyrics database asked to wait 1 s."});
    std::vector<std::string> asked = requests();
    EXPECT_EQ(std::count(asked.begin(), asked.end(), get("Eps", "Five").toStdString()), 2);
    EXPECT_EQ(asked.size(), 8u); // Delta's miss searches too; Had is not asked

    // A second run asks only about what the first found nothing for.
    serve();
    c = run(songs);
    EXPECT_EQ(c.hadLyrics, 5u);
    asked = requests();
    EXPECT_EQ(asked.front(), get("Gamma", "Three").toStdString());
    EXPECT_EQ(asked.size(), 3u);

    // Failing answers: the run stops after a few in a row and says why.
    std::vector<std::string> failing;
    for (int i = 0; i < 6; ++i) {
        const std::string name = "Fail - N" + std::to_string(i);
        writeFile(failing.emplace_back(song(name)), "x");
        routes.insert(get("Fail", ("N" + std::to_string(i)).c_str()),
                      QJsonObject{{u"status"_s, 503}, {u"body"_s, u"busy"_s}});
    }
    serve();
    c = run(failing);
    EXPECT_EQ(c.failed, static_cast<std::size_t>(kMaxServerFailures));
    EXPECT_EQ(requests().size(), static_cast<std::size_t>(kMaxServerFailures));
    EXPECT_NE(c.stopped.find("503"), std::string::npos) << c.stopped;
    EXPECT_NE(fetchAllReport(c).find(c.stopped), std::string::npos);

    // Three refusals in a row go on to a song without an artist, searched for by its title.
    const std::vector<std::string> refusedSongs = {song("Odd - R0"), song("Odd - R1"), song("Odd - R2"), song("Lonely")};
    for (const std::string& name : refusedSongs) writeFile(name, "x");
    for (const char* r : {"R0", "R1", "R2"}) routes.insert(get("Odd", r), answer(400, {{u"message"_s, u"track_name: odd"_s}}));
    routes[u"records"_s] = QJsonArray{record("Band", "Lonely", nullptr, "alone")};
    serve(), c = run(refusedSongs);
    EXPECT_EQ(std::tuple(c.stopped, c.refused, c.plain), std::tuple(std::string(), std::size_t{3}, std::size_t{1}));
    EXPECT_EQ(requests().back(), "/api/search?track_name=Lonely");
    EXPECT_NE(fetchAllReport(c).find("refused: 3"), std::string::npos) << fetchAllReport(c);

    // Cancel drops the waiting request; nothing is saved for it.
    routes[get("Zeta", "Six")] = answer(200, record("Zeta", "Six", nullptr, "late"), 30);
    std::filesystem::remove(lyricsFileFor(song("Zeta - Six")));
    serve();
    c = run({song("Zeta - Six"), song("Alpha - One")}, true);
    EXPECT_TRUE(c.cancelled);
    EXPECT_EQ(c.done, 0u);
    EXPECT_FALSE(std::filesystem::exists(lyricsFileFor(song("Zeta - Six"))));
}

// Entries that are no songs, a store with a link in it and an answer past the bound: the run
// ends, and writes only beside real songs.
TEST(LyricsFetchAll, WritesOnlyBesideRealSongsAndWithinTheBound)
{
    TempDir dir, db, elsewhere;
    const std::string music = dir.file("music"), store = dir.file("store");
    const auto song = [&](const std::string& name) { return music + "/" + name; };
    std::filesystem::create_directories(music + "/fa");
    std::filesystem::create_directory(song("Folder - Song.mp3"));
    ASSERT_EQ(::mkfifo(song("Fifo - Song.mp3").c_str(), 0600), 0);
    for (const char* name : {"Big - Song.mp3", "Linked - Song.mp3", "Real - Song.flac"})
        writeFile(song(name), "not audio");
    // Linked's folder takes no file, and its folder in the store leads elsewhere.
    std::filesystem::create_directory(savingFile(lyricsFileFor(song("Linked - Song.mp3"))));
    std::filesystem::create_directories(storedLyricsFile(store, dir.path()));
    std::filesystem::create_directory_symlink(elsewhere.path(), storedLyricsFile(store, music));
    const std::string big(600 * 1024, 'w');
    QJsonArray records;
    for (const char* name : {"Fifo", "Folder", "Linked", "Real", "Big"})
        records.append(record(name, name == std::string("Real") ? "Song flac" : "Song", nullptr,
                              name == std::string("Big") ? big.c_str() : name));
    writeFile(db.file("routes.json"),
              QJsonDocument(QJsonObject{{u"records"_s, records}}).toJson().toStdString());
    test::HttpPythonServer server(
        QStringLiteral(LARKSPUR_SOURCE_DIR "/tests/support/LyricsDatabase.py"),
        {QString::fromStdString(db.path())});
    test::FifoRescue rescue({song("Fifo - Song.mp3")});
    const std::pair<std::string, const char*> entries[] = {
        {song("Fifo - Song.mp3"), "not a song file"},
        {"/dev/zero", "not a song file"},
        {song("Folder - Song.mp3"), "not a song file"},
        {music + "/fa/..", "not a song file"},
        {song("Big - Song.mp3"), "larger than 512 KB"},
        {song("Linked - Song.mp3"), "symbolic link"},
        {song("Real - Song.flac"), "Real - Song.lyr"},
    };
    FetchAllSetup setup;
    setup.host = server.url("");
    setup.store = store;
    setup.songLengthMs = [](const std::string&) { return 200'000LL; };
    std::map<std::string, std::string> said;
    setup.stepped = [&said](const FetchAllStep& step) { said[step.song] = step.detail; };
    std::vector<std::string> songs;
    for (const auto& entry : entries)
        songs.push_back(entry.first);
    LyricsFetchAll run(songs, setup);
    run.start();
    run.wait();
    EXPECT_FALSE(rescue.rescued());
    for (const auto& [entry, reason] : entries)
        EXPECT_NE(said[entry].find(reason), std::string::npos) << entry << ": " << said[entry];
    EXPECT_NE(fetchAllReport(run.counts()).find("4 entries are not song files"), std::string::npos);
    std::set<std::string> written;
    for (const auto& file : std::filesystem::recursive_directory_iterator(dir.path()))
        if (file.is_regular_file()) written.insert(file.path().filename().string());
    EXPECT_EQ(written, (std::set<std::string>{"Big - Song.mp3", "Linked - Song.mp3",
                                              "Real - Song.flac", "Real - Song.lyr"}));
    EXPECT_TRUE(std::filesystem::is_empty(elsewhere.path()));
    EXPECT_FALSE(std::filesystem::exists("/dev/zero.lyr") ||
                 std::filesystem::exists("/dev/zero.lrc"));
}

// A database that keeps asking to wait: five waits for one song make it failed, three such
// songs in a row end the run, and so do waits adding up to more than half an hour. The tool
// says each wait on standard error.
TEST(LyricsFetchAll, EndlessWaitsEndTheSongThenTheRun)
{
    TempDir dir, db;
    test::HttpPythonServer server(
        QStringLiteral(LARKSPUR_SOURCE_DIR "/tests/support/LyricsDatabase.py"),
        {QString::fromStdString(db.path())});
    const auto wait = [](const char* seconds) {
        return answer(429, {}, 0,
                      seconds ? QJsonObject{{u"Retry-After"_s, QString::fromUtf8(seconds)}}
                              : QJsonObject{});
    };
    const std::string failed = "Stopped after 3 failed requests in a row; the last: lyrics "
                               "database: asked to wait 5 times in a row";
    struct Case
    {
        QJsonValue route; // for each of three songs
        std::size_t requests, failed, synced;
        int waitedS;
        std::string stopped;
    } cases[] = {
        {wait("1"), 15, 3, 0, 14, failed},
        {wait(nullptr), 15, 3, 0, 14 * kDefaultRetryAfterS, failed},
        {wait("999999"), 3, 0, 0, 2 * kMaxRetryAfterS,
         "Stopped: the lyrics database asked to wait more than 30 minutes in all."},
        {QJsonArray{wait("1"), wait("1"), wait("1"), wait("1"),
                    answer(200, record("A", "B", "[00:01.00]late", nullptr))},
         15, 0, 3, 12, ""},
    };
    int index = 0;
    for (const Case& c : cases) {
        QJsonObject routes;
        std::vector<std::string> songs;
        for (const char* title : {"One", "Two", "Three"}) {
            const std::string artist = "Case" + std::to_string(++index);
            writeFile(songs.emplace_back(dir.file(artist + " - " + title + ".mp3")), "x");
            routes.insert(get(artist.c_str(), title), c.route);
        }
        writeFile(db.file("routes.json"), QJsonDocument(routes).toJson().toStdString());
        writeFile(db.file("requests.log"), "");
        FetchAllSetup setup;
        setup.host = server.url("");
        setup.store = dir.file("store");
        setup.songLengthMs = [](const std::string&) { return 200'000LL; };
        setup.second = std::chrono::milliseconds(1);
        int waitedS = 0;
        setup.waiting = [&waitedS](int s) { waitedS += s; };
        LyricsFetchAll fetch(songs, setup);
        fetch.start();
        for (int ms = 0; !fetch.counts().finished && ms < 20000; ms += 20)
            QTest::qWait(20);
        const FetchAllCounts got = fetch.counts();
        ASSERT_TRUE(got.finished) << index;
        const std::string log = readFile(db.file("requests.log"));
        EXPECT_EQ(static_cast<std::size_t>(std::count(log.begin(), log.end(), '\n')), c.requests)
            << index;
        EXPECT_EQ(got.failed, c.failed) << index;
        EXPECT_EQ(got.synced, c.synced) << index;
        EXPECT_EQ(waitedS, c.waitedS) << index;
        EXPECT_EQ(got.stopped, c.stopped) << index;
    }

    const std::string list = dir.file("list.txt");
    writeFile(list, "0|" + dir.file("Tool - Song.mp3") + "\r\n");
    writeFile(dir.file("Tool - Song.mp3"), "x");
    writeFile(db.file("routes.json"),
              QJsonDocument(
                  QJsonObject{{get("Tool", "Song"),
                               QJsonArray{wait("1"), answer(200, record("Tool", "Song",
                                                                        "[00:01.00]x", nullptr))}}})
                  .toJson()
                  .toStdString());
    qputenv("LARKSPUR_LYRICS_DB_URL", QByteArray::fromStdString(server.url("")));
    std::ostringstream out, err;
    EXPECT_EQ(
        runLyricsCommand({"--all", list}, out, err, [](const std::string&) { return 200'000LL; }),
        0);
    qunsetenv("LARKSPUR_LYRICS_DB_URL");
    EXPECT_EQ(err.str(), "Waiting 1 s as the lyrics database asked.\n");
    EXPECT_NE(out.str().find("found synced"), std::string::npos) << out.str();
}
