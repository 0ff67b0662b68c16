// The whole window offscreen: side frames, keys, settings, import, maintenance, finder, tempo.

#include "app/FindReplaceDialog.h"
#include "app/TForm1.h"
#include "app/core/StartupPath.h"
#include "app/core/QSettingsStore.h"
#include "app/core/SettingsStore.h"
#include "support/FakeMediaPlayer.h"
#include "support/QuietServices.h"
#include "support/TestFiles.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QSplitter>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using namespace larkspur;
using larkspur::test::FakeMediaPlayer;
using larkspur::test::readFile;
using larkspur::test::TempDir;
using larkspur::test::writeFile;

namespace {

class Window : public ::testing::Test
{
protected:
    void SetUp() override
    {
        services.mp = &mp;
        services.settings = &store;
        test::makeQuiet(services, dir.path(), &errors);
        services.showInfo = [this](const std::string& e) { infos.push_back(e); };
        services.tapClockMs = [this] { return clockMs; };
    }

    std::unique_ptr<TForm1> open(const QStringList& args = {})
    {
        auto f = std::make_unique<TForm1>(services);
        f->FormCreate(args);
        f->show();
        QApplication::setActiveWindow(f.get());
        EXPECT_TRUE(QTest::qWaitForWindowExposed(f.get()));
        return f;
    }

    std::string song(const std::string& name)
    {
        const auto p = dir.file(name);
        writeFile(p, "x");
        return p;
    }

    TempDir dir;
    FakeMediaPlayer mp;
    MapSettingsStore store;
    FormServices services;
    std::vector<std::string> errors;
    std::vector<std::string> infos;
    std::int64_t clockMs = 1000000;
};

} // namespace

TEST_F(Window, FramesWidenAndRestoreTheWindow)
{
    auto f = open();
    ASSERT_EQ(f->width(), 367);
    EXPECT_EQ(f->NormalWidth, 367);
    f->ShowLog1Click();
    EXPECT_EQ(f->width(), 597);
    EXPECT_TRUE(f->areaOpen());
    EXPECT_FALSE(f->logtxt->isHidden());
    f->Searchoptions1Click(); // switching frames keeps the width
    EXPECT_EQ(f->width(), 597);
    EXPECT_TRUE(f->logtxt->isHidden());
    EXPECT_FALSE(f->grpboxsettings->isHidden());

    f->editsrch->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_EQ(f->width(), 367);
    EXPECT_FALSE(f->areaOpen());
    EXPECT_TRUE(f->memo1->hasFocus());
    QTest::keyClick(f->memo1, Qt::Key_Escape); // nothing open: nothing happens
    EXPECT_EQ(f->width(), 367);

    // A width given to the widened window is lost when the area closes.
    f->ShowLog1Click();
    f->resize(700, f->height());
    f->CloseLogFrame();
    EXPECT_EQ(f->width(), 367);
}

TEST_F(Window, FinderOpensAboveTheLogAndTheSplitterKeepsTheSearchFieldShort)
{
    auto f = open();
    f->ShowLog1Click();
    f->Findsong1Click();
    EXPECT_FALSE(f->Panelrighttop->isHidden());
    EXPECT_FALSE(f->logtxt->isHidden()); // stays until the first search
    EXPECT_TRUE(f->editsrch->hasFocus());
    EXPECT_EQ(f->editsrch->width(), f->panelWidth() - f->Panelbtns->width() - 10);

    f->mainpanel->setSizes({f->width() - 300, 298});
    f->spltMoved();
    EXPECT_EQ(f->panelWidth(), f->Panelright->width());
    EXPECT_EQ(f->editsrch->width(), f->Panelright->width() - f->Panelbtns->width() - 10);
    EXPECT_EQ(f->width(), 597); // the window keeps its width; the lyrics give way
}

