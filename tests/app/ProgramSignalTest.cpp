// The real program: a terminate signal is a close request that saves the list.

#include "playback/SongListFile.h"
#include "support/SessionBus.h"
#include "support/TestFiles.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <gtest/gtest.h>
#include <csignal>
#include <sys/stat.h>

using larkspur::test::readFile;
using larkspur::test::TempDir;
using larkspur::test::writeFile;

TEST(Program, TerminateSignalFadesSavesOnceAndExitsInTwoPasses)
{
    const QString binary = QStringLiteral(LARKSPUR_BINARY_DIR "/larkspur");
    if (!QFileInfo::exists(binary)) GTEST_SKIP() << "player not built";
    TempDir dir;
    const auto song = dir.file("Band - Song.mp3");
    larkspur::test::makeMp3(song, 5.0);
    const auto list = dir.file("list.txt");
    writeFile(list, "0|" + song + "\r\n");

    const auto saves = dir.file("saves.log");
    for (int sig : {SIGTERM, SIGINT}) {
        const std::size_t logBefore = readFile(dir.file("log.txt")).size();
        QProcess p;
        p.setWorkingDirectory(QString::fromStdString(dir.path()));
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("LARKSPUR_AUDIO_SINK"), QStringLiteral("fakesink"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(dir.file("config")));
        env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(LARKSPUR_FSYNC_PROBE));
        env.insert(QStringLiteral("LARKSPUR_FSYNC_PROBE_LOG"), QString::fromStdString(saves));
        p.setProcessEnvironment(env);
        p.start(binary, {QString::fromStdString(list)});
        ASSERT_TRUE(p.waitForStarted(5000));
        // Wait for the song line, then ask the program to end.
        for (int i = 0; i < 100 && readFile(dir.file("log.txt")).find(song, logBefore) ==
                                       std::string::npos;
             ++i)
            QThread::msleep(50);
        const std::size_t savesBefore = readFile(saves).size();
        ::kill(static_cast<pid_t>(p.processId()), sig);
        ASSERT_TRUE(p.waitForFinished(10000)) << "still running after signal " << sig;
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 0);
        // Two exit lines, faded out in two passes, but the list is saved once: the close at
        // the fade's end has nothing new to save.
        const std::string log = readFile(dir.file("log.txt"));
        EXPECT_TRUE(log.ends_with(" <- EXIT\r\n <- EXIT\r\n")) << log.substr(logBefore);
        const std::string saved = readFile(saves).substr(savesBefore);
        EXPECT_EQ(saved.find("rename list.txt\n"), saved.rfind("rename list.txt\n")) << saved;
        EXPECT_NE(saved.find("rename list.txt\n"), std::string::npos) << saved;
    }
    EXPECT_EQ(readFile(list), "2|" + song + "\r\n"); // both plays counted and saved
}

