// "Fetch lyrics for all songs..." in the real window against a loopback lyrics database.

#include "app/FetchAllDialog.h"
#include "app/TForm1.h"
#include "lyrics/EmbeddedLyrics.h"
#include "lyrics/SongWords.h"
#include "support/FakeMediaPlayer.h"
#include "support/HttpPythonServer.h"
#include "support/QuietServices.h"
#include "support/TestFiles.h"

#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>

using namespace larkspur;
using larkspur::test::readFile;
using larkspur::test::TempDir;
using larkspur::test::writeFile;

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
    writeFile(alpha, "x");
    writeFile(beta, "x");
    writeFile(dir.file("list.txt"), "0|" + alpha + "\r\n0|" + beta + "\r\n");
    test::FakeMediaPlayer mp;
    FormServices services;
    services.mp = &mp;
    std::vector<std::string> errors, infos;
    test::makeQuiet(services, dir.path(), &errors);
    services.showInfo = [&infos](const std::string& text) { infos.push_back(text); };
    TForm1 f(services);
    f.FormCreate({QString::fromStdString(dir.file("list.txt"))});

    ASSERT_TRUE(f.pmlyr->actions().contains(f.Fetchall1));
    EXPECT_EQ(f.Fetchall1->text(), QStringLiteral("Fetch lyrics for all songs..."));
    f.Fetchall1->trigger();
    QPointer<FetchAllDialog> dialog = f.m_fetchAll;
    ASSERT_TRUE(dialog && dialog->isVisible());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return dialog->progressLabel->text().startsWith(QStringLiteral("1 / 2")); }, 20000))
        << dialog->progressLabel->text().toStdString();
    EXPECT_TRUE(dialog->countsLabel->text().contains(QStringLiteral("synced 1")));
    f.Fetchall1->trigger(); // brings up the run under way, starts no second one
    EXPECT_EQ(f.m_fetchAll, dialog.data());
    QTest::mouseClick(dialog->cancelButton, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !infos.empty(); }, 5000));
    EXPECT_NE(infos.front().find("Found synced: 1,"), std::string::npos) << infos.front();
    EXPECT_NE(infos.front().find("Cancelled after 1 songs"), std::string::npos) << infos.front();
    EXPECT_EQ(readFile(lrcFileFor(alpha)), "[00:00.50]one");
    EXPECT_FALSE(std::filesystem::exists(lyricsFileFor(beta)));
    EXPECT_EQ(f.m_fetchAll, nullptr);
    EXPECT_TRUE(errors.empty());
    qputenv("LARKSPUR_LYRICS_DB_URL", "http://127.0.0.1:1");
}