TEST_F(Window, ShortcutsActWhereTheirMenuBelongs)
{
    auto f = open();
    QSignalSpy save(f->Speichern1, &QAction::triggered);
    QSignalSpy find(f->Findsong1, &QAction::triggered);
    f->memo1->setFocus();
    QTest::keyClick(f->memo1, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(save.count(), 1);
    QTest::keyClick(f->memo1, Qt::Key_F5);
    EXPECT_EQ(find.count(), 1);

    f->ShowFinderList();
    f->List->setFocus();
    ASSERT_TRUE(f->List->hasFocus());
    QTest::keyClick(f->List, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(save.count(), 1); // the lyrics menu's key does not act in the finder list
    QTest::keyClick(f->List, Qt::Key_F5);
    EXPECT_EQ(find.count(), 2);

    QTest::keyClick(f->memo1, Qt::Key_F2); // Vol+ at full volume stays at 1000
    QTest::keyClick(f->memo1, Qt::Key_F1);
    EXPECT_EQ(f->Volume, 900);
    EXPECT_EQ(f->voltr->value(), 90);
}

TEST_F(Window, SettingsLoadWithTheirRulesAndAreAllWrittenAtExit)
{
    store.values = {{"Volume", "455"}, {"Fade speed", "30abc"}, {"Preambel", ""},
                    {"Window X size", "400"}, {"Panel size", "250"}, {"Font size", "11"},
                    {"Window Y size", "oops"}};
    auto f = open();
    EXPECT_EQ(f->voltr->value(), 45);
    EXPECT_EQ(f->Volume, 450);
    EXPECT_EQ(f->FadeSpeed, 30);
    EXPECT_EQ(f->Preamble, "lyrics");
    EXPECT_EQ(f->width(), 400);
    EXPECT_EQ(f->height(), 457); // a bad number keeps its default
    EXPECT_EQ(f->memo1->font().pointSize(), 11);
    f->ShowLog1Click();
    EXPECT_EQ(f->width(), 650);

    f->Searchoptions1Click();
    f->Edit1->clear();
    f->Edit2->setText(QStringLiteral("songtext"));
    f->Edit4->setText(QStringLiteral("abc"));
    f->Edit5->setText(QStringLiteral("40"));
    f->btnsaveClick();
    EXPECT_EQ(f->SplitterChar, "-");
    EXPECT_EQ(f->Preamble, "songtext");
    EXPECT_EQ(f->EntriesPerPage, 10); // no number: refused, the old value kept
    EXPECT_EQ(f->statusText(), "Results per page must be 1 to 1000; kept 10.");
    EXPECT_EQ(f->FadeSpeed, 40);
    EXPECT_FALSE(f->areaOpen());

    f->ShowLog1Click(); // open at close: the saved width is without it
    ASSERT_TRUE(f->close());
    EXPECT_EQ(store.values.size(), 13u);
    EXPECT_EQ(store.values["LyricsDatabase"], "1");
    EXPECT_EQ(store.values["Window X size"], "400");
    EXPECT_EQ(store.values["Volume"], "450");
    EXPECT_EQ(store.values["Preambel"], "songtext");
    EXPECT_EQ(store.values["Panel size"], "250");
}

TEST_F(Window, SettingsSurviveARestartInThePerUserFile)
{
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir.file("config")));
    services.settings = nullptr; // the program's own store
    {
        auto f = open();
        EXPECT_EQ(f->Volume, 1000); // first start: defaults
        f->voltr->setValue(37);
        f->resize(420, 500);
        ASSERT_TRUE(f->close());
    }
    const QString file = QSettingsStore::userConfigFile();
    EXPECT_TRUE(file.startsWith(QString::fromStdString(dir.file("config"))));
    QSettings written(file, QSettings::IniFormat);
    EXPECT_EQ(written.allKeys().size(), 13);
    auto g = open();
    EXPECT_EQ(g->Volume, 370);
    EXPECT_EQ(g->width(), 420);
    EXPECT_EQ(g->height(), 500);
}

TEST_F(Window, UnwritableSettingsDoNotKeepTheWindowOpen)
{
    store.failWrites = true;
    auto f = open();
    testing::internal::CaptureStderr();
    EXPECT_TRUE(f->close());
    EXPECT_NE(testing::internal::GetCapturedStderr().find("settings"), std::string::npos);
}

TEST_F(Window, PlaylistImportAppendsAndMovesPlaybackOn)
{
    const auto a = song("a.mp3");
    const auto b = song("b.mp3");
    const auto m3u = dir.file("list.M3U");
    writeFile(m3u, "#EXTM3U\r\n#EXTINF:123,A - a\r\n" + a + "\r\na.mp\r\n" + b + "\r\n");
    auto f = open();
    EXPECT_TRUE(mp.opened.empty());
    services.askPlaylistFile = [&](const std::string&) { return m3u; };
    f->importPlaylist(m3u);
    ASSERT_EQ(f->dl.count(), 2u);
    EXPECT_EQ(mp.mode(), PlayerMode::Playing); // nothing played before: at once
    EXPECT_TRUE(f->ListFileName.empty());

    const auto txt = dir.file("more.txt");
    writeFile(txt, "# comment line\n" + a + "\n");
    f->importPlaylist(txt);
    EXPECT_EQ(f->dl.get(2), "0|" + dir.path() + "/# comment line");
    EXPECT_EQ(f->ListFileName, txt);
    EXPECT_TRUE(f->NextAfterFade); // playing: the song fades out first

    f->importPlaylist(dir.file("missing.pls"));
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_EQ(f->dl.count(), 3u); // `a` of more.txt was listed already
}

