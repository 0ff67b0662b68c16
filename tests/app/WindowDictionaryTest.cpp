// The word translation on the real window and through larkspur-tool, against a loopback
// server playing the dictionary, the search engine and a lyrics site.

#include "app/TForm1.h"
#include "app/core/Settings.h"
#include "app/core/SettingsStore.h"
#include "support/FakeMediaPlayer.h"
#include "support/FifoRescue.h"
#include "support/HttpPythonServer.h"
#include "support/QuietServices.h"
#include "support/TestFiles.h"

#include <QAction>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>
#include <QTextCursor>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

using namespace larkspur;
using larkspur::test::FakeMediaPlayer;
using larkspur::test::readFile;
using larkspur::test::TempDir;
using larkspur::test::writeFile;

namespace {

const std::string kTail =
    "&searchLoc=0&relink=on&spellToler=std&sectHdr=on&tableBorder=1&cmpType=relaxed&lang=de";

const std::string kDictionaryPage = "<html><body><div>Suche nach Wörtern</div>"
                                    "<table><tr><th>ENGLISCH DEUTSCH</th></tr>"
                                    "<tr><td>wonderful</td><td>wunderbar</td></tr>"
                                    "<tr><td>wonderfully</td><td>herrlich</td></tr></table>"
                                    "<p>Legende: adj. Adjektiv</p><p>Impressum</p></body></html>";

// The local dictionaries of the offline tests: headwords in index order.
const std::vector<std::pair<std::string, std::string>> kEnglishGerman = {
    {"-", "-\n  Bindestrich\n"}, // its key is empty
    {"house", "house /haʊs/\n  Haus, Gebäude\n"},
    {"house", "house\n  Heim, Zuhause\n"},
    {"rock", "rock\n  Fels, Gestein\n"},
};
const std::vector<std::pair<std::string, std::string>> kGermanEnglish = {
    {"haus", "Haus\n  house, home\n"},
    {"rock", "Rock\n  skirt\n"},
};

// Writes "<dir>/<name>.index" and an uncompressed "<name>.dict" as dictfmt lays them out.
void writeDictd(const std::string& dir, const std::string& name,
                const std::vector<std::pair<std::string, std::string>>& entries)
{
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const auto base64 = [](std::size_t v) {
        std::string out;
        do {
            out.insert(out.begin(), digits[v % 64]);
            v /= 64;
        } while (v);
        return out;
    };
    std::string data, index;
    for (const auto& [headword, text] : entries) {
        index += headword + '\t' + base64(data.size()) + '\t' + base64(text.size()) + '\n';
        data += text;
    }
    writeFile(dir + "/" + name + ".index", index);
    writeFile(dir + "/" + name + ".dict", data);
}

class WindowDictionary : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        server = test::startLyricsSites(site.path());
        qputenv("LARKSPUR_SEARCH_URL", QByteArray::fromStdString(server->url("")));
        qputenv("LARKSPUR_DICTIONARY_URL", QByteArray::fromStdString(server->url("")));
        // The machine's own dictionaries never answer for a test.
        qputenv("LARKSPUR_DICTD_DIR", QByteArray::fromStdString(noDictd.path()));
        writeDictd(dictd.path(), "freedict-eng-deu", kEnglishGerman);
        writeDictd(dictd.path(), "freedict-deu-eng", kGermanEnglish);
        writeFile(site.file("index.html"), kDictionaryPage);
        writeFile(site.file("search.html"),
                  "<html><body><p class=g><a href=\"http://127.0.0.1:{PORT}/one.html\">one</a>"
                  "</body></html>");
        writeFile(site.file("one.html"), "<html><body><div>Song text</div></body></html>");
        song = dir.file("The Band - Some Song.mp3");
        other = dir.file("Other Band - Other Song.mp3");
        writeFile(song, "x");
        writeFile(other, "x");
        list = dir.file("list.txt");
        writeFile(list, "0|" + song + "\r\n0|" + other + "\r\n");
        services.mp = &mp;
        // No database lookup at song start: its late word would take the status line.
        store.values[kLyricsDatabase] = "0";
        services.settings = &store;
        test::makeQuiet(services, dir.path(), &errors);
        services.askText = [](const std::string&, std::string& text) {
            text = "typed words";
            return true;
        };
    }
    void TearDown() override
    {
        qunsetenv("LARKSPUR_SEARCH_URL");
        qunsetenv("LARKSPUR_DICTIONARY_URL");
        qunsetenv("LARKSPUR_DICTD_DIR");
    }

    std::unique_ptr<TForm1> start()
    {
        auto f = std::make_unique<TForm1>(services);
        f->FormCreate({QString::fromStdString(list)});
        f->PlayNextSong(0);
        return f;
    }

    template <typename F> bool waitUntil(F cond, int ms = 8000)
    {
        QElapsedTimer t;
        t.start();
        while (!cond() && t.elapsed() < ms)
            QTest::qWait(10);
        return cond();
    }

    std::string requests() { return readFile(site.file("requests.log")); }
    static std::string text(QPlainTextEdit* edit) { return edit->toPlainText().toStdString(); }

    TempDir dir, site, dictd, noDictd;
    std::unique_ptr<test::HttpPythonServer> server;
    std::string song, other, list;
    FakeMediaPlayer mp;
    MapSettingsStore store;
    FormServices services;
    std::vector<std::string> errors;
};

} // namespace

