// "Fetch lyrics for all songs..." in the real window against a loopback lyrics database.

#include "app/FetchAllDialog.h"
#include "app/TForm1.h"
#include "lyrics/LyricsFileNames.h"
#include "lyrics/SongWords.h"
#include "support/FakeMediaPlayer.h"
#include "support/FifoRescue.h"
#include "support/HttpPythonServer.h"
#include "support/LeaseHold.h"
#include "support/QuietServices.h"
#include "support/TestFiles.h"

#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sys/stat.h>

using namespace larkspur;
using larkspur::test::readFile;
using larkspur::test::TempDir;
using larkspur::test::writeFile;

// The list holds a FIFO and a device named like songs, and the last song's tags cannot be
// opened (held by a lease, as on a hung share): the run passes the first two, and Cancel and
// the window's end come within a second while the third holds its thread.
TEST(WindowFetchAll, MenuRunsTheDialogAndCancelKeepsWhatWasSaved)
{
    TempDir dir, db;
    writeFile(db.file("routes.json"), R"({"records": [{"artistName": "Alpha", "trackName": "One",
        "duration": 1, "instrumental": false, "syncedLyrics": "[00:00.50]one", "plainLyrics": "one"}],
        "/api/get?artist_name=Beta&track_name=Two": {"status": 200, "body": "{}", "delay": 30}})");
    test::HttpPythonServer server(
        QStringLiteral(LARKSPUR_SOURCE_DIR "/tests/support/LyricsDatabase.py"),
        {QString::fromStdString(db.path())});
    qputenv("LARKSPUR_LYRICS_DB_URL", QByteArray::fromStdString(server.url("")));
    const std::string alpha = dir.file("Alpha - One.mp3"), beta = dir.file("Beta - Two.mp3");
    const std::string fifo = dir.file("Fifo - Song.mp3");
    writeFile(alpha, "x");
    writeFile(beta, "x");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    writeFile(dir.file("list.txt"),
              "0|" + alpha + "\r\n0|" + fifo + "\r\n0|/dev/zero\r\n0|" + beta + "\r\n");
    test::FifoRescue rescue({fifo});
    test::LeaseHold lease(beta);
    ASSERT_TRUE(lease.held());
    test::FakeMediaPlayer mp;
    FormServices services;
    services.mp = &mp;
    services.fileExists = [alpha](const std::string& song) { return song == alpha; }; // plays
    std::vector<std::string> errors, infos;
    test::makeQuiet(services, dir.path(), &errors);
    services.showInfo = [&infos](const std::string& text) { infos.push_back(text); };
    auto form = std::make_unique<TForm1>(services);
    TForm1& f = *form;
    f.FormCreate({QString::fromStdString(dir.file("list.txt"))});

    ASSERT_TRUE(f.pmlyr->actions().contains(f.Fetchall1));
    EXPECT_EQ(f.Fetchall1->text(), QStringLiteral("Fetch lyrics for all songs..."));
    f.Fetchall1->trigger();
    QPointer<FetchAllDialog> dialog = f.m_fetchAll;
    ASSERT_TRUE(dialog && dialog->isVisible());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return dialog->progressLabel->text().startsWith(QStringLiteral("3 / 4")); }, 20000))
        << dialog->progressLabel->text().toStdString();
    EXPECT_TRUE(dialog->countsLabel->text().contains(QStringLiteral("synced 1")));
    EXPECT_TRUE(dialog->countsLabel->text().contains(QStringLiteral("Not song files: 2")));
    EXPECT_TRUE(QTest::qWaitFor([] { return test::LeaseHold::waiting(); }));
    f.Fetchall1->trigger(); // brings up the run under way, starts no second one
    EXPECT_EQ(f.m_fetchAll, dialog.data());
    QTest::mouseClick(dialog->cancelButton, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !infos.empty(); }, 5000));
    EXPECT_NE(infos.front().find("Found synced: 1,"), std::string::npos) << infos.front();
    for (const char* said :
         {"Cancelled after 3 songs", "2 entries are not song files", "did not answer and was left"})
        EXPECT_NE(infos.front().find(said), std::string::npos) << infos.front();
    EXPECT_EQ(readFile(lrcFileFor(alpha)), "[00:00.50]one");
    EXPECT_FALSE(std::filesystem::exists(lyricsFileFor(beta)));
    EXPECT_EQ(f.m_fetchAll, nullptr);
    EXPECT_TRUE(errors.empty());
    // The window's end with a run held the same way.
    f.Fetchall1->trigger();
    ASSERT_TRUE(f.m_fetchAll);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return f.m_fetchAll->progressLabel->text().startsWith(QStringLiteral("3 / 4")); }));
    form.reset();
    EXPECT_TRUE(test::LeaseHold::waiting()); // left behind, not joined
    EXPECT_FALSE(rescue.rescued());
    qputenv("LARKSPUR_LYRICS_DB_URL", "http://127.0.0.1:1");
}