TEST_F(Window, RelativePlaylistEntriesPlayFromAnyFolder)
{
    ::mkdir(dir.file("start").c_str(), 0700);
    ::mkdir(dir.file("lists").c_str(), 0700);
    ::mkdir(dir.file("lists/songs").c_str(), 0700);
    const auto a = song("lists/songs/a.mp3");
    const auto m3u = dir.file("lists/mix.m3u");
    writeFile(m3u, "#EXTM3U\nsongs/a.mp3\n");

    // The play log is named relative to the folder the program started in.
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(dir.file("start"))));
    services.playLogFile = "log.txt";
    auto f = open();
    f->importPlaylist(m3u);
    const QString after = QDir::currentPath();
    QDir::setCurrent(before);

    ASSERT_EQ(f->dl.count(), 1u);
    EXPECT_EQ(splitEntry(f->dl.get(0)).path, a);
    EXPECT_EQ(mp.opened, std::vector<std::string>{a});
    EXPECT_EQ(after.toStdString(), dir.file("start"));
    EXPECT_NE(readFile(dir.file("start/log.txt")).find(a), std::string::npos);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(dir.file("lists/log.txt"))));
}

TEST_F(Window, M3u8ImportNeverBecomesTheSongList)
{
    const auto a = song("a.mp3");
    const auto list = dir.file("list.txt");
    writeFile(list, "2|" + a + "\r\n");
    const auto m3u8 = dir.file("mix.m3u8");
    const std::string playlist = "\xEF\xBB\xBF#EXTM3U\n#EXTINF:1,A - a\n" + a + "\n";
    writeFile(m3u8, playlist);
    auto f = open({QString::fromStdString(list)});
    f->importPlaylist(m3u8);
    EXPECT_EQ(f->ListFileName, list);
    f->SaveSongList();
    EXPECT_EQ(readFile(m3u8), playlist);
    ASSERT_EQ(f->dl.count(), 1u); // its one song was listed already
    EXPECT_EQ(readFile(list), f->dl.text());
}

TEST_F(Window, DirectoryScanAddsSubfoldersFirstAndSaves)
{
    const auto root = dir.file("M");
    ::mkdir(root.c_str(), 0700);
    ::mkdir((root + "/S").c_str(), 0700);
    ::mkdir((root + "/z.mp3").c_str(), 0700);
    writeFile(root + "/x.MP3", "x");
    writeFile(root + "/S/y.mp3", "y");
    writeFile(root + "/z.mp3/.hidden.mp3", "h");
    writeFile(root + "/notes.txt", "n");
    ::symlink(root.c_str(), (root + "/S/loop").c_str());
    const auto list = dir.file("list.txt");
    writeFile(list, "");
    services.askDirectory = [&](const std::string&) { return root; };
    auto g = std::make_unique<TForm1>(services); // uses the real scan with its dialog
    g->FormCreate({QString::fromStdString(list)});
    g->Adddirectory1Click(); // returns at once; the scan's end adds the songs
    ASSERT_TRUE(QTest::qWaitFor([&] { return g->dl.count() == 3u; }));
    EXPECT_EQ(g->dl.get(2), "0|" + root + "/x.MP3"); // the folder's own files come last
    std::set<std::string> early{std::string(g->dl.get(0)), std::string(g->dl.get(1))};
    EXPECT_TRUE(early.count("0|" + root + "/S/y.mp3"));
    EXPECT_TRUE(early.count("0|" + root + "/z.mp3/.hidden.mp3"));
    EXPECT_EQ(readFile(list), g->dl.text()); // saved at once
    EXPECT_EQ(infos, std::vector<std::string>{"Added 3 songs."});
    EXPECT_TRUE(errors.empty());

    g->LMDFMDrop1FMDragDrop({root + "/notes.txt", root + "/S"});
    EXPECT_EQ(g->dl.count(), 5u);
    EXPECT_EQ(g->dl.get(4), "0|" + root + "/S");

    // Nothing listed twice: the same folder, drop and import again.
    g->Adddirectory1Click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return infos.size() == 2; }));
    EXPECT_EQ(infos.back(), "Added 0 songs. 3 songs were already in the list.");
    g->LMDFMDrop1FMDragDrop({root + "/S", root + "/new.mp3"});
    EXPECT_EQ(g->statusText(), "Added 1 song, not found: new.mp3. 1 song was already in the list.");
    writeFile(dir.file("again.m3u"), root + "/x.MP3\n");
    g->importPlaylist(dir.file("again.m3u"));
    EXPECT_EQ(g->dl.count(), 6u);
}

