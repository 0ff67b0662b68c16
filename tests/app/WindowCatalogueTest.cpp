// The lyrics catalogue search on the real window, and larkspur-tool catalogue, against a
// loopback server playing the catalogue site.

#include "app/TForm1.h"
#include "app/core/SettingsStore.h"
#include "support/FakeMediaPlayer.h"
#include "support/HttpPythonServer.h"
#include "support/QuietServices.h"
#include "support/TestFiles.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <gtest/gtest.h>

using namespace larkspur;
using larkspur::test::FakeMediaPlayer;
using larkspur::test::readFile;
using larkspur::test::TempDir;
using larkspur::test::writeFile;

namespace {

const std::string kFront = "<html><frameset><frame name=\"top\" src=\"top.php?a=b\">"
                           "<frame name=\"menu\" src=\"menu.php?sid=S1\"></frameset></html>";

// A result page in Latin-1: `rows` hits named prefix + index, linked to song<index>.html.
std::string resultPage(const std::string& count, const std::string& range, int rows,
                       const std::string& prefix = "Song")
{
    std::string page =
        "<html><body>Ergebnisse <b>" + range + "</b> von insgesamt <b>" + count + "</b><br>";
    for (int i = 0; i < rows; ++i) {
        const std::string n = std::to_string(i);
        page += "<div style=\"margin-left:5px\"><font face=\"Arial\"><a href=\"song" + n +
                ".html\">" + prefix + " " + n + "</a></font><br><font size=\"2\">Text " + n +
                " f\xFCr dich</div>\n";
    }
    return page + "</body></html>";
}

class WindowCatalogue : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        server = std::make_unique<test::HttpPythonServer>(
            QStringLiteral(LARKSPUR_SOURCE_DIR "/tests/support/CatalogueSite.py"),
            QStringList{QString::fromStdString(site.path())});
        qputenv("LARKSPUR_CATALOGUE_URL", QByteArray::fromStdString(server->url("")));
        writeFile(site.file("front.html"), kFront);
        services.mp = &mp;
        services.settings = &store;
        test::makeQuiet(services, dir.path(), &errors);
        f = std::make_unique<TForm1>(services);
        f->FormCreate({});
        f->show();
        f->Versebank1Click();
    }
    void TearDown() override
    {
        f.reset();
        qunsetenv("LARKSPUR_CATALOGUE_URL");
    }

    void search(const QString& text)
    {
        f->editsrch->setText(text);
        f->btnsrch->click(); // the search bar runs the catalogue search
    }
    std::string requests() { return readFile(site.file("requests.log")); }
    std::string takeRequests()
    {
        const std::string r = requests();
        writeFile(site.file("requests.log"), "");
        return r;
    }
    std::string searchRequest(const std::string& query, const std::string& by, int offset)
    {
        return "/suche.php?sid=S1&query=" + query + "&search=" + by +
               "&offset=" + std::to_string(offset) + "&viewperpage=10\n";
    }
    std::vector<std::string> titles()
    {
        std::vector<std::string> t;
        for (int i = 0; i < f->lb->topLevelItemCount(); ++i)
            t.push_back(f->lb->topLevelItem(i)->text(0).toStdString());
        return t;
    }
    using Titles = std::vector<std::string>;
    template <typename F> bool waitUntil(F cond, int ms = 8000)
    {
        QElapsedTimer t;
        t.start();
        while (!cond() && t.elapsed() < ms)
            QTest::qWait(10);
        return cond();
    }
    // A fetch waits in a nested event loop: what happens meanwhile comes from a timer.
    void whenBusy(std::function<void()> act)
    {
        auto* poll = new QTimer(f.get());
        poll->setInterval(20);
        QObject::connect(poll, &QTimer::timeout, f.get(), [this, poll, act] {
            if (f->lbusy->text() != QStringLiteral("busy")) return;
            poll->stop();
            act();
        });
        poll->start();
    }

    TempDir dir, site;
    std::unique_ptr<test::HttpPythonServer> server;
    FakeMediaPlayer mp;
    MapSettingsStore store;
    FormServices services;
    std::vector<std::string> errors;
    std::unique_ptr<TForm1> f;
};

} // namespace

