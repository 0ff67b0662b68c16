// The lyrics of the playing song on the real window, against a loopback server playing the
// search engine and the lyrics sites.

#include "app/TForm1.h"
#include "app/core/Settings.h"
#include "app/core/SettingsStore.h"
#include "files/ReplaceFile.h"
#include "lyrics/LyricsFile.h"
#include "lyrics/LyricsSearch.h"
#include "playback/PlayLog.h"
#include "support/FakeMediaPlayer.h"
#include "support/HttpPythonServer.h"
#include "support/QuietServices.h"
#include "support/TestFiles.h"
#include "web/BrowserDocument.h"

#include <QAction>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace larkspur;
using larkspur::test::FakeMediaPlayer;
using larkspur::test::readFile;
using larkspur::test::TempDir;
using larkspur::test::writeFile;

namespace {

const std::string kCorpus = LARKSPUR_SOURCE_DIR "/../shared/corpus/html/";
const std::string kQuery = "/search?sourceid=navclient&hl=de&ie=UTF-8&oe=UTF-8&q=";

// A result page in the old markup: one "<p class=g>" block per result, then an optional
// "<p class=fl>" link.
std::string resultPage(const std::vector<std::string>& links, const std::string& fallback = {})
{
    std::string page = "<html><body><div id=res>";
    for (const auto& link : links)
        page += "<p class=g><a class=l href=\"http://127.0.0.1:{PORT}/" + link + "\">" + link +
                "</a><br>snippet</p>";
    if (!fallback.empty())
        page += "<p class=fl><a href=\"http://127.0.0.1:{PORT}/" + fallback + "\">more</a>";
    return page + "</div></body></html>";
}

std::string page(const std::string& text)
{
    return "<html><head><title>t</title></head><body><div>" + text + "</div></body></html>";
}

class WindowLyrics : public ::testing::Test
{
protected:
    void SetUp() override
    {
        server = test::startLyricsSites(site.path());
        qputenv("LARKSPUR_SEARCH_URL", QByteArray::fromStdString(server->url("")));
        song = dir.file("The Band - Some Song.mp3");
        other = dir.file("Other Band - Other Song.mp3");
        writeFile(song, "x");
        writeFile(other, "x");
        list = dir.file("list.txt");
        writeFile(list, "0|" + song + "\r\n0|" + other + "\r\n");
        services.mp = &mp;
        services.settings = &store;
        test::makeQuiet(services, dir.path(), &errors);
    }
    void TearDown() override { qunsetenv("LARKSPUR_SEARCH_URL"); }

    // The window with the first song playing and the search switched on.
    std::unique_ptr<TForm1> startSearching()
    {
        auto f = std::make_unique<TForm1>(services);
        f->FormCreate({QString::fromStdString(list)});
        f->PlayNextSong(0);
        f->srchen->trigger();
        return f;
    }

    std::string memo(TForm1& f) { return f.memo1->toPlainText().toStdString(); }

    template <typename F> bool waitUntil(F cond, int ms = 8000)
    {
        QElapsedTimer t;
        t.start();
        while (!cond() && t.elapsed() < ms) QTest::qWait(10);
        return cond();
    }

    std::string requests() { return readFile(site.file("requests.log")); }

    // A fetch waits in a nested event loop, so what happens meanwhile happens from a timer,
    // as the song-end tick or a click would.
    void whenBusy(TForm1& f, std::function<void()> act, bool page = false)
    {
        auto* poll = new QTimer(&f);
        poll->setInterval(20);
        QObject::connect(poll, &QTimer::timeout, &f, [poll, &f, act, page] {
            if (f.lbusy2->text() != QStringLiteral("busy")) return;
            if (f.WebBrowser1->isLoading() != page) return;
            poll->stop();
            act();
        });
        poll->start();
    }

    TempDir dir, site;
    std::unique_ptr<test::HttpPythonServer> server;
    std::string song, other, list;
    FakeMediaPlayer mp;
    MapSettingsStore store;
    FormServices services;
    std::vector<std::string> errors;
};

} // namespace

