// The lyrics database source against a loopback server playing the database.

#include "lyrics/LyricsDatabase.h"
#include "support/HttpPythonServer.h"
#include "support/HttpRawServer.h"
#include "support/TestFiles.h"
#include "web/HttpClient.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

using namespace larkspur;
using larkspur::test::HttpPythonServer;
using larkspur::test::TempDir;

namespace {

using Kind = DatabaseLyricsKind;

std::string record(const char* synced, const char* plain, bool instrumental = false,
                   double duration = 200)
{
    QJsonObject r{{QStringLiteral("duration"), duration},
                  {QStringLiteral("instrumental"), instrumental}};
    r.insert(QStringLiteral("syncedLyrics"),
             synced ? QJsonValue(QString::fromUtf8(synced)) : QJsonValue());
    r.insert(QStringLiteral("plainLyrics"),
             plain ? QJsonValue(QString::fromUtf8(plain)) : QJsonValue());
    return QJsonDocument(r).toJson(QJsonDocument::Compact).toStdString();
}

class LyricsDatabaseTest : public ::testing::Test
{
  protected:
    LyricsDatabaseTest() { writeRoutes(); }

    void route(const std::string& target, int status, const std::string& body, double delay = 0)
    {
        m_routes.insert(QString::fromStdString(target),
                        QJsonObject{{QStringLiteral("status"), status},
                                    {QStringLiteral("body"), QString::fromStdString(body)},
                                    {QStringLiteral("delay"), delay}});
        writeRoutes();
    }
    // Each request as "target<TAB>User-Agent", oldest first; the log is emptied.
    std::vector<std::string> takeRequests()
    {
        std::vector<std::string> lines;
        std::istringstream in(test::readFile(dir.file("requests.log")));
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        test::writeFile(dir.file("requests.log"), "");
        return lines;
    }
    std::vector<std::string> takeTargets()
    {
        std::vector<std::string> targets;
        for (const std::string& line : takeRequests())
            targets.push_back(line.substr(0, line.find('\t')));
        return targets;
    }

    TempDir dir;
    HttpPythonServer server{QStringLiteral(LARKSPUR_SOURCE_DIR "/tests/support/LyricsDatabase.py"),
                            {QString::fromStdString(dir.path())}};
    HttpClient http;
    LyricsDatabase db{http, server.url("")};

  private:
    void writeRoutes()
    {
        test::writeFile(dir.file("routes.json"), QJsonDocument(m_routes).toJson().toStdString());
    }
    QJsonObject m_routes;
};

} // namespace