TEST_F(WindowCatalogue, SessionOnceThenOneRequestPerSearch)
{
    EXPECT_TRUE(f->stitle->isChecked());
    EXPECT_FALSE(f->btnb->isEnabled());
    EXPECT_FALSE(f->btnn->isEnabled());
    EXPECT_EQ(f->lpos->text(), QStringLiteral("1-10"));
    EXPECT_EQ(f->lanz->text(), QStringLiteral("0"));

    search(QString()); // nothing to search for: nothing sent
    EXPECT_EQ(requests(), "");

    writeFile(site.file("search.html"), "<html>Leider kein Ergebnis</html>");
    search(QStringLiteral("Ärger im Paradies"));
    EXPECT_EQ(takeRequests(), "/\n" + searchRequest("%C4rger+im+Paradies", "title", 0));
    EXPECT_EQ(f->lanz->text(), QStringLiteral("0"));

    // Nothing found left no hit count: the session is fetched again.
    writeFile(site.file("search.html"), resultPage("25", "1-10", 10));
    f->sfull->setChecked(true);
    search(QStringLiteral("a b"));
    EXPECT_EQ(takeRequests(), "/\n" + searchRequest("a+b", "body", 0));
    EXPECT_EQ(f->lanz->text(), QStringLiteral("25"));
    EXPECT_EQ(f->lpos->text(), QStringLiteral("1-10"));
    ASSERT_EQ(titles().size(), 10);
    EXPECT_EQ(titles().front(), "Song 0");
    EXPECT_EQ(f->lb->topLevelItem(3)->text(1), QStringLiteral("Text 3 für dich")); // Latin-1
    EXPECT_EQ(f->lb->topLevelItem(3)->text(2), QStringLiteral("song3.html"));
    EXPECT_TRUE(f->lb->isColumnHidden(2));
    EXPECT_TRUE(f->lb->hasFocus());

    search(QStringLiteral("c"));
    EXPECT_EQ(takeRequests(), searchRequest("c", "body", 0));

    // Nothing found: "0" and "1-10" whatever the page size; the buttons stay.
    writeFile(site.file("search.html"), "<html>kein Ergebnis</html>");
    f->EntriesPerPage = 25;
    search(QStringLiteral("d"));
    EXPECT_EQ(f->lanz->text(), QStringLiteral("0"));
    EXPECT_EQ(f->lpos->text(), QStringLiteral("1-10"));
    EXPECT_EQ(f->lb->topLevelItemCount(), 0);
    EXPECT_TRUE(f->btnn->isEnabled());
    EXPECT_EQ(f->CatalogueTotal, 25);
    EXPECT_TRUE(errors.empty());
}

TEST_F(WindowCatalogue, PagingThroughTwentyFiveHits)
{
    writeFile(site.file("search.html"), resultPage("25", "x", 10));
    search(QStringLiteral("love"));
    takeRequests();
    struct Step
    {
        QPushButton* button;
        int offset;
        bool back, next;
    };
    const Step steps[] = {
        {f->btnn, 10, true, true},
        {f->btnn, 20, true, false},
        {f->btnb, 10, true, true},
        {f->btnb, 0, false, true},
    };
    for (const auto& s : steps) {
        s.button->click();
        EXPECT_EQ(takeRequests(), searchRequest("love", "title", s.offset));
        EXPECT_EQ(f->btnb->isEnabled(), s.back) << s.offset;
        EXPECT_EQ(f->btnn->isEnabled(), s.next) << s.offset;
    }
    // Past either end nothing is sent.
    f->btnbClick();
    f->btnnClick();
    f->btnnClick();
    EXPECT_EQ(takeRequests(),
              searchRequest("love", "title", 10) + searchRequest("love", "title", 20));
    f->btnnClick();
    EXPECT_EQ(requests(), "");

    // Another text or mode starts at the first page; the same one stays where it is.
    struct Again
    {
        const char* text;
        bool full, page; // page: the forward button instead of a search
        std::string request;
    };
    const Again again[] = {
        {"love", false, false, searchRequest("love", "title", 20)},
        {"hate", false, false, searchRequest("hate", "title", 0)},
        {"hate", false, true, searchRequest("hate", "title", 10)},
        {"hate", true, false, searchRequest("hate", "body", 0)},
    };
    for (const auto& a : again) {
        (a.full ? f->sfull : f->stitle)->setChecked(true);
        if (a.page)
            f->btnn->click();
        else
            search(QString::fromUtf8(a.text));
        EXPECT_EQ(takeRequests(), a.request) << a.text;
    }
    EXPECT_FALSE(f->btnb->isEnabled());
    EXPECT_TRUE(f->btnn->isEnabled());
}