TEST_F(WindowLyrics, LyricsFileIsShownWithoutAnyRequest)
{
    writeFile(dir.file("The Band - Some Song.lyr"), "la la\r\nla\n\rend");
    auto f = std::make_unique<TForm1>(services);
    f->srchen->setChecked(true); // even with the search on, the file ends a song start
    f->FormCreate({QString::fromStdString(list)});
    f->PlayNextSong(0);
    EXPECT_EQ(memo(*f), "la la\nla\nend");
    EXPECT_FALSE(f->AutoLyricsPending);
    QTest::qWait(300);
    EXPECT_EQ(requests(), "");

    // Switched on again by hand: the file, then the search all the same.
    f->srchen->trigger();
    f->srchen->trigger();
    EXPECT_TRUE(waitUntil([&] { return memo(*f) == "Search: the+band - some+song"; }));
    EXPECT_TRUE(waitUntil([&] { return !requests().empty(); }));
}

TEST_F(WindowLyrics, FirstResultOfTheSearchEndsInTheMemo)
{
    if (!QFile::exists(QString::fromStdString(kCorpus + "lyricsscrapernet__AZLyrics_Lyrics_HtmlPage_01.html")))
        GTEST_SKIP() << "lyrics page corpus not found";
    writeFile(site.file("search.html"), resultPage({"az.html", "second.html"}));
    writeFile(site.file("az.html"), readFile(kCorpus + "lyricsscrapernet__AZLyrics_Lyrics_HtmlPage_01.html"));
    writeFile(site.file("second.html"), page("Second result text"));
    auto f = startSearching();
    EXPECT_EQ(f->SearchTerm, "the band some song");
    ASSERT_TRUE(waitUntil([&] { return memo(*f).find("I spoke a vow today") != std::string::npos; }))
        << memo(*f);
    EXPECT_NE(memo(*f).find("\nAnd asked if god would come and play\n"), std::string::npos);
    EXPECT_NE(requests().find(kQuery + "%22lyrics%22+%22the+band%22+%22some+song%22\n"),
              std::string::npos)
        << requests();
    EXPECT_NE(requests().find("/az.html\n"), std::string::npos) << requests(); // no "%20"
    EXPECT_EQ(f->lbusy2->text(), QString());

    f->nlyricClick(); // the second result
    ASSERT_TRUE(waitUntil([&] { return memo(*f) == "Second result text"; })) << memo(*f);
    const std::string before = requests();
    f->nlyricClick(); // past the last: nothing happens
    QTest::qWait(300);
    EXPECT_EQ(memo(*f), "Second result text");
    EXPECT_EQ(requests(), before);
    EXPECT_EQ(f->statusText(), "There is no further result.");
    f->LookupLyrics(f->CurrentSong); // the next song's lookup: the old end is not its own
    EXPECT_EQ(f->statusText(), "");
}