namespace {

struct Player
{
    QProcess process;
    std::string output() { return process.readAllStandardError().toStdString(); }
};

void startPlayer(Player& p, const TempDir& dir, const QStringList& args,
                 const QProcessEnvironment& more = {})
{
    p.process.setWorkingDirectory(QString::fromStdString(dir.path()));
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(more);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("LARKSPUR_AUDIO_SINK"), QStringLiteral("fakesink"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(dir.file("config")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(dir.file("run")));
    p.process.setProcessEnvironment(env);
    p.process.start(QStringLiteral(LARKSPUR_BINARY_DIR "/larkspur"), args);
    p.process.waitForStarted(5000);
}

bool waitForText(const std::string& file, const std::string& text, std::size_t from = 0)
{
    for (int i = 0; i < 200; ++i) {
        if (readFile(file).find(text, from) != std::string::npos) return true;
        QThread::msleep(50);
    }
    return false;
}

} // namespace

// A close request ends the program whatever it is doing: here asking for the list at
// start, and in a second copy refused because another plays the same list.
TEST(Program, CloseRequestEndsTheStartDialogAndARefusedSecondCopy)
{
    if (!QFileInfo::exists(QStringLiteral(LARKSPUR_BINARY_DIR "/larkspur"))) GTEST_SKIP();
    TempDir dir;
    ::mkdir(dir.file("run").c_str(), 0700);
    const auto log = dir.file("log.txt");

    Player asking;
    startPlayer(asking, dir, {});
    ASSERT_TRUE(waitForText(log, " <- START"));
    QThread::msleep(300); // the dialog is up
    ::kill(static_cast<pid_t>(asking.process.processId()), SIGTERM);
    ASSERT_TRUE(asking.process.waitForFinished(5000)) << "still asking for a list";
    EXPECT_EQ(asking.process.exitCode(), 0);
    EXPECT_NE(readFile(log).find(" <- EXIT"), std::string::npos);

    const auto song = dir.file("Band - Song.mp3");
    larkspur::test::makeMp3(song, 5.0);
    const auto list = dir.file("list.txt");
    writeFile(list, "0|" + song + "\r\n");
    Player first;
    startPlayer(first, dir, {QString::fromStdString(list)});
    ASSERT_TRUE(waitForText(log, song));
    Player second;
    startPlayer(second, dir, {QString::fromStdString(list)});
    std::string said;
    for (int i = 0; i < 100 && said.find("already playing") == std::string::npos; ++i) {
        second.process.waitForReadyRead(50);
        said += second.output();
    }
    EXPECT_NE(said.find("already playing"), std::string::npos) << said;
    ::kill(static_cast<pid_t>(second.process.processId()), SIGTERM); // its message is up
    ASSERT_TRUE(second.process.waitForFinished(5000));
    EXPECT_EQ(second.process.state(), QProcess::NotRunning);
    EXPECT_EQ(first.process.state(), QProcess::Running);
    ::kill(static_cast<pid_t>(first.process.processId()), SIGTERM);
    ASSERT_TRUE(first.process.waitForFinished(10000));
    EXPECT_EQ(readFile(list), "1|" + song + "\r\n"); // one play, saved by the first copy only
}

// Terminated while its settings cannot be saved, the program keeps a copy of the list, names
// it in a desktop notification (no one may be there for a box) and ends with a failure.
TEST(Program, TerminateThatCannotSaveKeepsTheListAndSaysWhere)
{
    const QString monitorProgram = QStandardPaths::findExecutable(QStringLiteral("dbus-monitor"));
    larkspur::test::SessionBus bus;
    if (monitorProgram.isEmpty() || bus.address().isEmpty()) GTEST_SKIP() << "no D-Bus tools";
    TempDir dir;
    const auto song = dir.file("Band - Song.mp3"), list = dir.file("list.txt");
    larkspur::test::makeMp3(song, 5.0);
    writeFile(list, "0|" + song + "\r\n");
    writeFile(dir.file("config"), "a file where the settings' folder belongs");
    QProcessEnvironment env;
    env.insert(QStringLiteral("XDG_DATA_HOME"), QString::fromStdString(dir.file("data")));
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
    QProcess monitor;
    monitor.start(monitorProgram, {QStringLiteral("--address"), bus.address(),
                                   QStringLiteral("interface='org.freedesktop.Notifications'")});
    Player player;
    startPlayer(player, dir, {QString::fromStdString(list)}, env);
    ASSERT_TRUE(waitForText(dir.file("log.txt"), song));
    ::kill(static_cast<pid_t>(player.process.processId()), SIGTERM);
    ASSERT_TRUE(player.process.waitForFinished(15000));
    EXPECT_EQ(player.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(player.process.exitCode(), 1) << player.output();
    const std::string copy = larkspur::listDataFile(dir.file("data/larkspur"), list, "unsaved");
    EXPECT_EQ(readFile(copy), "1|" + song + "\r\n");
    std::string told;
    while (told.find(copy) == std::string::npos && monitor.waitForReadyRead(3000))
        told += monitor.readAllStandardOutput().toStdString();
    EXPECT_NE(told.find("\"Larkspur could not save at its end\""), std::string::npos) << told;
    EXPECT_NE(told.find(copy), std::string::npos) << told;
    monitor.kill();
    monitor.waitForFinished();
}