TEST_F(Window, ImportAndDropSayWhatTheyAddedAndWhatIsNotThere)
{
    std::string songs;
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3", "d.mp3", "e.mp3", "f.mp3"})
        songs += song(name) + "\n";
    auto f = open();
    f->LMDFMDrop1FMDragDrop({dir.file("a.mp3"), dir.file("b.mp3")});
    f->PlayNextSong(-1); // an import then fades it: no next song's note comes first
    f->LMDFMDrop1FMDragDrop({dir.file("b.mp3"), dir.file("c.mp3")});
    EXPECT_EQ(f->statusText(), "Added 1 song. 1 song was already in the list.");
    writeFile(dir.file("mix.m3u"), songs + dir.file("Ghost.mp3") + "\n");
    f->importPlaylist(dir.file("mix.m3u"));
    EXPECT_EQ(f->statusText(),
              "Added 4 songs, 1 of them not found: Ghost.mp3. 3 songs were already in the list.");
    std::string many; // long enough to be looked for beside the loop
    for (int i = 0; i < 1000; ++i)
        many += dir.file("gone/" + std::to_string(i) + ".mp3") + "\n";
    writeFile(dir.file("many.m3u"), many);
    f->importPlaylist(dir.file("many.m3u"));
    f->fadetmr->stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return f->statusText().starts_with("Added 1000"); }));
    EXPECT_EQ(f->statusText(),
              "Added 1000 songs, 1000 of them not found: 0.mp3, 1.mp3, 2.mp3 and 997 more.");
}

TEST_F(Window, PathsLeftOutAreReportedAfterDropImportAndScan)
{
    const auto a = song("a.mp3");
    auto f = open();
    ASSERT_TRUE(errors.empty());

    f->LMDFMDrop1FMDragDrop({a, dir.file("crlf\r\n0|injected.mp3")});
    EXPECT_EQ(f->dl.count(), 1u);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors.back(), "1 path holding a line break was left out.");

    const auto odd = dir.file("odd\nfolder");
    ::mkdir(odd.c_str(), 0700);
    writeFile(odd + "/mix.m3u", "b.mp3\nc.mp3\n" + a + "\n");
    f->importPlaylist(odd + "/mix.m3u");
    EXPECT_EQ(f->dl.count(), 1u); // `a` was listed already
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors.back(), "2 paths holding a line break were left out.");

    // The real scan: a name with a line break and a link to nothing named like a song.
    const auto root = dir.file("M");
    ::mkdir(root.c_str(), 0700);
    writeFile(root + "/x.mp3", "x");
    writeFile(root + "/crlf\r\n0|injected.mp3", "x");
    ::symlink((root + "/missing").c_str(), (root + "/gone.mp3").c_str());
    services.askDirectory = [&](const std::string&) { return root; };
    auto g = std::make_unique<TForm1>(services);
    g->FormCreate({});
    g->Adddirectory1Click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return errors.size() == 3u; }));
    EXPECT_EQ(g->dl.count(), 1u);
    EXPECT_EQ(errors.back(), "Added 1 song. 1 folder or file could not be read. 1 path holding a "
                             "line break was left out.");
    EXPECT_TRUE(infos.empty());
}

TEST_F(Window, FileTestAndClearingMissingEntries)
{
    const auto b = song("b.mp3");
    auto f = open();
    f->dl.add("0|" + dir.file("a.mp3"));
    f->dl.add("2|" + b);
    f->dl.add("1|" + dir.file("c.mp3"));
    f->Testallfiles1Click();
    EXPECT_FALSE(f->logtxt->isHidden());
    EXPECT_TRUE(f->cnff->isEnabled());
    EXPECT_EQ(f->logtxt->toPlainText().toStdString(), dir.file("a.mp3") + "\n" + dir.file("c.mp3"));
    f->cnffClick();
    ASSERT_EQ(f->dl.count(), 1u);
    EXPECT_EQ(f->dl.get(0), "2|" + b);
    EXPECT_FALSE(f->areaOpen());

    f->Testallfiles1Click(); // nothing missing: nothing shown
    EXPECT_FALSE(f->areaOpen());
    EXPECT_TRUE(f->logtxt->toPlainText().isEmpty());

    f->ShowLog1Click();
    EXPECT_FALSE(f->cnff->isEnabled());
}