TEST_F(WindowLyrics, FailedFetchesFallBackOrEndEmpty)
{
    struct Case
    {
        std::string search;
        std::string shown; // the memo at the end
        std::string status; // how the status line begins
        std::string lyr;    // the song's own lyrics file, if any
    };
    const std::string lyr = dir.file("The Band - Some Song.lyr");
    writeFile(site.file("fallback.html"),
              "<html><body><table><tr><td><table><tr><td>Banner</td></tr></table></td></tr></table>"
              "<p>Fallback lyrics</p></body></html>");
    const Case cases[] = {
        {resultPage({"missing.html"}, "fallback.html"), "Fallback lyrics", "", ""},
        {resultPage({"missing.html"}, "missing-too.html"), "", "Neither the result's page nor", ""},
        // A search that ends without lyrics gives back what the song had, never its promise.
        {resultPage({"missing.html"}), "", "The result's page could", ""},
        {"<html><body>No results</body></html>", "Own words", "The result page", "Own words"},
        {"down", "", "The search engine could not be reached: ", ""},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(lyr);
        if (!c.lyr.empty()) writeFile(lyr, c.lyr);
        writeFile(site.file("search.html"), c.search);
        if (c.search == "down") qputenv("LARKSPUR_SEARCH_URL", "http://127.0.0.1:1");
        writeFile(site.file("requests.log"), "");
        auto f = startSearching();
        // Done once the search engine and every page it leads to have answered.
        waitUntil([&] { return memo(*f) == c.shown && f->lbusy2->text().isEmpty(); }, 4000);
        QTest::qWait(400);
        EXPECT_EQ(memo(*f), c.shown) << c.search;
        EXPECT_EQ(f->lbusy2->text(), QString());
        EXPECT_EQ(f->statusText().rfind(c.status, 0), 0u) << f->statusText();
    }
    // While the search runs, its line is no lyrics: F9 writes nothing, typed words it saves.
    std::filesystem::remove(lyr);
    qputenv("LARKSPUR_SEARCH_URL", QByteArray::fromStdString(server->url("/slow")));
    auto f = startSearching();
    ASSERT_TRUE(waitUntil([&] { return memo(*f) == "Search: the+band - some+song"; }));
    f->Quicksave1Click();
    EXPECT_EQ(f->statusText(), "Nothing to save: the search has not found lyrics yet.");
    EXPECT_FALSE(std::filesystem::exists(lyr));
    f->memo1->insertPlainText(QStringLiteral("Typed "));
    f->Quicksave1Click();
    EXPECT_EQ(readFile(lyr), "Typed Search: the+band - some+song");
    qputenv("LARKSPUR_SEARCH_URL", QByteArray::fromStdString(server->url("")));
}

// The busy label ends the waiting fetch: the fallback runs at once.
TEST_F(WindowLyrics, LargeHostilePageIsHarvestedAside)
{
    // 3 MB: decoded, cleaned, staged and parsed on threads of their own.
    std::string junk;
    for (int i = 0; i < 100000; ++i)
        junk += "<script>var a=1;</script><span>";
    writeFile(site.file("big.html"), page("<p>Real lyrics line</p>" + junk + "la la"));
    writeFile(site.file("search.html"), resultPage({"big.html"}));
    auto f = startSearching();
    EXPECT_TRUE(waitUntil([&] { return memo(*f).starts_with("Real lyrics line"); }, 30000));
    EXPECT_NE(memo(*f).find("la la"), std::string::npos);
    EXPECT_EQ(memo(*f).find("var a"), std::string::npos);
}

TEST_F(WindowLyrics, BusyLabelCancelsTheWaitingFetch)
{
    writeFile(site.file("search.html"), resultPage({"slow/page.html?s=30"}, "quick.html"));
    writeFile(site.file("page.html"), page("Too late"));
    writeFile(site.file("quick.html"), page("Quick text"));
    auto f = startSearching();
    f->show();
    const int bpm = f->lbpm->text().toInt();
    std::string said; // right after the click
    whenBusy(*f, [&] {
        QTest::mouseClick(f->lbusy2, Qt::LeftButton);
        said = f->statusText();
    });
    ASSERT_TRUE(waitUntil([&] { return memo(*f) == "Quick text"; }, 5000)) << memo(*f);
    EXPECT_EQ(f->lbusy2->text(), QString());
    EXPECT_EQ(said, "Cancelled.");
    EXPECT_EQ(f->lbpm->text().toInt(), bpm); // no tempo tap
}

// The result page's load shows the busy word too, and a click stops it for good.
TEST_F(WindowLyrics, BusyLabelStopsTheLoadingResultPage)
{
    qputenv("LARKSPUR_SEARCH_URL", QByteArray::fromStdString(server->url("/slow")));
    writeFile(site.file("search.html"), resultPage({"page.html"}));
    auto f = startSearching();
    whenBusy(*f, [&] { f->lbusyClick(); }, true);
    ASSERT_TRUE(waitUntil([&] { return f->statusText() == "Cancelled."; }, 1500));
    EXPECT_EQ(f->lbusy2->text(), QString());
    QTest::qWait(2500); // the server answers the search after 2 s
    EXPECT_EQ(requests().find("/page.html"), std::string::npos) << requests();
}

