// Where the window's lyrics come from besides the web search: the .lrc file, the song's tags
// and the lyrics database (a loopback server); and timed lyrics as the song plays.

#include "app/TForm1.h"
#include "app/core/Settings.h"
#include "app/core/SettingsStore.h"
#include "lyrics/LyricsFile.h"
#include "support/FakeMediaPlayer.h"
#include "support/HttpPythonServer.h"
#include "support/QuietServices.h"
#include "support/TestFiles.h"

#include <QApplication>
#include <QAction>
#include <QElapsedTimer>
#include <QProgressDialog>
#include <QPushButton>
#include <QJsonArray>
#include <QSignalSpy>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <cstdio>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/unsynchronizedlyricsframe.h>

using namespace larkspur;
using larkspur::test::FakeMediaPlayer;
using larkspur::test::readFile;
using larkspur::test::TempDir;
using larkspur::test::writeFile;

namespace {

// The database's address for "The Band" - "Some Song" as the file name gives them.
const std::string kGet = "/api/get?artist_name=The%20Band&track_name=Some%20Song";
const std::string kTimed = "[ar:The Band]\n[00:01.00]First line\n[00:05.00]Second line\n"
                           "Untimed line\n[00:10.00]Third line\n";

std::string record(const std::string& synced, const std::string& plain)
{
    QJsonObject r{{QStringLiteral("duration"), 185}, {QStringLiteral("instrumental"), false}};
    r.insert(QStringLiteral("syncedLyrics"),
             synced.empty() ? QJsonValue() : QJsonValue(QString::fromStdString(synced)));
    r.insert(QStringLiteral("plainLyrics"),
             plain.empty() ? QJsonValue() : QJsonValue(QString::fromStdString(plain)));
    return QJsonDocument(r).toJson(QJsonDocument::Compact).toStdString();
}

void tagMp3(const std::string& path, const std::string& artist, const std::string& lyrics)
{
    TagLib::MPEG::File file(path.c_str());
    auto* tag = file.ID3v2Tag(true);
    if (!artist.empty()) tag->setArtist(TagLib::String(artist, TagLib::String::UTF8));
    if (!lyrics.empty()) {
        auto* uslt = new TagLib::ID3v2::UnsynchronizedLyricsFrame(TagLib::String::UTF8);
        uslt->setText(TagLib::String(lyrics, TagLib::String::UTF8));
        tag->addFrame(uslt);
    }
    if (!file.save(TagLib::MPEG::File::ID3v2)) throw std::runtime_error("cannot tag " + path);
}

class WindowLyricsSources : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        sites = test::startLyricsSites(site.path());
        database = std::make_unique<test::HttpPythonServer>(
            QStringLiteral(LARKSPUR_SOURCE_DIR "/tests/support/LyricsDatabase.py"),
            QStringList{QString::fromStdString(db.path())});
        qputenv("LARKSPUR_SEARCH_URL", QByteArray::fromStdString(sites->url("")));
        qputenv("LARKSPUR_LYRICS_DB_URL", QByteArray::fromStdString(database->url("")));
        writeRoutes();
        writeFile(site.file("search.html"), "<html><body>No results at all</body></html>");
        song = dir.file("The Band - Some Song.mp3");
        other = dir.file("Other Band - Other Song.mp3");
        test::makeMp3(song, 1.0);
        writeFile(other, "x");
        list = dir.file("list.txt");
        writeFile(list, "0|" + song + "\r\n0|" + other + "\r\n");
        services.mp = &mp;
        services.settings = &store;
        test::makeQuiet(services, dir.path(), &errors);
    }
    void TearDown() override
    {
        qunsetenv("LARKSPUR_SEARCH_URL");
        qunsetenv("XDG_DATA_HOME");
        qputenv("LARKSPUR_LYRICS_DB_URL", "http://127.0.0.1:1");
    }

    void route(const std::string& target, const std::string& body, double delay = 0)
    {
        routes[target] = {body, delay};
        writeRoutes();
    }
    void writeRoutes()
    {
        QJsonObject all;
        for (const auto& [target, answer] : routes)
            all.insert(QString::fromStdString(target),
                       QJsonObject{{QStringLiteral("status"), 200},
                                   {QStringLiteral("body"), QString::fromStdString(answer.first)},
                                   {QStringLiteral("delay"), answer.second}});
        all.insert(QStringLiteral("records"), records);
        for (auto it = extra.begin(); it != extra.end(); ++it)
            all.insert(it.key(), it.value());
        writeFile(db.file("routes.json"), QJsonDocument(all).toJson().toStdString());
    }
    // The database's request targets so far, one a line; the log is emptied.
    std::string takeDatabaseRequests()
    {
        std::string targets;
        std::istringstream in(readFile(db.file("requests.log")));
        for (std::string line; std::getline(in, line);)
            targets += line.substr(0, line.find('\t')) + "\n";
        writeFile(db.file("requests.log"), "");
        return targets;
    }

    std::unique_ptr<TForm1> window(bool search)
    {
        auto f = std::make_unique<TForm1>(services);
        f->FormCreate({QString::fromStdString(list)});
        f->srchen->setChecked(search);
        return f;
    }
    std::string memo(TForm1& f) { return f.memo1->toPlainText().toStdString(); }
    template <typename F> bool waitUntil(F cond, int ms = 6000)
    {
        QElapsedTimer t;
        t.start();
        while (!cond() && t.elapsed() < ms)
            QTest::qWait(10);
        return cond();
    }
    // Both servers have answered everything the window asked.
    void settle(TForm1& f)
    {
        waitUntil([&] { return f.lbusy2->text().isEmpty(); });
        QTest::qWait(400);
    }
    int highlighted(TForm1& f)
    {
        const auto marks = f.memo1->extraSelections();
        return marks.isEmpty() ? -1 : marks.first().cursor.blockNumber();
    }

    TempDir dir, site, db;
    std::unique_ptr<test::HttpPythonServer> sites, database;
    std::map<std::string, std::pair<std::string, double>> routes;
    QJsonArray records; // matched by their names, as the real database matches
    QJsonObject extra;  // further routes as they stand (a POST's answer, the challenge's target)
    std::string song, other, list;
    FakeMediaPlayer mp;
    MapSettingsStore store;
    FormServices services;
    std::vector<std::string> errors;
};

} // namespace