// The word from the selection or the caret, as the dictionary gets it, and the page's
// entries in the translation frame.
TEST_F(WindowDictionary, WordGoesToTheDictionaryAndItsEntriesToTheFrame)
{
    struct Case
    {
        QString memo;
        int anchor;        // where the selection starts, in characters; -1: none
        int caret;         // in characters
        std::string query; // as the dictionary receives it
    };
    const QString lyrics = QStringLiteral("Größe wonderful\nMädchen dog day\nrock & roll");
    const int mae = int(lyrics.indexOf(QStringLiteral("Mädchen")));
    const Case cases[] = {
        {lyrics, -1, 15, "wonderful"},            // after it, umlauts before it on the line
        {lyrics, -1, 9, "wonderful"},             // inside
        {lyrics, -1, mae + 7, "dchen"},           // its umlaut's bytes are no letters
        {lyrics, -1, mae + 8, ""},                // right before a word, after a blank
        {lyrics, -1, int(lyrics.size()), "roll"}, // last word, no line break after it
        {lyrics, mae + 8, mae + 12, "dog%20"},    // a selection keeps its blank
        {lyrics, int(lyrics.indexOf(QStringLiteral("rock"))), int(lyrics.size()),
         "rock%20%26%20roll"},
        {lyrics, 12, mae + 3, "ful%0D%0AM%C3%A4d"}, // across a line break: CR LF
    };
    auto f = start();
    for (const auto& c : cases) {
        writeFile(site.file("requests.log"), "");
        f->memotrns->clear();
        f->CloseAllFrames();
        f->memo1->setPlainText(c.memo);
        QTextCursor cursor = f->memo1->textCursor();
        if (c.anchor >= 0) cursor.setPosition(c.anchor);
        cursor.setPosition(c.caret,
                           c.anchor >= 0 ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor);
        f->memo1->setTextCursor(cursor);
        f->Translate1->trigger();
        EXPECT_TRUE(f->TranslationPending);
        ASSERT_TRUE(waitUntil([&] { return !f->memotrns->toPlainText().isEmpty(); })) << c.query;
        EXPECT_EQ(requests(), "/?search=" + c.query + kTail + "\n");
        EXPECT_FALSE(f->TranslationPending);
        EXPECT_FALSE(f->memotrns->isHidden());
        const std::string shown = text(f->memotrns);
        EXPECT_EQ(shown.rfind("ENGLISCH DEUTSCH", 0), 0u) << shown;
        EXPECT_NE(shown.find("wunderbar"), std::string::npos) << shown;
        EXPECT_NE(shown.find("herrlich"), std::string::npos) << shown;
        EXPECT_EQ(shown.find("Legende"), std::string::npos) << shown;
    }

    // The button does the same; a page without the heading is shown from its start.
    writeFile(site.file("index.html"),
              "<html><body><p>Keine Treffer</p><p>Legende</p></body></html>");
    f->memo1->setPlainText(QStringLiteral("hello"));
    f->memo1->moveCursor(QTextCursor::End);
    f->JvxSpeedButton6->click();
    ASSERT_TRUE(waitUntil([&] { return text(f->memotrns).find("Keine") != std::string::npos; }));
    EXPECT_EQ(f->memotrns->toPlainText().trimmed().toStdString(), "Keine Treffer");
    EXPECT_TRUE(errors.empty());
}