// A page that arrives after the song changed belongs to the old song: it is not shown, and
// neither is its staged page; switching the search off while a page loads works the same.
TEST_F(WindowLyrics, StaleAnswersNeverLandOnTheNextSong)
{
    writeFile(site.file("search.html"), resultPage({"slow/page.html?s=1.5"}));
    writeFile(site.file("page.html"), page("Old song's lyrics"));
    writeFile(dir.file("Other Band - Other Song.lyr"), "Other lyrics");
    auto f = startSearching();
    bool changed = false;
    whenBusy(*f, [&] {
        f->PlayNextSong(1); // a new song while the fetch waits
        changed = memo(*f) == "Other lyrics";
    });
    ASSERT_TRUE(waitUntil([&] { return changed && f->lbusy2->text().isEmpty(); }, 5000));
    QTest::qWait(500);
    EXPECT_EQ(memo(*f), "Other lyrics");

    f.reset();
    auto g = startSearching();
    bool off = false;
    whenBusy(*g, [&] {
        g->srchen->trigger(); // off
        off = true;
    });
    ASSERT_TRUE(waitUntil([&] { return off && g->lbusy2->text().isEmpty(); }, 5000));
    QTest::qWait(500);
    EXPECT_EQ(memo(*g), "Search: the+band - some+song");
}

TEST_F(WindowLyrics, QuickSaveRoundTripAndCustomSearch)
{
    writeFile(site.file("search.html"), "<html><body>nothing</body></html>");
    auto f = std::make_unique<TForm1>(services);
    f->FormCreate({QString::fromStdString(list)});
    f->PlayNextSong(0);
    f->memo1->setPlainText(QStringLiteral("Erste Zeile\nZweite Größe"));
    f->Quicksave1Click();
    const auto lyr = dir.file("The Band - Some Song.lyr");
    EXPECT_EQ(readFile(lyr), "Erste Zeile\r\nZweite Größe");
    f->memo1->clear();
    f->PlayNextSong(0);
    EXPECT_EQ(memo(*f), "Erste Zeile\nZweite Größe");
    writeFile(lyr, "Gr\xF6\xDF" "e"); // written by an older program
    f->PlayNextSong(0);
    EXPECT_EQ(memo(*f), "Größe");

    // A save that cannot be written, beside the song nor in the store, keeps the old file and
    // says why in one line.
    writeFile(dir.file("no-store"), "");
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dir.file("no-store")));
    ::mkdir((lyr + ".saving").c_str(), 0700);
    f->memo1->setPlainText(QStringLiteral("new"));
    f->Quicksave1Click();
    EXPECT_EQ(readFile(lyr), "Gr\xF6\xDF" "e");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].find('\n'), std::string::npos);
    EXPECT_NE(errors[0].find(lyr), std::string::npos);
    qunsetenv("XDG_DATA_HOME");

    std::string proposal;
    services.askText = [&](const std::string& p, std::string& text) {
        proposal = p;
        text = "big \"band\" Größe";
        return true;
    };
    auto g = std::make_unique<TForm1>(services);
    g->FormCreate({});
    g->CurrentSong = song;
    g->LookupLyrics("The Band - Some Song.mp3");
    EXPECT_FALSE(g->srchen->isChecked());
    g->Customsearch1Click();
    EXPECT_EQ(proposal, "lyrics the band some song ");
    EXPECT_TRUE(g->srchen->isChecked());
    ASSERT_TRUE(waitUntil([&] { return !requests().empty(); }));
    EXPECT_EQ(requests(), kQuery + "big+%22band%22+Gr%C3%B6%C3%9Fe\n");
}