TEST_F(WindowLyricsSources, LyrBeatsLrcBeatsStoreBeatsTagsBeatsTheWeb)
{
    route(kGet + "&duration=185", record("", "From the database"));
    const std::string lyr = dir.file("The Band - Some Song.lyr");
    const std::string lrc = dir.file("The Band - Some Song.lrc");
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dir.file("data")));
    const std::string stored = dir.file("data/larkspur/lyrics") + lyr;
    tagMp3(song, "", "Tag line one\nTag line two");
    struct Case
    {
        bool lyr, lrc, stored, tags;
        std::string shown;
        bool lrcNewer = false; // timed from the .lyr: shown instead of it
    } cases[] = {
        {true, true, true, true, "From the lyr file"},
        {true, true, true, true, "First line\nSecond line\nUntimed line\nThird line", true},
        {false, true, true, true, "First line\nSecond line\nUntimed line\nThird line"},
        {false, false, true, true, "Fetched into the store"},
        {false, false, false, true, "Tag line one\nTag line two"},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(lyr);
        std::filesystem::remove(lrc);
        std::filesystem::remove_all(dir.file("data"));
        if (c.stored) {
            std::filesystem::create_directories(std::filesystem::path(stored).parent_path());
            writeFile(stored, "Fetched into the store");
        }
        if (c.lyr) writeFile(lyr, "From the lyr file");
        if (c.lrc) writeFile(lrc, kTimed);
        if (c.lyr && c.lrc)
            std::filesystem::last_write_time(
                lrc, std::filesystem::last_write_time(lyr) + std::chrono::hours(c.lrcNewer ? 1 : -1));
        if (!c.tags) tagMp3(song, "", "");
        writeFile(site.file("requests.log"), "");
        auto f = window(true);
        f->PlayNextSong(0);
        settle(*f);
        EXPECT_EQ(memo(*f), c.shown);
        EXPECT_FALSE(f->AutoLyricsPending) << c.shown;
        EXPECT_EQ(f->showsSyncedLyrics(), c.lrc && (!c.lyr || c.lrcNewer)) << c.shown;
        EXPECT_EQ(readFile(site.file("requests.log")), "") << c.shown;
        EXPECT_EQ(takeDatabaseRequests(), "") << c.shown;
    }
    // No local source: the web search runs as ever.
    TagLib::MPEG::File(song.c_str()).strip();
    auto f = window(true);
    f->PlayNextSong(0);
    EXPECT_TRUE(waitUntil([&] { return memo(*f) == "Search: the+band - some+song"; }));
    EXPECT_TRUE(waitUntil([&] { return !readFile(site.file("requests.log")).empty(); }));
}

TEST_F(WindowLyricsSources, DatabaseAtSongStartWithTheSearchOff)
{
    mp.lengthMsValue = 185'400; // whole seconds, rounded
    route(kGet + "&duration=185", record(kTimed, "plain"));
    route("/api/get?artist_name=Tag%20Artist&track_name=Some%20Song&duration=185",
          record("", "Tagged artist's words"));
    auto f = window(false);
    f->PlayNextSong(0);
    ASSERT_TRUE(waitUntil([&] { return f->showsSyncedLyrics(); })) << memo(*f);
    EXPECT_EQ(memo(*f), "First line\nSecond line\nUntimed line\nThird line");
    EXPECT_EQ(takeDatabaseRequests(), kGet + "&duration=185\n");

    tagMp3(song, "Tag Artist", ""); // the tag's artist, the file name's title
    f->PlayNextSong(0);
    ASSERT_TRUE(waitUntil([&] { return memo(*f) == "Tagged artist's words"; })) << memo(*f);
    EXPECT_FALSE(f->showsSyncedLyrics());
}

