// The real player on Wayland (as far as it can tell) with a stand-in shortcuts portal on a
// private session bus: it binds the ten hotkeys there and runs the action of each id pressed.

#include "support/StandInPortal.h"
#include "support/TestFiles.h"

#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using larkspur::test::readFile;

TEST(ProgramPortal, BindsTheTenHotkeysAndRunsEachActivatedAction)
{
    const QString binary = u"" LARKSPUR_BINARY_DIR "/larkspur"_s;
    if (!QFileInfo::exists(binary)) GTEST_SKIP() << "player not built";
    larkspur::test::StandInPortal portal;
    larkspur::test::TempDir dir;
    std::string list;
    for (const char* song : {"A - One.mp3", "B - Two.mp3"}) {
        larkspur::test::makeMp3(dir.file(song), 60.0);
        list += "0|" + dir.file(song) + "\r\n";
    }
    larkspur::test::writeFile(dir.file("list.txt"), list);
    std::filesystem::create_directories(dir.file("config/Larkspur"));
    const std::string conf = dir.file("config/Larkspur/Larkspur.conf");
    larkspur::test::writeFile(conf, "[General]\nFade%20speed=10\n");

    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, portal.address());
    env.insert(u"WAYLAND_DISPLAY"_s, u"wayland-larkspur-test"_s);
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    env.insert(u"LARKSPUR_AUDIO_SINK"_s, u"fakesink"_s);
    env.insert(u"XDG_CONFIG_HOME"_s, QString::fromStdString(dir.file("config")));
    env.insert(u"XDG_RUNTIME_DIR"_s, QString::fromStdString(dir.path()));
    QProcess player;
    player.setProcessEnvironment(env);
    player.setWorkingDirectory(QString::fromStdString(dir.path()));
    player.start(binary, {QString::fromStdString(dir.file("list.txt"))});
    const auto songs = [&] {
        return QString::fromStdString(readFile(dir.file("log.txt"))).count(u".mp3\r\n"_s);
    };
    (void)QTest::qWaitFor([&] { return songs() >= 1 && portal.calls().size() >= 5; }, 30000);
    const QStringList calls = portal.calls();
    ASSERT_EQ(calls.size(), 5) << calls.join(u'\n').toStdString() << "\n"
                               << readFile(dir.file("log.txt"))
                               << player.readAllStandardError().toStdString();
    ASSERT_EQ(songs(), 1);
    EXPECT_EQ(calls[0], u"Register io.github.larkspur_player.Larkspur"_s);
    EXPECT_EQ(calls[4].count(u"=CTRL+SHIFT+"_s), 10) << calls[4].toStdString();
    EXPECT_TRUE(calls[4].contains(u"volume-down=Volume down=CTRL+SHIFT+1 "_s));

    portal.activate(u"next"_s);
    EXPECT_TRUE(QTest::qWaitFor([&] { return songs() == 2; }, 10000));
    for (const char* id : {"volume-down", "volume-down", "volume-up", "close"})
        portal.activate(QString::fromLatin1(id));
    EXPECT_TRUE(QTest::qWaitFor([&] { return player.state() == QProcess::NotRunning; }, 10000));
    EXPECT_NE(readFile(dir.file("log.txt")).rfind(" <- EXIT\r\n <- EXIT\r\n"), std::string::npos)
        << readFile(dir.file("log.txt")) << player.readAllStandardError().toStdString();
    EXPECT_NE(readFile(conf).find("Volume=900\n"), std::string::npos) << readFile(conf);
    player.kill();
    player.waitForFinished(5000);
}