TEST_F(WindowLyrics, TextsTooLongForTheMemoAreSavedOnlyAsTheFileHeldThem)
{
    const std::string big = // 732 KB
        QByteArray("Größe und Zeilen eines Liedes\r\n").repeated(22720).toStdString();
    const std::string lyr = dir.file("The Band - Some Song.lyr"), copy = dir.file("copy.txt");
    services.askSaveFile = [&](const SaveProposal&) { return copy; };
    auto f = std::make_unique<TForm1>(services);
    f->FormCreate({QString::fromStdString(list)});
    for (const std::string& bytes : {big, "a\r\n" + std::string(7000, 'w') + "\r\nb"}) {
        writeFile(lyr, bytes);
        f->PlayNextSong(0);
        EXPECT_TRUE(waitUntil([&] { return f->memo1->isReadOnly(); }));
        f->Quicksave1Click();
        f->Speichern1Click();
        EXPECT_TRUE(readFile(lyr) == bytes && readFile(copy) == bytes);
        EXPECT_NE(f->statusText().find("left as it is"), std::string::npos);
    }
    EXPECT_EQ(f->memo1->blockCount(), 3); // the long line stays one line
    f->PlayNextSong(1);
    EXPECT_FALSE(f->memo1->isReadOnly()); // a whole text again
}

TEST_F(WindowLyrics, ToolPrintsWhatTheWindowWouldShow)
{
    const QString tool = QStringLiteral(LARKSPUR_BINARY_DIR "/larkspur-tool");
    writeFile(site.file("search.html"), resultPage({"one.html", "two.html"}));
    writeFile(site.file("one.html"), page("First<br>text"));
    writeFile(site.file("two.html"), page("Second text"));
    writeFile(dir.file("Other Band - Other Song.lyr"), "From the file");
    struct Case
    {
        QStringList args;
        int status;
        std::string out;
    };
    const Case cases[] = {
        {{QString::fromStdString(song)}, 0, "First\r\ntext\n"},
        {{QStringLiteral("--next"), QStringLiteral("1"), QString::fromStdString(song)}, 0, "Second text\n"},
        {{QStringLiteral("--next"), QStringLiteral("2"), QString::fromStdString(song)}, 1, ""},
        {{QString::fromStdString(other)}, 0, "From the file\n"},
        {{QString::fromStdString(dir.file("(intro).mp3"))}, 1, ""}, // no words: nothing to wait for
    };
    for (const auto& c : cases) {
        QProcess p;
        p.start(tool, QStringList{QStringLiteral("lyrics")} + c.args);
        ASSERT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitCode(), c.status) << c.args.join(QStringLiteral(" ")).toStdString();
        EXPECT_EQ(p.readAllStandardOutput().toStdString(), c.out);
        if (c.status != 0) {
            EXPECT_FALSE(p.readAllStandardError().trimmed().isEmpty());
        }
    }
}