// Whatever the browser loads after the request decides what completes: a lyrics search
// drops the dictionary page, a song change without a search leaves it to land.
TEST_F(WindowDictionary, StaleDictionaryPageNeverLandsAfterANewerNavigation)
{
    struct Case
    {
        const char* what;
        bool search;
        std::function<void(TForm1&)> after;
        std::string memo; // the lyrics memo at the end
        bool translated;  // the translation frame shows the entries
    };
    const Case cases[] = {
        {"song change with search", true, [this](TForm1& f) { f.PlayNextSong(1); }, "Song text",
         false},
        {"custom search", false, [](TForm1& f) { f.Customsearch1Click(); }, "Song text", false},
        {"song change without search", false, [](TForm1& f) { f.PlayNextSong(1); }, "", true},
    };
    for (const auto& c : cases) {
        auto f = start();
        if (c.search) {
            f->srchen->trigger();
            ASSERT_TRUE(waitUntil([&] { return text(f->memo1) == "Song text"; })) << c.what;
        }
        f->memo1->setPlainText(QStringLiteral("wonderful"));
        f->memo1->moveCursor(QTextCursor::End);
        writeFile(site.file("requests.log"), "");
        f->Translate1Click();
        c.after(*f);
        if (c.translated) {
            ASSERT_TRUE(waitUntil([&] { return !f->memotrns->toPlainText().isEmpty(); })) << c.what;
        } else {
            ASSERT_TRUE(waitUntil([&] { return text(f->memo1) == c.memo; }))
                << c.what << text(f->memo1);
            QTest::qWait(300);
        }
        EXPECT_EQ(text(f->memo1), c.memo) << c.what;
        EXPECT_EQ(text(f->memotrns).find("wunderbar") != std::string::npos, c.translated) << c.what;
        EXPECT_EQ(f->memotrns->isHidden(), !c.translated) << c.what;
        EXPECT_FALSE(f->TranslationPending) << c.what;
    }
}

TEST_F(WindowDictionary, ToolPrintsWhatTheFrameWouldShow)
{
    const QString tool = QStringLiteral(LARKSPUR_BINARY_DIR "/larkspur-tool");
    auto f = start();
    f->memo1->setPlainText(QStringLiteral("wonderful"));
    f->memo1->moveCursor(QTextCursor::End);
    f->Translate1Click();
    ASSERT_TRUE(waitUntil([&] { return !f->memotrns->toPlainText().isEmpty(); }));
    const std::string frame = text(f->memotrns);

    struct Case
    {
        std::string host;
        QString word;
        int status;
        std::string request; // what the dictionary was asked; empty: nothing
    };
    const Case cases[] = {
        {server->url(""), QStringLiteral("wonderful"), 0, "/?search=wonderful" + kTail + "\n"},
        {server->url(""), QStringLiteral("R&B #1"), 0, "/?search=R%26B%20%231" + kTail + "\n"},
        {"http://127.0.0.1:1", QStringLiteral("wonderful"), 1, ""}, // nobody listens
        {"nowhere", QStringLiteral("wonderful"), 1, ""},            // no usable address
    };
    for (const auto& c : cases) {
        writeFile(site.file("requests.log"), "");
        QProcess p;
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LARKSPUR_DICTIONARY_URL"), QString::fromStdString(c.host));
        p.setProcessEnvironment(env);
        p.start(tool, {QStringLiteral("translate"), c.word});
        ASSERT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitCode(), c.status) << c.host;
        QString out = QString::fromUtf8(p.readAllStandardOutput());
        out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        const QString err = QString::fromUtf8(p.readAllStandardError());
        if (c.status == 0) {
            // The frame's text, ending in one line break.
            EXPECT_EQ(out.toStdString(), frame.back() == '\n' ? frame : frame + "\n");
            EXPECT_TRUE(err.isEmpty()) << err.toStdString();
        } else {
            EXPECT_TRUE(out.isEmpty());
            EXPECT_EQ(err.count(QLatin1Char('\n')), 1) << err.toStdString();
            EXPECT_TRUE(err.startsWith(QStringLiteral("larkspur-tool: "))) << err.toStdString();
        }
        EXPECT_EQ(requests(), c.request);
    }
}