TEST_F(LyricsDatabaseTest, ARecordGivesSyncedElsePlainElseInstrumental)
{
    struct Case
    {
        std::string title, body;
        Kind kind;
        std::string text;
    } cases[] = {
        {"both", record("[00:01.00]la", "la"), Kind::Synced, "[00:01.00]la"},
        {"plain", record(nullptr, "Zeile eins\nZeile zwei"), Kind::Plain, "Zeile eins\nZeile zwei"},
        {"blank-synced", record("  ", "words"), Kind::Plain, "words"},
        {"instrumental", record(nullptr, nullptr, true), Kind::Instrumental, "[Instrumental]"},
        {"empty", record(nullptr, nullptr), Kind::Nothing, ""},
    };
    for (const Case& c : cases) {
        route("/api/get?artist_name=a&track_name=" + c.title + "&duration=200", 200, c.body);
        const auto got = db.Lookup({"a", c.title, 200'000});
        ASSERT_TRUE(got) << c.title;
        EXPECT_EQ(got->kind, c.kind) << c.title;
        EXPECT_EQ(got->text, c.text) << c.title;
        EXPECT_EQ(got->why.empty(), c.kind != Kind::Nothing) << c.title;
        EXPECT_EQ(takeRequests().size(), 1u) << c.title << ": a found record needs no search";
    }
}

TEST_F(LyricsDatabaseTest, NotFoundSearchesOnceAndTakesTheHitNearestInLength)
{
    const std::string hits = "[" + record("[00:00.50]far", nullptr, false, 150) + "," +
                             record("[00:00.50]near", nullptr, false, 201.5) + "," +
                             record("[00:00.50]nearer", nullptr, false, 199.9) + "]";
    route("/api/search?track_name=t&artist_name=a", 200, hits);
    route("/api/search?track_name=none&artist_name=a", 200, "[]");
    struct Case
    {
        std::string title;
        std::optional<long long> ms;
        std::string text; // empty: nothing found
    } cases[] = {
        {"t", 199'600, "[00:00.50]nearer"}, // 0.3 s off; 201.5 s is within 2 s too, but later
        {"t", 202'000, "[00:00.50]near"},
        {"t", std::nullopt, "[00:00.50]far"},
        {"t", 180'000, ""},
        {"t", 147'999, ""}, // 150 s is 2.001 s away
        {"none", 100'000, ""},
    };
    for (const Case& c : cases) {
        const auto got = db.Lookup({"a", c.title, c.ms});
        ASSERT_TRUE(got);
        EXPECT_EQ(got->text, c.text) << c.title << " " << c.ms.value_or(-1);
        EXPECT_EQ(got->why.empty(), !c.text.empty()) << got->why;
        const auto targets = takeTargets();
        ASSERT_EQ(targets.size(), 2u);
        EXPECT_TRUE(targets[0].starts_with("/api/get?")) << targets[0];
        EXPECT_EQ(targets[1], "/api/search?track_name=" + c.title + "&artist_name=a");
    }
}

TEST_F(LyricsDatabaseTest, UnusableAnswersGiveNothingWithOneLineWhy)
{
    route("/api/get?artist_name=a&track_name=broken", 200, "{\"syncedLyrics\": \"[00:01");
    route("/api/get?artist_name=a&track_name=list", 200, "[]");
    route("/api/get?artist_name=a&track_name=failing", 500, "{\"code\":500}");
    route("/api/search?track_name=searchbroken&artist_name=a", 200, "[{]");
    route("/api/search?track_name=searchfailing&artist_name=a", 503, "");
    struct Case
    {
        std::string title;
        std::size_t requests; // a 500 is no reason to search
    } cases[] = {
        {"broken", 1}, {"list", 1}, {"failing", 1}, {"searchbroken", 2}, {"searchfailing", 2}};
    for (const Case& c : cases) {
        const auto got = db.Lookup({"a", c.title, std::nullopt});
        ASSERT_TRUE(got);
        EXPECT_EQ(got->kind, Kind::Nothing) << c.title;
        EXPECT_FALSE(got->why.empty()) << c.title;
        EXPECT_EQ(got->why.find('\n'), std::string::npos) << got->why;
        EXPECT_EQ(takeRequests().size(), c.requests) << c.title;
    }
    LyricsDatabase closed(http, "http://127.0.0.1:" + std::to_string(test::unusedLoopbackPort()));
    const auto refused = closed.Lookup({"a", "b", 1000});
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->kind, Kind::Nothing);
    EXPECT_NE(refused->why.find("refused"), std::string::npos) << refused->why;
    EXPECT_EQ(refused->why.find_first_of("\r\n"), std::string::npos) << refused->why;
}

TEST_F(LyricsDatabaseTest, QueriesArePercentEncodedUtf8AndAnUnknownLengthIsLeftOut)
{
    const DatabaseSong song{"Die \xC3\x84rzte", "M\xC3\xA4nner & Frauen #1?=+/", 183'500};
    db.Lookup(song);
    db.Lookup({song.artist, song.title, std::nullopt});
    db.Lookup({"x", "y", 0});
    const std::string artist = "Die%20%C3%84rzte",
                      title = "M%C3%A4nner%20%26%20Frauen%20%231%3F%3D%2B%2F";
    const std::vector<std::string> expected = {
        "/api/get?artist_name=" + artist + "&track_name=" + title + "&duration=184",
        "/api/search?track_name=" + title + "&artist_name=" + artist,
        "/api/get?artist_name=" + artist + "&track_name=" + title,
        "/api/search?track_name=" + title + "&artist_name=" + artist,
        "/api/get?artist_name=x&track_name=y",
        "/api/search?track_name=y&artist_name=x",
    };
    EXPECT_EQ(takeTargets(), expected);
}

TEST_F(LyricsDatabaseTest, TheDatabaseGetsItsOwnUserAgentAndOtherFetchesKeepTheirs)
{
    db.Lookup({"a", "b", std::nullopt}); // a 404 and a search
    route("/api/get?artist_name=a&track_name=b", 200, record(nullptr, "words"));
    http.Get(server.url("/api/get?artist_name=a&track_name=b"));
    const auto requests = takeRequests();
    ASSERT_EQ(requests.size(), 3u);
    const std::string ours = "\t" + std::string(kLyricsDatabaseUserAgent);
    EXPECT_TRUE(requests[0].ends_with(ours)) << requests[0];
    EXPECT_TRUE(requests[1].ends_with(ours)) << requests[1];
    EXPECT_TRUE(requests[2].ends_with("\tMozilla/3.0 (compatible; Indy Library)")) << requests[2];
}

TEST_F(LyricsDatabaseTest, TheHostComesFromTheEnvironment)
{
    route("/api/get?artist_name=a&track_name=b", 200, record(nullptr, "here"));
    qputenv("LARKSPUR_LYRICS_DB_URL", QByteArray::fromStdString(server.url("//")));
    LyricsDatabase fromEnvironment(http);
    const auto got = fromEnvironment.Lookup({"a", "b", std::nullopt});
    qunsetenv("LARKSPUR_LYRICS_DB_URL");
    ASSERT_TRUE(got);
    EXPECT_EQ(got->text, "here");
    EXPECT_EQ(lyricsDatabaseHost(), "https://lrclib.net");
}

TEST_F(LyricsDatabaseTest, AnAnswerArrivingAfterTheSongChangedIsDropped)
{
    route("/api/get?artist_name=a&track_name=old", 200, record(nullptr, "old words"), 1.0);
    route("/api/get?artist_name=a&track_name=new", 200, record(nullptr, "new words"));
    auto owned = std::make_unique<LyricsDatabase>(http, server.url(""));
    std::optional<DatabaseLyrics> newer;
    const auto lookupNew = [&] { newer = owned->Lookup({"a", "new", std::nullopt}); };
    struct Case
    {
        std::string name;
        std::function<void()> interrupt;
        bool answerArrives; // else the fetch was ended early
    } cases[] = {
        {"newer lookup", lookupNew, true},
        {"cancel", [&] { owned->Cancel(); }, false},
        {"destroyed", [&] { owned.reset(); }, true},
    };
    for (const Case& c : cases) {
        QTimer::singleShot(100, c.interrupt);
        QElapsedTimer clock;
        clock.start();
        EXPECT_FALSE(owned->Lookup({"a", "old", std::nullopt})) << c.name;
        EXPECT_EQ(clock.elapsed() >= 900, c.answerArrives) << c.name << " " << clock.elapsed();
    }
    ASSERT_TRUE(newer);
    EXPECT_EQ(newer->text, "new words");
}

// A song the server's checks of /api/get refuse is searched for; any other 4xx is its refusal.
TEST_F(LyricsDatabaseTest, LookupsStayWithinWhatTheServerAccepts)
{
    test::writeFile(dir.file("routes.json"), R"({"records": [
        {"artistName": "Band", "trackName": "Song 2", "duration": 200, "syncedLyrics": "[00:01.00]two"},
        {"artistName": "Long", "trackName": "Set", "duration": 3700, "syncedLyrics": "[00:01.00]long"},
        {"artistName": "Long", "trackName": "Set", "duration": 3600, "syncedLyrics": "[00:01.00]hour"}],
      "/api/get?artist_name=Band&track_name=Odd&duration=200": {"status": 400, "body": "{\"message\":\"odd\"}"}})");
    const std::tuple<DatabaseSong, std::vector<std::string>, std::string> cases[] = {
        {{"", "Song 2", 200'000}, {"/api/search?track_name=Song%202"}, "[00:01.00]two"},
        {{" ", "Song 2", std::nullopt}, {"/api/search?track_name=Song%202"}, "[00:01.00]two"},
        {{"Long", "Set", 3'700'000}, {"/api/search?track_name=Set&artist_name=Long"}, "[00:01.00]long"},
        {{"Band", "Song 2", 400}, {"/api/get?artist_name=Band&track_name=Song%202"}, "[00:01.00]two"},
        {{"Long", "Set", 3'600'400}, {"/api/get?artist_name=Long&track_name=Set&duration=3600"}, "[00:01.00]hour"},
        {{"Band", "Odd", 200'000}, {"/api/get?artist_name=Band&track_name=Odd&duration=200"}, ""},
    };
    for (const auto& [song, targets, text] : cases) {
        const DatabaseLyrics got = db.Lookup(song).value_or(DatabaseLyrics{});
        EXPECT_EQ(got.text + "|" + std::to_string(got.refused) + "|" + got.why,
                  text + "|" + std::to_string(text.empty()) + (text.empty() ? "|lyrics database: odd" : "|"));
        EXPECT_EQ(takeTargets(), targets) << song.artist << " - " << song.title;
    }
}