// At a song start a lyrics source that cannot be read, or a search that cannot start, costs
// the lyrics and is said in the status line; the song plays and counts once. Asked for by
// the user, the same error reaches the error report.
TEST_F(WindowLyrics, SourcesThatCannotBeReadNeverCostTheSong)
{
    const std::string lyr = dir.file("The Band - Some Song.lyr");
    const std::string lrc = dir.file("The Band - Some Song.lrc");
    const std::string kUnreadable = "Cannot read the lyrics file \"The Band - Some Song.lyr\":";
    struct Case
    {
        std::string name;
        std::function<void()> arrange;
        bool search;
        std::string status; // begins so
        std::string memo;
    };
    const Case cases[] = {
        {"a folder", [&] { std::filesystem::create_directory(lyr); }, false,
         kUnreadable, ""},
        {"a FIFO", [&] { ::mkfifo(lyr.c_str(), 0600); }, false,
         kUnreadable, ""},
        {"a folder beside a timed file",
         [&] {
             std::filesystem::create_directory(lyr);
             writeFile(lrc, "[00:01.00]Timed line\n");
         },
         false, kUnreadable, "Timed line"},
        {"a search that cannot start",
         [&] { qputenv("LARKSPUR_SEARCH_URL", "ftp://127.0.0.1/"); }, true,
         "The web search could not start", ""},
    };
    services.askText = [](const std::string&, std::string& text) {
        text = "words";
        return true;
    };
    store.values[kLyricsDatabase] = "0"; // its answer would take the status line
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(lyr);
        std::filesystem::remove(lrc);
        c.arrange();
        writeFile(list, "0|" + song + "\r\n");
        writeFile(dir.file("log.txt"), "");
        mp.opened.clear();
        auto f = std::make_unique<TForm1>(services);
        f->srchen->setChecked(c.search);
        f->FormCreate({QString::fromStdString(list)});
        EXPECT_EQ(mp.current(), song);
        EXPECT_EQ(mp.mode(), PlayerMode::Playing);
        EXPECT_EQ(mp.opened.size(), 1u);
        EXPECT_EQ(f->dl.get(0), "1|" + song);
        EXPECT_EQ(readFile(dir.file("log.txt")).find(kLogPlayFailure), std::string::npos);
        EXPECT_TRUE(waitUntil([&] { return f->statusText().rfind(c.status, 0) == 0; }))
            << f->statusText();
        EXPECT_EQ(memo(*f), c.memo);
        // Asked for by hand, the error is the user's to see.
        if (c.search) {
            EXPECT_THROW(f->Customsearch1Click(), std::runtime_error);
        } else {
            errors.clear();
            f->srchen->setChecked(true);
            f->srchenClick();
            f->srchen->setChecked(false);
            f->srchenClick();
            EXPECT_TRUE(waitUntil([&] { return errors.size() == 2; }));
            for (const std::string& e : errors)
                EXPECT_EQ(e.rfind("Cannot read the lyrics file", 0), 0u) << e;
        }
        qputenv("LARKSPUR_SEARCH_URL", QByteArray::fromStdString(server->url("")));
    }
}

// Without a cache folder there is no staging file, and the page is rendered all the same,
// in the window and in the tool.
TEST_F(WindowLyrics, HarvestWithoutCacheFolder)
{
    writeFile(site.file("search.html"), resultPage({"one.html"}));
    writeFile(site.file("one.html"), page("Text without a file"));
    const QByteArray cache = qgetenv("XDG_CACHE_HOME");
    writeFile(dir.file("not-a-folder"), "");
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(dir.file("not-a-folder/cache")));
    auto f = startSearching();
    EXPECT_TRUE(waitUntil([&] { return memo(*f) == "Text without a file"; })) << memo(*f);
    QProcess p;
    p.start(QStringLiteral(LARKSPUR_BINARY_DIR "/larkspur-tool"),
            {QStringLiteral("lyrics"), QString::fromStdString(song)});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.readAllStandardOutput().toStdString(), "Text without a file\n");
    qputenv("XDG_CACHE_HOME", cache);
}