// A dictionary page that does not come, or comes without either marker, gives way to the
// local dictionaries; without them, or without the word there, the frame shows as before.
TEST_F(WindowDictionary, LocalDictionariesStandInWhenThePageFails)
{
    const std::string noMarkers = "<html><body><p>Seite nicht gefunden</p></body></html>";
    struct Case
    {
        const char* what;
        std::string host; // empty: the loopback server
        std::string page;
        bool local; // the dictd folder holds the two dictionaries
        QString word;
        std::string shown; // the translation frame's text; "error": a message instead
    };
    const Case cases[] = {
        {"nobody listens", "http://127.0.0.1:1", "", true, QStringLiteral("house"),
         "house /haʊs/\n  Haus, Gebäude\n\nhouse\n  Heim, Zuhause"},
        {"no markers, both directions", "", noMarkers, true, QStringLiteral("rock"),
         "rock\n  Fels, Gestein\n\nRock\n  skirt"},
        {"empty page, German word", "", "", true, QStringLiteral("Haus"), "Haus\n  house, home"},
        {"one marker is the dictionary's", "",
         "<html><body><p>Keine Treffer</p><p>Legende</p></body></html>", true,
         QStringLiteral("house"), "Keine Treffer"},
        {"no markers, word not local", "", noMarkers, true, QStringLiteral("zebra"),
         "Seite nicht gefunden"},
        {"no word at the caret", "http://127.0.0.1:1", "", true, QStringLiteral("rock "), ""},
        {"nobody listens, no dictionaries", "http://127.0.0.1:1", "", false,
         QStringLiteral("house"), ""},
        {"no usable address", "nowhere", "", true, QStringLiteral("rock"),
         "rock\n  Fels, Gestein\n\nRock\n  skirt"},
        {"no usable address, no dictionaries", "nowhere", "", false, QStringLiteral("rock"),
         "error"},
    };
    auto f = start();
    for (const auto& c : cases) {
        qputenv("LARKSPUR_DICTIONARY_URL",
                QByteArray::fromStdString(c.host.empty() ? server->url("") : c.host));
        qputenv("LARKSPUR_DICTD_DIR",
                QByteArray::fromStdString(c.local ? dictd.path() : noDictd.path()));
        writeFile(site.file("index.html"), c.page);
        writeFile(site.file("requests.log"), "");
        errors.clear();
        f->CloseAllFrames();
        f->memotrns->setPlainText(QStringLiteral("earlier"));
        f->memo1->setPlainText(c.word);
        f->memo1->moveCursor(QTextCursor::End);
        f->Translate1Click();
        if (c.shown == "error") {
            EXPECT_TRUE(waitUntil([&] { return errors.size() == 1u; })) << c.what;
            EXPECT_TRUE(f->memotrns->isHidden()) << c.what;
            EXPECT_FALSE(f->TranslationPending) << c.what;
            continue;
        }
        ASSERT_TRUE(waitUntil([&] { return !f->memotrns->isHidden(); })) << c.what;
        EXPECT_EQ(f->memotrns->toPlainText().trimmed().toStdString(), c.shown) << c.what;
        EXPECT_FALSE(f->TranslationPending) << c.what;
        EXPECT_TRUE(errors.empty()) << c.what;
        // The online dictionary is always asked first.
        if (c.host.empty()) {
            EXPECT_EQ(requests(), "/?search=" + c.word.toStdString() + kTail + "\n") << c.what;
        }
    }
}