// With the search on, the database fills in only for a harvest that ended without text,
// whether its answer came before the harvest ended or after.
TEST_F(WindowLyricsSources, DatabaseAfterAHarvestWithoutText)
{
    writeFile(site.file("found.html"), "<html><body><div>Web lyrics</div></body></html>");
    const std::string found = "<html><body><div id=res><p class=g><a class=l "
                              "href=\"http://127.0.0.1:{PORT}/found.html\">x</a><br>s</p></div>"
                              "</body></html>";
    const std::string failing = "<html><body><div id=res><p class=g><a class=l "
                                "href=\"http://127.0.0.1:{PORT}/missing.html\">x</a></p></div>"
                                "</body></html>";
    struct Case
    {
        std::string search;
        double delay; // of the database's answer
        std::string shown;
    } cases[] = {
        {"<html><body>No results at all</body></html>", 0, "Database words"},
        {"<html><body>No results at all</body></html>", 1.0, "Database words"},
        {failing, 0, "Database words"},
        {found, 0, "Web lyrics"},
        {found, 1.0, "Web lyrics"},
    };
    for (const Case& c : cases) {
        route(kGet + "&duration=185", record("", "Database words"), c.delay);
        writeFile(site.file("search.html"), c.search);
        auto f = window(true);
        f->PlayNextSong(0);
        waitUntil([&] { return memo(*f) == c.shown; });
        settle(*f);
        QTest::qWait(static_cast<int>(c.delay * 1000));
        EXPECT_EQ(memo(*f), c.shown) << c.search << " " << c.delay;
        EXPECT_EQ(takeDatabaseRequests(), kGet + "&duration=185\n");
    }
}

TEST_F(WindowLyricsSources, SettingOffAsksOnlyFromTheMenuItem)
{
    route(kGet + "&duration=185", record("", "Asked by hand"));
    store.values[kLyricsDatabase] = "0";
    auto f = window(false);
    EXPECT_FALSE(f->Usedatabase1->isChecked());
    f->PlayNextSong(0);
    QTest::qWait(500);
    EXPECT_EQ(takeDatabaseRequests(), "");
    EXPECT_EQ(memo(*f), "");

    f->Lyricsdatabase1->trigger();
    ASSERT_TRUE(waitUntil([&] { return memo(*f) == "Asked by hand"; })) << memo(*f);
    EXPECT_EQ(takeDatabaseRequests(), kGet + "&duration=185\n");

    f->Usedatabase1->trigger(); // on again, and stored so
    EXPECT_TRUE(f->SaveSettings());
    EXPECT_EQ(store.values[kLyricsDatabase], "1");

    // Its shortcut is no other item's.
    std::map<QString, QString> owners;
    for (QMenu* menu : {f->pm, f->pmlyr, f->pmn, f->PopupMenu1, f->pmtrns})
        for (QAction* a : menu->actions())
            for (const QKeySequence& key : a->shortcuts())
                EXPECT_TRUE(owners.emplace(key.toString(), a->text()).second)
                    << key.toString().toStdString() << " twice";
    EXPECT_EQ(owners[QKeySequence(Qt::CTRL | Qt::Key_L).toString()], f->Lyricsdatabase1->text());
}

TEST_F(WindowLyricsSources, SlowAnswerForAnEarlierSongIsDropped)
{
    route(kGet + "&duration=185", record("", "Old song's words"), 1.5);
    writeFile(dir.file("Other Band - Other Song.lyr"), "Other lyrics");
    auto f = window(false);
    f->PlayNextSong(0);
    bool changed = false;
    auto* poll = new QTimer(f.get());
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, f.get(), [&] {
        if (!f->lbusy2->text().contains(QStringLiteral("database"))) return;
        poll->stop();
        f->PlayNextSong(1);
        changed = true;
    });
    poll->start();
    ASSERT_TRUE(waitUntil([&] { return changed; }));
    QTest::qWait(2000);
    EXPECT_EQ(memo(*f), "Other lyrics");
    EXPECT_EQ(f->lbusy2->text(), QString());
}