TEST_F(WindowCatalogue, CountsThatEndTheSearch)
{
    writeFile(site.file("search.html"), resultPage("25", "1-10", 3, "Old"));
    search(QStringLiteral("x"));
    struct Case
    {
        std::string count;
        size_t errors;
    };
    const Case cases[] = {{"1.234", 1}, {"123456", 0}, {"", 1}};
    for (const auto& c : cases) {
        errors.clear();
        writeFile(site.file("search.html"), resultPage(c.count, "11-20", 5, "New"));
        search(QStringLiteral("y"));
        EXPECT_EQ(errors.size(), c.errors) << c.count;
        if (c.errors) {
            EXPECT_NE(errors[0].find("'" + c.count + "'"), std::string::npos) << errors[0];
        }
        EXPECT_EQ(titles(), Titles({"Old 0", "Old 1", "Old 2"})) << c.count;
        EXPECT_EQ(f->lanz->text(), QStringLiteral("25"));
        EXPECT_EQ(f->lpos->text(), QStringLiteral("1-10"));
        EXPECT_EQ(f->CatalogueTotal, 25);
    }
}

TEST_F(WindowCatalogue, SelectingARowLoadsItsSongOverTimedLyricsAndDeselectingNothing)
{
    writeFile(dir.file("a - b.lrc"), "[00:00.00]Sung\r\n");
    f->CurrentSong = dir.file("a - b.mp3");
    f->LookupLyrics("a - b.mp3");
    ASSERT_FALSE(f->memo1->extraSelections().isEmpty());
    writeFile(site.file("search.html"), resultPage("20", "1-20", 20));
    writeFile(site.file("song11.html"),
              "<html><div class=\"song\">\nZw\xF6lf<br>\nGr\xFC\xDF<BR>e\n</div>end</html>");
    search(QStringLiteral("x"));
    takeRequests();
    f->lb->setCurrentItem(f->lb->topLevelItem(11));
    EXPECT_EQ(takeRequests(), "/song11.html\n");
    EXPECT_EQ(f->memo1->toPlainText(), QStringLiteral("Zwölf\nGrüße\n"));
    EXPECT_EQ(f->lbusy->text(), QString());
    EXPECT_TRUE(f->memo1->extraSelections().isEmpty() && !f->lrctmr->isActive());
    f->Quicksave1Click(); // the timed lyrics ended: the .lyr, not the .lrc
    EXPECT_EQ(readFile(dir.file("a - b.lyr")), "Zwölf\r\nGrüße\r\n");
    EXPECT_EQ(readFile(dir.file("a - b.lrc")), "[00:00.00]Sung\r\n");

    f->lb->clearSelection();
    QTest::qWait(200);
    EXPECT_EQ(requests(), "");
    EXPECT_EQ(f->memo1->toPlainText(), QStringLiteral("Zwölf\nGrüße\n"));

    bool allow = true;
    f->lbEditing(allow);
    EXPECT_FALSE(allow);
}

TEST_F(WindowCatalogue, QueriesAndLinksGoOutInLatin1)
{
    writeFile(site.file("search.html"),
              resultPage("1", "1-1", 0) + "<div style=\"margin-left:5px\"><font face=\"Arial\">"
                                          "<a href=\"caf\xE9.html\">C</a><font size=\"2\">x</div>");
    search(QStringLiteral("Beyoncé naïve ×"));
    EXPECT_EQ(takeRequests(), "/\n" + searchRequest("Beyonc%E9+na%EFve+%D7", "title", 0));
    EXPECT_EQ(f->statusText(), "");
    search(QStringLiteral("Sigur Rós – Hoppípolla €"));
    EXPECT_EQ(takeRequests(), searchRequest("Sigur+R%F3s+?+Hopp%EDpolla+?", "title", 0));
    EXPECT_NE(f->statusText().find("\"–€\" went out as \"?\""), std::string::npos);
    f->lb->setCurrentItem(f->lb->topLevelItem(0));
    EXPECT_EQ(takeRequests(), "/caf%E9.html\n");
}