// Global actions (hotkeys, the portal, MPRIS) that arrive while a fetch waits are held until
// it ends and then run once each, merged as the newest request or the switch's parity wants;
// none runs inside another handler. A flood while a large lyrics file is read costs no stack.
TEST_F(WindowLyrics, GlobalActionsFloodingAWaitRunWhenItEndsNeverInsideIt)
{
    writeFile(site.file("search.html"), resultPage({"slow/one.html?s=1.5"}));
    writeFile(site.file("one.html"), page("Slow lyrics"));
    auto f = startSearching();
    f->voltr->setValue(100);
    const auto press = [&](const char* text, int times) {
        for (int i = 0; i < times; ++i)
            emit f->hkmng->OnHotKeyPressed(ParseHotKey(QString::fromLatin1(text), false), 0);
    };
    const MprisControl bus = f->mprisControl();
    const bool searching = f->srchen->isChecked();
    const std::size_t opened = mp.opened.size();
    bool ranInside = true;
    whenBusy(*f, [&] {
        press("Ctrl+Shift+E", 1001); // a switch flipped an odd number of times
        press("Ctrl+Shift+P", 4);    // and an even one
        press("Ctrl+Shift+1", 3);    // steps add up
        press("Ctrl+Shift+N", 100);  // the newest Next runs once
        bus.setVolume(0.3);
        bus.setVolume(0.5); // the newest volume wins, after the steps asked earlier
        ranInside = f->srchen->isChecked() != searching || f->voltr->value() != 100 ||
                    mp.opened.size() != opened;
    });
    ASSERT_TRUE(waitUntil([&] { return f->globalActions->held() == 0 && !ranInside; }));
    EXPECT_TRUE(waitUntil([&] { return mp.opened.size() == opened + 1; }));
    EXPECT_NE(f->srchen->isChecked(), searching);
    EXPECT_EQ(f->Pause1->text(), QStringLiteral("&Pause"));
    EXPECT_EQ(f->voltr->value(), 50);
    EXPECT_EQ(f->globalActions->deepest(), 1);

    // A flood while the lyrics file is read beside the window.
    std::string large;
    while (large.size() < 200 * 1024)
        large += "A line of lyrics long enough to make the file large\r\n";
    writeFile(dir.file("The Band - Some Song.lyr"), large + "end");
    f->PlayNextSong(0);
    for (int i = 0; i < 10001; ++i)
        QMetaObject::invokeMethod(f.get(), [&] { press("Ctrl+Shift+E", 1); }, Qt::QueuedConnection);
    EXPECT_TRUE(waitUntil([&] { return memo(*f).ends_with("end"); })) << memo(*f).size();
    EXPECT_EQ(f->globalActions->deepest(), 1);
}

// F9 says where it saved; a folder that takes no file sends the lyrics to the lyrics store,
// where the next lookup finds them.
TEST_F(WindowLyrics, QuicksaveSaysWhereAndUsesTheStoreWhenTheFolderTakesNoFile)
{
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dir.file("data")));
    const std::string lyr = dir.file("The Band - Some Song.lyr");
    auto f = std::make_unique<TForm1>(services);
    f->FormCreate({QString::fromStdString(list)});
    f->PlayNextSong(0);
    ASSERT_TRUE(waitUntil([&] { return !f->lyricsSearch().readingFiles(); }));
    f->memo1->setPlainText(QStringLiteral("Beside"));
    f->Quicksave1Click();
    EXPECT_EQ(f->statusText(), "Saved \"The Band - Some Song.lyr\" beside the song.");
    EXPECT_EQ(readFile(lyr), "Beside");

    std::filesystem::remove(lyr);
    std::filesystem::create_directory(savingFile(lyr)); // the folder takes no new file
    f->memo1->setPlainText(QStringLiteral("Stored"));
    f->Quicksave1Click();
    const std::string stored = dir.file("data/larkspur/lyrics");
    EXPECT_EQ(f->statusText(), "Saved \"The Band - Some Song.lyr\" in the lyrics store (" +
                                   stored + "): the song's folder takes no file.");
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(readFile(stored + lyr), "Stored");
    f->PlayNextSong(0);
    EXPECT_TRUE(waitUntil([&] { return memo(*f) == "Stored"; })) << memo(*f);
    qunsetenv("XDG_DATA_HOME");
}

// A slow result page shows the busy word from its first moment, and the lengths meanwhile;
// the word ends when the lyrics are shown.
TEST_F(WindowLyrics, SlowResultPageIsBusyFromItsFirstMoment)
{
    qputenv("LARKSPUR_SEARCH_URL", QByteArray::fromStdString(server->url("/slow")));
    writeFile(site.file("search.html"), resultPage({"slow/one.html?s=1"}));
    writeFile(site.file("one.html"), page("Found at last"));
    auto f = startSearching();
    EXPECT_TRUE(waitUntil([&] { return f->lbusy2->text() == QStringLiteral("busy"); }, 500));
    EXPECT_FALSE(f->itime->text().isEmpty());
    EXPECT_TRUE(waitUntil([&] { return memo(*f) == "Found at last"; }));
    EXPECT_TRUE(waitUntil([&] { return f->lbusy2->text().isEmpty(); }));
    qputenv("LARKSPUR_SEARCH_URL", QByteArray::fromStdString(server->url("")));
}