TEST_F(Window, FinderFindsAndPlaysTheChosenSong)
{
    const auto help = song("The Beatles - Help.mp3");
    const auto other = song("Other - Song.mp3");
    const auto list = dir.file("list.txt");
    writeFile(list, "3|" + other + "\r\n0|" + help + "\r\n");
    auto f = open({QString::fromStdString(list)});
    f->Findsong1Click();
    f->editsrch->setText(QStringLiteral("help*BEATLES"));
    QTest::keyClick(f->editsrch, Qt::Key_Return); // the search button is the default
    ASSERT_EQ(f->List->count(), 1);
    EXPECT_TRUE(f->List->hasFocus());
    EXPECT_TRUE(f->List->selectedItems().isEmpty());
    QTest::keyClick(f->List, Qt::Key_Return); // nothing selected: closes, plays nothing
    EXPECT_FALSE(f->areaOpen());
    EXPECT_FALSE(f->NextAfterFade);

    f->Findsong1Click();
    EXPECT_EQ(f->editsrch->text(), QStringLiteral("help*BEATLES"));
    f->btnsrchClick();
    f->List->setCurrentRow(0);
    f->ListDblClick();
    EXPECT_FALSE(f->areaOpen());
    ASSERT_TRUE(f->NextAfterFade);
    EXPECT_EQ(f->PendingIndex, 1);
    while (f->fadetmr->isActive()) f->fadetmrTimer();
    EXPECT_EQ(mp.current(), help);

    f->Findsong1Click();
    f->editsrch->setText(QStringLiteral("*help"));
    f->btnsrchClick();
    EXPECT_EQ(f->List->count(), 0);
    f->btncancelClick();
    EXPECT_FALSE(f->areaOpen());
}

TEST_F(Window, TempoFromShiftKeysAndClicks)
{
    const auto s = song("a.mp3");
    const auto list = dir.file("list.txt");
    writeFile(list, "0|" + s + "\r\n");
    auto f = open({QString::fromStdString(list)});
    f->memo1->setFocus();
    QTest::keyClick(f->memo1, Qt::Key_Shift);
    EXPECT_EQ(f->lbpm->text(), QStringLiteral("0")); // the first tap shows nothing new
    clockMs += 700;
    QTest::keyClick(f->memo1, Qt::Key_Shift);
    EXPECT_EQ(f->lbpm->text(), QStringLiteral("85"));
    clockMs += 500;
    QTest::mouseClick(f->Label6, Qt::LeftButton);
    EXPECT_EQ(f->lbpm->text(), QStringLiteral("100")); // 2 intervals in 1.2 s
    QTest::mouseClick(f->Label6, Qt::LeftButton); // same instant: ignored
    EXPECT_EQ(f->lbpm->text(), QStringLiteral("100"));
    f->PlayNextSong(-1); // a new song starts over
    EXPECT_EQ(f->lbpm->text(), QStringLiteral("0"));
}

TEST_F(Window, BottomBarNeverWidensTheWindow)
{
    auto f = open();
    ASSERT_EQ(f->width(), 367);
    f->ltime->setText(QStringLiteral("00:00:09"));
    f->itime->setText(QStringLiteral("00:03:58"));
    f->lbpm->setText(QStringLiteral("120"));
    for (const char* busy : {"busy", "busy (database)", "busy (lyrics, database, catalogue)"}) {
        f->lbusy2->setText(QString::fromLatin1(busy));
        QTest::qWait(20); // the layout settles in posted events
        EXPECT_EQ(f->width(), 367) << busy;
        EXPECT_EQ(f->NormalWidth, 367) << busy;
    }
}