TEST_F(WindowCatalogue, ExpiredSessionIsAskedAgainAndThenGivenUp)
{
    writeFile(site.file("search.1.html"), "<html>Die Session ist abgelaufen</html>");
    writeFile(site.file("search.html"), resultPage("3", "1-3", 3));
    search(QStringLiteral("x"));
    EXPECT_EQ(takeRequests(),
              "/\n" + searchRequest("x", "title", 0) + searchRequest("x", "title", 0));
    EXPECT_EQ(titles().size(), 3);

    // An expired song page repeats the search instead.
    writeFile(site.file("song1.html"), "<html>Die Session ist abgelaufen</html>");
    f->lb->setCurrentItem(f->lb->topLevelItem(1));
    EXPECT_EQ(takeRequests(), "/song1.html\n" + searchRequest("x", "title", 0));

    // A site that never stops saying so: a few repeats, then a message.
    writeFile(site.file("search.html"), "<html>Die Session ist abgelaufen</html>");
    search(QStringLiteral("z"));
    std::string expected;
    for (int i = 0; i <= 3; ++i)
        expected += searchRequest("z", "title", 0);
    EXPECT_EQ(takeRequests(), expected);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("session"), std::string::npos);
    EXPECT_EQ(titles().size(), 3);
}

TEST_F(WindowCatalogue, NewestRequestWinsWhileOneWaits)
{
    writeFile(site.file("search.1.html"), resultPage("25", "1-10", 2, "Slow"));
    writeFile(site.file("search.2.html"), resultPage("25", "1-10", 2, "Fast"));
    whenBusy([this] {
        // wait for the session fetch to end and the slow search to wait
        QTimer::singleShot(300, f.get(), [this] { search(QStringLiteral("fast")); });
    });
    search(QStringLiteral("slow"));
    EXPECT_EQ(titles(), Titles({"Fast 0", "Fast 1"}));
    QTest::qWait(2300); // past the slow answer
    EXPECT_EQ(titles(), Titles({"Fast 0", "Fast 1"}));
    EXPECT_EQ(f->lbusy->text(), QString());

    // A click on the busy label gives the waiting search up and changes nothing.
    writeFile(site.file("search.html"), resultPage("25", "1-10", 4, "Never"));
    whenBusy([this] { QTest::mouseClick(f->lbusy, Qt::LeftButton); });
    QElapsedTimer t;
    t.start();
    search(QStringLiteral("slow again"));
    EXPECT_LT(t.elapsed(), 1500);
    EXPECT_EQ(titles(), Titles({"Fast 0", "Fast 1"}));
    EXPECT_EQ(f->lbusy->text(), QString());
    EXPECT_TRUE(errors.empty());
}

TEST_F(WindowCatalogue, ToolPrintsRowsAndSongs)
{
    const QString tool = QStringLiteral(LARKSPUR_BINARY_DIR "/larkspur-tool");
    if (!QFileInfo::exists(tool)) GTEST_SKIP() << "larkspur-tool is not built";
    writeFile(site.file("search.html"), resultPage("12", "11-12", 2));
    writeFile(site.file("song1.html"), "<div class=\"song\">\nEins<br>\nZwei \xE4</div>");
    struct Case
    {
        std::vector<std::string> args;
        int status;
        std::string out, requests;
    };
    const Case cases[] = {
        {{"--full", "--offset", "10", "Öl See"},
         0,
         "Found: 12\nRange: 11-12\nSong 0\tText 0 für dich\tsong0.html\nSong 1\tText 1 für "
         "dich\tsong1.html\n",
         "/\n/suche.php?sid=S1&query=%D6l+See&search=body&offset=10&viewperpage=10\n"},
        {{"--song", "song1.html"}, 0, "Eins\nZwei ä\n", "/song1.html\n"},
        {{"--song", "missing.html"}, 1, "", "/missing.html\n"},
        {{"--offset", "x", "a"}, 2, "", ""},
    };
    for (const auto& c : cases) {
        QStringList args{QStringLiteral("catalogue")};
        for (const auto& a : c.args)
            args << QString::fromStdString(a);
        QProcess p;
        p.start(tool, args);
        ASSERT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitCode(), c.status) << args.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(p.readAllStandardOutput().toStdString(), c.out);
        const QByteArray err = p.readAllStandardError();
        if (c.status == 1) {
            EXPECT_EQ(err.count('\n'), 1) << err.toStdString();
        }
        EXPECT_EQ(takeRequests(), c.requests);
    }
}