// The local lookup runs beside the window: events go on meanwhile, and a newer lookup
// started then takes over, the older one showing nothing. A dictionary that is a FIFO is
// skipped at once, its reason on the status line in the window and on stderr in the tool.
TEST_F(WindowDictionary, LocalLookupRunsBesideTheWindowAndSkipsWhatItCannotRead)
{
    // The German-English entries lie deep in a plain gzip: their lookup takes a while.
    std::string data(40 << 20, ' ');
    const std::string haus = "Haus\n  house, home\n", rock = "Rock\n  skirt\n";
    data.replace(30 << 20, haus.size(), haus);
    data.replace(35 << 20, rock.size(), rock);
    writeFile(dictd.file("freedict-deu-eng.index"),
              "haus\tB4AAA\tT\nrock\tCMAAA\tN\n"); // 30 MB and 35 MB, in dictd's base 64
    const gzFile gz = gzopen(dictd.file("freedict-deu-eng.dict.dz").c_str(), "wb1");
    ASSERT_TRUE(gz && gzwrite(gz, data.data(), unsigned(data.size())) == int(data.size()));
    gzclose(gz);
    const std::string fifo = dictd.file("freedict-eng-deu.index");
    std::filesystem::remove(fifo);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    test::FifoRescue rescue({fifo});
    qputenv("LARKSPUR_DICTD_DIR", QByteArray::fromStdString(dictd.path()));
    qputenv("LARKSPUR_DICTIONARY_URL", "nowhere");

    auto f = start();
    std::vector<std::string> shown;
    QObject::connect(f->memotrns, &QPlainTextEdit::textChanged, f.get(),
                     [&] { shown.push_back(text(f->memotrns)); });
    const auto translate = [&](const QString& word) {
        f->memo1->setPlainText(word);
        f->memo1->moveCursor(QTextCursor::End);
        f->Translate1Click();
    };
    translate(QStringLiteral("rock"));
    EXPECT_TRUE(shown.empty()); // the handler returned while the lookup runs
    translate(QStringLiteral("Haus"));
    ASSERT_TRUE(waitUntil([&] { return !shown.empty(); }, 20000));
    for (const auto& s : shown)
        EXPECT_EQ(s.find("skirt"), std::string::npos) << s;
    EXPECT_EQ(QString::fromStdString(shown.back()).trimmed().toStdString(), "Haus\n  house, home");
    EXPECT_NE(f->statusText().find("\"" + fifo + "\": it is not a regular file"), std::string::npos)
        << f->statusText();
    EXPECT_TRUE(errors.empty());

    QProcess p;
    p.start(QStringLiteral(LARKSPUR_BINARY_DIR "/larkspur-tool"),
            {QStringLiteral("translate"), QStringLiteral("rock")});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_EQ(p.readAllStandardOutput().toStdString(), "Rock\n  skirt\n");
    const std::string err = p.readAllStandardError().toStdString();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("not a regular file"), std::string::npos) << err;
    EXPECT_FALSE(rescue.rescued()) << "the FIFO blocked a lookup";
}

TEST_F(WindowDictionary, ToolFallsBackToTheLocalDictionariesToo)
{
    const QString tool = QStringLiteral(LARKSPUR_BINARY_DIR "/larkspur-tool");
    writeFile(site.file("index.html"), "<html><body><p>Seite nicht gefunden</p></body></html>");
    struct Case
    {
        std::string host;
        bool local;
        QString word;
        int status;
        std::string out;
    };
    const Case cases[] = {
        {"http://127.0.0.1:1", true, QStringLiteral("house"), 0,
         "house /haʊs/\n  Haus, Gebäude\n\nhouse\n  Heim, Zuhause\n"},
        {server->url(""), true, QStringLiteral("ROCK"), 0,
         "rock\n  Fels, Gestein\n\nRock\n  skirt\n"},
        {"nowhere", true, QStringLiteral("haus"), 0, "Haus\n  house, home\n"},
        {server->url(""), true, QStringLiteral("zebra"), 0, "Seite nicht gefunden\n"},
        {"http://127.0.0.1:1", false, QStringLiteral("house"), 1, ""},
        {"nowhere", false, QStringLiteral("house"), 1, ""},
    };
    for (const auto& c : cases) {
        QProcess p;
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LARKSPUR_DICTIONARY_URL"), QString::fromStdString(c.host));
        env.insert(QStringLiteral("LARKSPUR_DICTD_DIR"),
                   QString::fromStdString(c.local ? dictd.path() : noDictd.path()));
        p.setProcessEnvironment(env);
        p.start(tool, {QStringLiteral("translate"), c.word});
        ASSERT_TRUE(p.waitForFinished(30000));
        QString out = QString::fromUtf8(p.readAllStandardOutput());
        out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        const std::string err = p.readAllStandardError().toStdString();
        EXPECT_EQ(p.exitCode(), c.status) << c.host << ' ' << c.word.toStdString();
        EXPECT_EQ(out.toStdString(), c.out) << c.host << ' ' << c.word.toStdString();
        EXPECT_EQ(err.empty(), c.status == 0) << err;
    }
}