TEST_F(WindowLyricsSources, HighlightFollowsThePositionOutsideTheUsersSelection)
{
    std::string many = kTimed; // long enough to scroll
    for (int s = 20; s < 200; ++s) {
        char stamp[16];
        std::snprintf(stamp, sizeof stamp, "[%02d:%02d.00]", s / 60, s % 60);
        many += stamp + std::string("Line at ") + std::to_string(s) + "\n";
    }
    writeFile(dir.file("The Band - Some Song.lrc"), many);
    auto f = window(false);
    f->resize(400, 300);
    f->show();
    f->PlayNextSong(0);
    ASSERT_TRUE(f->showsSyncedLyrics());
    const QString text = f->memo1->toPlainText();
    QTextCursor users(f->memo1->document());
    users.setPosition(3);
    users.setPosition(9, QTextCursor::KeepAnchor);
    f->memo1->setTextCursor(users);

    struct Case
    {
        long long ms;
        int line; // -1: none
    } cases[] = {{0, -1},   {999, -1},  {1000, 0},      {4999, 0},    {5000, 1},
                 {9999, 1}, {10000, 3}, {199'500, 183}, {30'000, 14}, {2000, 0}};
    for (const Case& c : cases) {
        mp.positionMsValue = c.ms;
        f->lrctmrTimer();
        EXPECT_EQ(highlighted(*f), c.line) << c.ms;
        EXPECT_EQ(f->memo1->textCursor().selectionStart(), 3);
        EXPECT_EQ(f->memo1->textCursor().selectionEnd(), 9);
        if (c.line >= 0) { // in view
            const QRect at =
                f->memo1->cursorRect(QTextCursor(f->memo1->document()->findBlockByNumber(c.line)));
            EXPECT_TRUE(f->memo1->viewport()->rect().contains(at)) << c.ms;
        }
    }
    EXPECT_EQ(f->memo1->toPlainText(), text);
    EXPECT_FALSE(f->memo1->document()->isModified());

    // The timer does it on its own while the song plays.
    mp.positionMsValue = 5200;
    EXPECT_TRUE(waitUntil([&] { return highlighted(*f) == 1; }, 1000));

    // Word stamps: the sung word is marked inside the sung line, and the timer follows it.
    f->setSyncedLyrics("[00:01.00]<00:01.00>Grüße <00:01.50>an <00:02.00>Sie\n[00:03.00]plain");
    const auto sungWord = [&] {
        const auto marks = f->memo1->extraSelections();
        return marks.size() == 2 ? marks[1].cursor.selectedText() : QString();
    };
    for (const auto& [ms, word] : {std::pair{1'200, u"Grüße"}, {1'700, u"an"}, {3'100, u""}}) {
        mp.positionMsValue = ms;
        f->lrctmrTimer();
        EXPECT_EQ(sungWord(), QString::fromUtf16(word)) << ms;
    }
    mp.positionMsValue = 1'000;
    f->lrctmrTimer();
    mp.positionMsValue = 2'100;
    EXPECT_TRUE(waitUntil([&] { return sungWord() == QStringLiteral("Sie"); }, 1000));
}

TEST_F(WindowLyricsSources, QuicksaveKeepsStampsUntilEditedAndCtrlClickSeeks)
{
    const std::string lrc = dir.file("The Band - Some Song.lrc");
    const std::string lyr = dir.file("The Band - Some Song.lyr");
    route(kGet + "&duration=185", record(kTimed, ""));
    auto f = window(false);
    f->show();
    f->PlayNextSong(0);
    ASSERT_TRUE(waitUntil([&] { return f->showsSyncedLyrics(); }));
    f->Quicksave1Click();
    EXPECT_EQ(readFile(lrc), "[ar:The Band]\r\n[00:01.00]First line\r\n[00:05.00]Second line\r\n"
                             "Untimed line\r\n[00:10.00]Third line\r\n");
    EXPECT_FALSE(std::filesystem::exists(lyr));

    // Ctrl+click on a timed line seeks there, and says so (to the bus); a plain click or an
    // untimed line does not.
    QSignalSpy seeked(f.get(), &TForm1::seeked);
    auto pointOf = [&](int line) {
        return f->memo1->cursorRect(QTextCursor(f->memo1->document()->findBlockByNumber(line)))
            .center();
    };
    // A seek fades out and in first.
    const auto seekEnded = [&] { return QTest::qWaitFor([&] { return !f->seektmr->isActive(); }); };
    QTest::mouseClick(f->memo1->viewport(), Qt::LeftButton, Qt::ControlModifier, pointOf(3));
    EXPECT_TRUE(seekEnded());
    QTest::mouseClick(f->memo1->viewport(), Qt::LeftButton, Qt::ControlModifier, pointOf(2));
    EXPECT_TRUE(seekEnded());
    QTest::mouseClick(f->memo1->viewport(), Qt::LeftButton, Qt::NoModifier, pointOf(1));
    QTest::mouseClick(f->memo1->viewport(), Qt::LeftButton, Qt::ControlModifier, pointOf(1));
    EXPECT_TRUE(seekEnded());
    EXPECT_EQ(mp.seeks, (std::vector<long long>{10'000, 5'000}));
    ASSERT_EQ(seeked.size(), 2);
    EXPECT_EQ(seeked[1][0].toLongLong(), 5'000);
    EXPECT_EQ(highlighted(*f), 1);

    // Shifted 0.3 s earlier: the third line is sung at 9.7 s, and Quicksave keeps the shift as
    // the file's offset with the stamps as they were.
    mp.seek(9'800);
    const LrcLine* lines = f->syncedLyrics()->lines().data();
    for (int i = 0; i < 3; ++i) f->LyricsEarlier1Click();
    EXPECT_EQ(f->syncedLyrics()->offsetMs(), 0); // presses add up until the loop turns
    QCoreApplication::processEvents();
    EXPECT_EQ(f->syncedLyrics()->lines().data(), lines); // moved in place, not parsed again
    EXPECT_EQ(highlighted(*f), 3);
    EXPECT_EQ(f->lshift->text(), QStringLiteral("Lyrics 0.3 s earlier"));
    f->Quicksave1Click();
    EXPECT_EQ(readFile(lrc), "[offset:+300]\r\n[ar:The Band]\r\n[00:01.00]First line\r\n"
                             "[00:05.00]Second line\r\nUntimed line\r\n[00:10.00]Third line\r\n");
    for (int i = 0; i < 4; ++i) f->LyricsLater1Click();
    QCoreApplication::processEvents();
    EXPECT_EQ(f->lshift->text(), QStringLiteral("Lyrics 0.1 s later"));
    EXPECT_EQ(highlighted(*f), 1);
    mp.seeks.clear();

    // Edited: the .lyr file as ever, and the highlight and seeking end.
    f->memo1->setFocus();
    QTest::keyClicks(f->memo1, QStringLiteral("!"));
    f->Quicksave1Click();
    EXPECT_NE(readFile(lyr).find("!"), std::string::npos);
    EXPECT_EQ(readFile(lyr).find("[00:"), std::string::npos);
    f->lrctmrTimer();
    EXPECT_EQ(highlighted(*f), -1);
    QTest::mouseClick(f->memo1->viewport(), Qt::LeftButton, Qt::ControlModifier, pointOf(0));
    EXPECT_TRUE(mp.seeks.empty());
    f->LyricsEarlier1Click();
    EXPECT_EQ(f->statusText(), "Only timed lyrics, unedited, can be shifted.");
}

TEST_F(WindowLyricsSources, ToolFallsBackToTheDatabase)
{
    const QString tool = QStringLiteral(LARKSPUR_BINARY_DIR "/larkspur-tool");
    writeFile(site.file("search.html"), "<html><body>No result markers here</body></html>");
    const std::string plainSong = dir.file("Plain Band - Plain Song.mp3");
    const std::string lrcSong = dir.file("File Band - File Song.mp3");
    writeFile(plainSong, "x");
    writeFile(lrcSong, "x");
    writeFile(dir.file("File Band - File Song.lrc"), "[00:02.00]From the lrc file\n");
    route(kGet + "&duration=1", record(kTimed, "")); // the song's length, as the player has it
    // No audio in the file: no length.
    route("/api/get?artist_name=Plain%20Band&track_name=Plain%20Song", record("", "Plain words"));
    const QString s = QString::fromStdString(song);
    struct Case
    {
        QStringList args;
        int status;
        std::string out;
    } cases[] = {
        {{s}, 0, "First line\r\nSecond line\r\nUntimed line\r\nThird line\n"},
        {{QStringLiteral("--synced"), s}, 0, kTimed},
        {{QString::fromStdString(plainSong), QStringLiteral("--synced")}, 0, "Plain words\n"},
        {{QStringLiteral("--no-database"), s}, 1, ""},
        {{QStringLiteral("--synced"), QString::fromStdString(lrcSong)},
         0,
         "[00:02.00]From the lrc file\r\n"},
        {{QString::fromStdString(lrcSong)}, 0, "From the lrc file\n"},
    };
    for (const Case& c : cases) {
        QProcess p;
        p.start(tool, QStringList{QStringLiteral("lyrics")} + c.args);
        ASSERT_TRUE(p.waitForFinished(30000));
        const std::string what = c.args.join(QStringLiteral(" ")).toStdString();
        EXPECT_EQ(p.exitCode(), c.status) << what << p.readAllStandardError().toStdString();
        EXPECT_EQ(p.readAllStandardOutput().toStdString(), c.out) << what;
    }
    // The web was asked first each time the files beside the song had nothing.
    EXPECT_NE(readFile(site.file("requests.log")).find("plain+band"), std::string::npos);
}

TEST_F(WindowLyricsSources, DatabaseByHandSaysWhyNothingCame)
{
    route("/api/search?track_name=Some%20Song&artist_name=The%20Band", "[]");
    for (const std::string said : {"The lyrics database has no lyrics for this song.",
                                   "The lyrics database could not be asked: "}) {
        auto f = window(false);
        f->PlayNextSong(0);
        f->Lyricsdatabase1->trigger();
        EXPECT_TRUE(waitUntil([&] { return f->statusText().starts_with(said); })) << f->statusText();
        qputenv("LARKSPUR_LYRICS_DB_URL", "http://127.0.0.1:1"); // down for the next
    }
}

// Ctrl+L pressed again and again while a lookup waits: one lookup at a time, the newest,
// with no loop nested per press and no connection left open per press.
TEST_F(WindowLyricsSources, RepeatedDatabaseRequestsDoNotPileUp)
{
    route(kGet + "&duration=185", record("", "The words"), 0.3);
    auto f = window(false);
    f->PlayNextSong(0);
    const auto openFiles = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                             std::filesystem::directory_iterator());
    };
    const auto before = openFiles();
    auto most = before;
    int presses = 0;
    QTimer press;
    press.setInterval(5);
    QObject::connect(&press, &QTimer::timeout, f.get(), [&] {
        if (++presses == 200) press.stop();
        f->Lyricsdatabase1Click();
        most = std::max(most, openFiles());
    });
    press.start();
    ASSERT_TRUE(waitUntil([&] { return presses == 200; }, 20000));
    ASSERT_TRUE(waitUntil([&] { return memo(*f) == "The words" && f->lbusy2->text().isEmpty(); }));
    EXPECT_LT(most - before, 16);
}

// A timed line longer than the memo shows is still one line: the highlight and Ctrl+click
// stay in step with the times after it.
TEST_F(WindowLyricsSources, LongTimedLineKeepsHighlightAndSeekingInStep)
{
    writeFile(dir.file("The Band - Some Song.lrc"),
              "[00:01.00]" + std::string(7000, 'x') + "\n[00:05.00]Second\n[00:10.00]Third\n");
    auto f = window(false);
    f->show();
    f->PlayNextSong(0);
    ASSERT_TRUE(f->showsSyncedLyrics());
    mp.positionMsValue = 6000;
    f->lrctmrTimer();
    EXPECT_EQ(highlighted(*f), 1);
    const QPoint third =
        f->memo1->cursorRect(QTextCursor(f->memo1->document()->findBlockByNumber(2))).center();
    QTest::mouseClick(f->memo1->viewport(), Qt::LeftButton, Qt::ControlModifier, third);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !f->seektmr->isActive(); }));
    EXPECT_EQ(mp.seeks, (std::vector<long long>{10'000}));
}

// A lyrics file of 2 GB is read only as far as the memo shows, and what was not read is
// never saved over; a tag that would inflate to gigabytes is skipped, and the lookup goes on.
TEST_F(WindowLyricsSources, OversizedSourcesAreReadInPartOrSkipped)
{
    const std::string lyr = dir.file("The Band - Some Song.lyr");
    const std::string copy = dir.file("copy.txt");
    services.askSaveFile = [&](const SaveProposal&) { return copy; };
    writeFile(lyr, "Sparse words\n");
    std::filesystem::resize_file(lyr, 2LL << 30);
    auto f = window(false);
    f->PlayNextSong(0);
    f->Quicksave1Click(); // while the file is read: the memo is not yet its text
    EXPECT_EQ(f->statusText(), "The song's lyrics are still being read; nothing was saved.");
    ASSERT_TRUE(waitUntil([&] { return f->memo1->isReadOnly(); }));
    EXPECT_EQ(memo(*f).substr(0, 13), "Sparse words\n");
    EXPECT_NE(memo(*f).find("the rest is not shown"), std::string::npos);
    EXPECT_TRUE(f->memo1->isReadOnly());
    for (auto save : {&TForm1::Quicksave1Click, &TForm1::Speichern1Click}) {
        (f.get()->*save)();
        EXPECT_EQ(std::filesystem::file_size(lyr), 2ULL << 30);
        std::string start(13, '\0');
        std::ifstream(lyr, std::ios::binary).read(start.data(), 13);
        EXPECT_EQ(start, "Sparse words\n");
        EXPECT_FALSE(std::filesystem::exists(copy));
        EXPECT_NE(f->statusText().find("left as it is"), std::string::npos) << f->statusText();
    }
    std::filesystem::remove(lyr);

    route(kGet + "&duration=185", record("", "Database words"));
    const std::string uslt = std::string("\0eng\0", 5) + "Hidden words";
    test::makeTaggedMp3(song, 3, test::id3CompressedFrame(3, "USLT", uslt, 2'000'000'000));
    f->PlayNextSong(0);
    EXPECT_EQ(mp.mode(), PlayerMode::Playing);
    EXPECT_TRUE(waitUntil([&] {
        return f->statusText().find("The tags of \"The Band - Some Song.mp3\" were not read") !=
               std::string::npos;
    })) << f->statusText();
    EXPECT_TRUE(waitUntil([&] { return memo(*f) == "Database words"; })) << memo(*f);
    EXPECT_FALSE(f->memo1->isReadOnly());
}

// The database matches names itself (case, accents, "&" and other punctuation ignored; every
// artist word needed): the names go as the file has them, with the song's measured length,
// and of several search hits the one nearest in length within 2 s is taken.
TEST_F(WindowLyricsSources, ToolSendsNamesAsWrittenAndTheMeasuredLength)
{
    const QString tool = QStringLiteral(LARKSPUR_BINARY_DIR "/larkspur-tool");
    writeFile(site.file("search.html"), "<html><body>No result markers here</body></html>");
    const struct
    {
        const char *artist, *title;
        int seconds;
        const char* words;
    } held[] = {{"Simon & Garfunkel", "The Boxer", 3, "Boxer words"},
                {"Ärger & Söhne", "Grüße, Straße (Live)", 40, "Live words"},
                {"Ärger & Söhne", "Grüße, Straße (Remastered)", 6, "Remastered words"},
                {"Ärger & Söhne", "Grüße, Straße (Edit)", 8, "Edit words"},
                {"Long Band", "Long Song", 20, "Too long"}};
    for (const auto& r : held)
        records.append(QJsonObject{{QStringLiteral("artistName"), QString::fromUtf8(r.artist)},
                                   {QStringLiteral("trackName"), QString::fromUtf8(r.title)},
                                   {QStringLiteral("duration"), r.seconds},
                                   {QStringLiteral("plainLyrics"), QString::fromUtf8(r.words)}});
    writeRoutes();
    struct Case
    {
        const char* file;
        double seconds;
        std::string out; // empty: nothing found
    } cases[] = {
        {"Simon & Garfunkel - The Boxer.mp3", 3.0, "Boxer words\n"},
        {"Ärger & Söhne - Grüße, Straße.mp3", 5.0, "Remastered words\n"},
        {"Long Band - Long Song.mp3", 4.0, ""},
    };
    for (const Case& c : cases) {
        const std::string path = dir.file(c.file);
        test::makeMp3(path, c.seconds);
        QProcess p;
        p.start(tool, {QStringLiteral("lyrics"), QString::fromStdString(path)});
        ASSERT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitCode(), c.out.empty() ? 1 : 0) << c.file << p.readAllStandardError().toStdString();
        EXPECT_EQ(p.readAllStandardOutput().toStdString(), c.out) << c.file;
    }
}

// Desktop media controls get the tags' names once they are read, else the file name's.
TEST_F(WindowLyricsSources, MediaControlsNameTheSongFromTagsElseTheFileName)
{
    const std::string umlauts = dir.file("Ärger & Söhne - Grüße, Straße.mp3");
    std::filesystem::copy_file(song, umlauts);
    writeFile(list, "0|" + song + "\r\n0|" + umlauts + "\r\n");
    tagMp3(song, "Tag Artist", "");
    auto f = window(false);
    QSignalSpy changed(f.get(), &TForm1::playerChanged);
    const MprisControl control = f->mprisControl();
    f->PlayNextSong(1);
    EXPECT_EQ(control.track().artist, "Ärger & Söhne");
    EXPECT_EQ(control.track().title, "Grüße, Straße");
    const qsizetype before = changed.count();
    f->PlayNextSong(0);
    ASSERT_TRUE(waitUntil([&] { return control.track().artist == "Tag Artist"; }));
    EXPECT_EQ(control.track().title, "Some Song");
    // Announced at the start with the file's names, and again when the tags gave theirs.
    int announced = 0;
    for (qsizetype i = before; i < changed.count(); ++i)
        announced += changed.at(i).first().toStringList().contains(QStringLiteral("Metadata"));
    EXPECT_EQ(announced, 2);
    const qsizetype known = changed.count(); // a length that comes late is announced again
    mp.lengthMsValue = 190'400;
    EXPECT_TRUE(waitUntil([&] { return changed.count() > known && changed.last().first().toStringList() == QStringList{QStringLiteral("Metadata")}; }));
}

// Timing by hand: Space stamps the next line with the position, Backspace takes it back, Esc
// ends; F9 then writes the .lrc, and the .lyr stays as it was.
TEST_F(WindowLyricsSources, TimingByHandWritesTheLrcBesideTheLyr)
{
    const std::string lyr = dir.file("The Band - Some Song.lyr");
    writeFile(lyr, "One\r\nTwo\r\n\r\nThree\r\n");
    auto f = window(false);
    f->PlayNextSong(0);
    settle(*f);
    f->show();
    QApplication::setActiveWindow(f.get());
    f->memo1->setFocus();
    f->Timethelyrics1Click();
    EXPECT_TRUE(f->memo1->isReadOnly());
    for (const auto& [ms, key] : {std::pair{1'000, Qt::Key_Space}, {2'000, Qt::Key_Space},
                                  {2'100, Qt::Key_Backspace}, {2'500, Qt::Key_Space},
                                  {3'000, Qt::Key_Escape}}) {
        mp.positionMsValue = ms;
        QTest::keyClick(f->memo1, key);
    }
    EXPECT_FALSE(f->memo1->isReadOnly());
    EXPECT_TRUE(f->showsSyncedLyrics());
    f->Quicksave1Click();
    EXPECT_EQ(readFile(dir.file("The Band - Some Song.lrc")),
              "[00:01.00]One\r\n[00:02.50]Two\r\n\r\nThree\r\n");
    EXPECT_EQ(readFile(lyr), "One\r\nTwo\r\n\r\nThree\r\n");
    f->Timethelyrics1Click();
    EXPECT_EQ(f->statusText(), "These lyrics are timed already.");
}

// Timing cut short by the next song or other lyrics says how far it came, keeps nothing and
// its keys out of the text; F9 saves to the song the lyrics were shown for.
TEST_F(WindowLyricsSources, TimingCutShortSaysSoAndKeepsItsKeysOutOfTheText)
{
    const std::string lyr = dir.file("The Band - Some Song.lyr");
    writeFile(dir.file("01 (Intro).mp3"), "x"); // a name that gives nothing to look up
    writeFile(list, "0|" + song + "\r\n0|" + other + "\r\n0|" + dir.file("01 (Intro).mp3"));
    route(kGet + "&duration=185", record("", "Other words"));
    for (const bool nextSong : {true, false}) {
        writeFile(lyr, "One\r\nTwo\r\n\r\nThree\r\n");
        auto f = window(false);
        f->PlayNextSong(0);
        settle(*f);
        f->show();
        QApplication::setActiveWindow(f.get());
        f->memo1->setFocus();
        f->Timethelyrics1Click();
        mp.positionMsValue = 1'000;
        QTest::keyClick(f->memo1, Qt::Key_Space);
        nextSong ? f->PlayNextSong(2) : f->Lyricsdatabase1Click(); // Ctrl+L
        EXPECT_TRUE(waitUntil([&] { return nextSong || memo(*f) == "Other words"; })) << memo(*f);
        EXPECT_EQ(f->statusText(), std::string("Timing ended ") +
                                       (nextSong ? "with the song" : "by new lyrics") +
                                       ": 1 of 3 lines, not kept.");
        const std::string shown = memo(*f);
        for (const Qt::Key key : {Qt::Key_Space, Qt::Key_Backspace, Qt::Key_Space})
            QTest::keyClick(f->memo1, key);
        EXPECT_EQ(memo(*f), shown);
        QTest::keyClicks(f->memo1, QStringLiteral("q")); // the user's own key: typed
        EXPECT_EQ(memo(*f), "q" + shown);
        f->Quicksave1Click();
        EXPECT_EQ(readFile(lyr), withCrLf("q" + shown));
        EXPECT_FALSE(std::filesystem::exists(dir.file("01 (Intro).lyr")));
        EXPECT_FALSE(std::filesystem::exists(dir.file("The Band - Some Song.lrc")));
    }
}

// Publishing: nothing goes without the user's yes; what goes is what was confirmed, with a
// token the loopback database checks as the real one does; a refusal and a cancel are told.
TEST_F(WindowLyricsSources, PublishSendsTheConfirmedLyricsWithASolvedToken)
{
    route(kGet + "&duration=185", record(kTimed, ""));
    PublishSong asked;
    bool yes = false;
    int asks = 0;
    services.askPublish = [&](PublishSong& shown) {
        ++asks;
        asked = shown;
        return yes;
    };
    TagLib::MPEG::File tagged(song.c_str());
    ASSERT_TRUE((tagged.ID3v2Tag(true)->setAlbum("First Album"), tagged.save(TagLib::MPEG::File::ID3v2)));
    auto f = window(false);
    f->PlayNextSong(0);
    ASSERT_TRUE(waitUntil([&] { return f->showsSyncedLyrics(); }));
    // The body of the last publication the database was sent.
    const auto published = [&] {
        QJsonObject last;
        std::istringstream in(readFile(db.file("publish.log")));
        for (std::string line; std::getline(in, line);) {
            const QJsonObject post = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
            if (post[QStringLiteral("path")].toString() == QStringLiteral("/api/publish"))
                last = QJsonDocument::fromJson(post[QStringLiteral("body")].toString().toUtf8()).object();
        }
        return last;
    };
    f->Publish1Click();
    EXPECT_FALSE(std::filesystem::exists(db.file("publish.log"))); // the user said no
    EXPECT_EQ(asked.artist + "|" + asked.title + "|" + asked.album, "The Band|Some Song|First Album");
    EXPECT_EQ(asked.syncedLyrics.substr(0, 21), "[00:01.00]First line\n"); // no tags

    yes = true;
    f->Publish1Click();
    ASSERT_TRUE(waitUntil([&] { return f->statusText().find("took") != std::string::npos; }))
        << f->statusText();
    EXPECT_EQ(published()[QStringLiteral("albumName")].toString(), QStringLiteral("First Album"));
    EXPECT_EQ(published()[QStringLiteral("artistName")].toString(), QStringLiteral("The Band"));
    EXPECT_EQ(published()[QStringLiteral("plainLyrics")].toString().left(11),
              QStringLiteral("First line\n"));

    extra.insert(
        QStringLiteral("POST /api/publish"),
        QJsonObject{{QStringLiteral("status"), 400},
                    {QStringLiteral("body"), QStringLiteral("{\"message\":\"Too short\"}")}});
    writeRoutes();
    f->Publish1Click();
    EXPECT_TRUE(waitUntil([&] {
        return f->statusText().ends_with("refused the lyrics: Too short");
    })) << f->statusText();

    // One publication at a time, and Cancel ends it while the challenge is awaited (a second
    // "Publish..." asks nothing then) and while it is solved (never: only a cancel ends it).
    extra.insert(QStringLiteral("target"), QString(64, u'0'));
    extra.insert(QStringLiteral("POST /api/request-challenge"),
                 QJsonObject{{QStringLiteral("status"), 200},
                             {QStringLiteral("body"), QStringLiteral("{}")},
                             {QStringLiteral("delay"), 30}});
    for (const char* stage : {"Publishing: asking the lyrics database for its challenge...",
                              "Solving the lyrics database's challenge..."}) {
        writeRoutes();
        asks = 0;
        f->Publish1Click();
        QProgressDialog* progress = nullptr;
        ASSERT_TRUE(waitUntil([&] {
            progress = f->findChild<QProgressDialog*>();
            return progress && f->statusText() == stage &&
                   progress->labelText() == QString::fromUtf8(stage);
        })) << f->statusText();
        f->Publish1Click();
        EXPECT_EQ(f->statusText(), "The timed lyrics are being published already.");
        QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);
        EXPECT_TRUE(waitUntil([&] {
            return f->statusText() == "Publishing cancelled; nothing was sent.";
        })) << f->statusText();
        EXPECT_EQ(asks, 1);
        extra.remove(QStringLiteral("POST /api/request-challenge"));
    }
}

// At the window's usual width the busy word takes the tempo's room, shortened where it must
// be (the whole word in its tooltip), and never clips the position or the length; it ends
// with its work, also when a custom search cannot start.
TEST_F(WindowLyricsSources, BusyWordLeavesTheTimesWholeAndEndsWithItsWork)
{
    mp.lengthMsValue = 185'400;
    auto f = window(false);
    f->show();
    f->resize(367, f->height());
    f->PlayNextSong(0);
    settle(*f);
    route(kGet + "&duration=185", record("", "Slow words"), 1.5);
    // The fetch waits nested: what the bar shows meanwhile is seen from a timer.
    bool seen = false;
    auto* poll = new QTimer(f.get());
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, f.get(), [&] {
        if (f->lbusy2->toolTip() != QStringLiteral("busy (database)")) return;
        poll->stop();
        seen = true;
        for (QLabel* time : {f->ltime, f->itime})
            EXPECT_GE(time->width(), time->fontMetrics().horizontalAdvance(time->text()))
                << time->text().toStdString();
        EXPECT_FALSE(f->lbpm->isVisible());
        EXPECT_LE(f->lbusy2->fontMetrics().horizontalAdvance(f->lbusy2->text()),
                  f->lbusy2->width());
    });
    poll->start();
    f->Lyricsdatabase1Click();
    ASSERT_TRUE(waitUntil([&] { return memo(*f) == "Slow words"; }));
    EXPECT_TRUE(seen);
    EXPECT_EQ(f->lbusy2->text(), QString());
    EXPECT_TRUE(f->lbpm->isVisible());

    qputenv("LARKSPUR_SEARCH_URL", "ftp://127.0.0.1/");
    services.askText = [](const std::string&, std::string& text) {
        text = "words";
        return true;
    };
    auto g = window(false);
    EXPECT_THROW(g->Customsearch1Click(), std::runtime_error);
    EXPECT_EQ(g->lbusy2->text(), QString());
}