// A second after a click on the bar: ^ Shift down (% with Ctrl), ~ its repeat 40 ms later,
// _ Shift up, + half a second, any other a typed character. Only a lone Shift taps in text.
TEST_F(Window, ShiftTapsWhereNoCapitalIsTyped)
{
    const auto s = song("a.mp3");
    writeFile(dir.file("list.txt"), "0|" + s + "\r\n");
    auto f = open({QString::fromStdString(dir.file("list.txt"))});
    f->Find1Click();
    const std::tuple<QWidget*, const char*, const char*> cases[] = {
        {f->memo1, "^+_", "60"},
        {f->fdlg->findEdit, "^+~_", "60"},
        {f->editsrch, "^~~~B_eatles", "0"},
        {f->memo1, "^A_", "0"},
        {f->voltr, "%+^a_", "40"},
    };
    for (const auto& [focus, keys, bpm] : cases) {
        f->PlayNextSong(-1);
        QApplication::setActiveWindow(focus->window());
        focus->setFocus();
        QTest::mouseClick(f->Label6, Qt::LeftButton);
        clockMs += 1000;
        for (const char* k = keys; *k; ++k) {
            clockMs += *k == '~' ? 40 : *k == '+' ? 500 : 0;
            QKeyEvent shift(*k == '_' ? QEvent::KeyRelease : QEvent::KeyPress, Qt::Key_Shift,
                            *k == '%' ? Qt::ControlModifier : Qt::ShiftModifier, QString(),
                            *k == '~');
            if (std::strchr("^%~_", *k)) QApplication::sendEvent(focus, &shift);
            if (!std::strchr("^%~_+", *k)) QTest::keyClick(focus, *k);
        }
        EXPECT_EQ(f->lbpm->text().toStdString(), bpm) << keys;
    }
    EXPECT_EQ(f->editsrch->text(), QStringLiteral("Beatles"));
}

TEST_F(Window, MinimizingHidesOnlyWhereATrayExists)
{
    auto f = open();
    f->showMinimized();
    QTest::qWait(20);
    // No tray on the offscreen platform: the window must stay reachable.
    EXPECT_TRUE(f->isVisible());
    f->tiClick();
    EXPECT_FALSE(f->isMinimized());
}

// Dialogs open where the music is: the folder used last while it is there, else the music
// folder while there is one, else home, never the program's folder; "Save as..." proposes
// the song's lyrics file in its folder, timed lyrics as an .lrc.
TEST_F(Window, DialogsOpenWhereTheMusicIs)
{
    const QByteArray home = qgetenv("HOME");
    const std::string music = dir.file("Music");
    qputenv("HOME", QByteArray::fromStdString(dir.path()));
    qputenv("XDG_MUSIC_DIR", QByteArray::fromStdString(music));
    std::vector<std::string> asked; // "list|playlist|folder: FOLDER"
    services.askListFile = [&](const std::string& folder) {
        asked.push_back("list: " + folder);
        return std::string();
    };
    std::string chosen;
    services.askPlaylistFile = [&](const std::string& folder) {
        asked.push_back("playlist: " + folder);
        return chosen;
    };
    services.askDirectory = [&](const std::string& folder) {
        asked.push_back("folder: " + folder);
        return chosen;
    };
    open(); // no list: the start-up dialog, no music folder yet
    ::mkdir(music.c_str(), 0700);
    auto f = open();
    const std::string sub = dir.file("Music/sub"), songPath = sub + "/A - B.flac";
    ::mkdir(sub.c_str(), 0700);
    writeFile(sub + "/list.m3u", songPath + "\n");
    writeFile(songPath, "x");
    chosen = sub + "/list.m3u";
    f->LoadPLS1Click();
    f->LoadPLS1Click();
    chosen = sub;
    f->Adddirectory1Click();
    f->Adddirectory1Click();
    EXPECT_EQ(asked, (std::vector<std::string>{"list: " + dir.path(), "list: " + music,
                                              "playlist: " + music, "playlist: " + sub,
                                              "folder: " + music, "folder: " + sub}));
    EXPECT_EQ(store.values[kLastListFolderSetting], sub);

    SaveProposal proposal;
    services.askSaveFile = [&](const SaveProposal& p) {
        proposal = p;
        return std::string();
    };
    writeFile(sub + "/list.txt", "0|" + songPath + "\r\n");
    f = open({QString::fromStdString(sub + "/list.txt")});
    f->PlayNextSong(0);
    f->Speichern1Click();
    EXPECT_EQ(proposal.folder, sub);
    EXPECT_EQ(proposal.name, "A - B.lyr");
    EXPECT_EQ(proposal.filters.front(), "Lyrics (*.lyr)");
    f->setSyncedLyrics("[00:01.00]Timed\n");
    f->Speichern1Click();
    EXPECT_EQ(proposal.name, "A - B.lrc");
    EXPECT_EQ(proposal.filters.front(), "Timed lyrics (*.lrc)");
    qputenv("HOME", home);
    qunsetenv("XDG_MUSIC_DIR");
}
