// The program as a desktop installs and starts it: its command-line answers, the installed
// files, and a start from the desktop menu.

#include "support/SessionBus.h"
#include "support/TestFiles.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <gtest/gtest.h>
#include <csignal>
#include <filesystem>

using larkspur::test::readFile;
using larkspur::test::TempDir;
using larkspur::test::writeFile;

namespace {

const QString kPlayer = QStringLiteral(LARKSPUR_BINARY_DIR "/larkspur");
const std::string kAppId = "io.github.larkspur_player.Larkspur";

// Runs a program to its end; its exit code, or -1 when it did not end in time.
int run(const QString& program, const QStringList& args, std::string* out = nullptr,
        const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    if (out) *out = p.readAllStandardOutput().toStdString() + p.readAllStandardError().toStdString();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

} // namespace

TEST(ProgramDesktop, HelpAndVersionAnswerWithoutAWindow)
{
    if (!QFileInfo::exists(kPlayer)) GTEST_SKIP() << "player not built";
    auto env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb")); // would fail to start
    std::string out;
    EXPECT_EQ(run(kPlayer, {QStringLiteral("--version")}, &out, env), 0);
    EXPECT_EQ(out, "larkspur 0.1\n");
    EXPECT_EQ(run(kPlayer, {QStringLiteral("--help")}, &out, env), 0);
    EXPECT_EQ(out.rfind("Usage: larkspur", 0), 0u) << out;
    EXPECT_NE(out.find("--desktop"), std::string::npos);
}

TEST(ProgramDesktop, InstallLaysOutValidDesktopFiles)
{
    TempDir prefix;
    std::string out;
    ASSERT_EQ(run(QStringLiteral("cmake"),
                  {QStringLiteral("--install"), QStringLiteral(LARKSPUR_BINARY_DIR),
                   QStringLiteral("--prefix"), QString::fromStdString(prefix.path())},
                  &out),
              0)
        << out;
    const std::string desktop = prefix.file("share/applications/" + kAppId + ".desktop");
    const std::string metainfo = prefix.file("share/metainfo/" + kAppId + ".metainfo.xml");
    for (const std::string& file :
         {prefix.file("bin/larkspur"), prefix.file("bin/larkspur-tool"), desktop, metainfo,
          prefix.file("share/icons/hicolor/scalable/apps/" + kAppId + ".svg")})
        EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(file))) << file;
    // The installed program finds its window and plays.
    const auto song = prefix.file("Band - Song.mp3"), list = prefix.file("list.txt");
    larkspur::test::makeMp3(song, 3.0);
    writeFile(list, "0|" + song + "\r\n");
    QProcess p;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("LARKSPUR_AUDIO_SINK"), QStringLiteral("fakesink"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(prefix.file("config")));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(QString::fromStdString(prefix.path()));
    p.start(QString::fromStdString(prefix.file("bin/larkspur")), {QString::fromStdString(list)});
    ASSERT_TRUE(p.waitForStarted());
    for (int i = 0; i < 100 && readFile(prefix.file("log.txt")).find(song) == std::string::npos; ++i)
        QThread::msleep(50);
    EXPECT_EQ(p.state(), QProcess::Running) << p.readAllStandardError().toStdString();
    EXPECT_NE(readFile(prefix.file("log.txt")).find(song), std::string::npos);
    p.terminate();
    EXPECT_TRUE(p.waitForFinished(10000));

    // Without its window (a broken install) it says so where a tray program is seen.
    const QString monitorProgram = QStandardPaths::findExecutable(QStringLiteral("dbus-monitor"));
    larkspur::test::SessionBus bus;
    if (!monitorProgram.isEmpty() && !bus.address().isEmpty()) {
        std::filesystem::remove_all(prefix.file("lib/larkspur"));
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
        QProcess monitor;
        monitor.setProcessEnvironment(env);
        monitor.start(monitorProgram, {QStringLiteral("--session"),
                                       QStringLiteral("interface='org.freedesktop.Notifications'")});
        QThread::msleep(300); // connected before the call
        p.setProcessEnvironment(env);
        p.start(QString::fromStdString(prefix.file("bin/larkspur")), {QString::fromStdString(list)});
        EXPECT_TRUE(p.waitForFinished(10000));
        EXPECT_EQ(p.exitCode(), 1);
        std::string told;
        while (told.find("int32 -1") == std::string::npos && monitor.waitForReadyRead(3000))
            told += monitor.readAllStandardOutput().toStdString();
        EXPECT_NE(told.find("string \"Larkspur cannot start\""), std::string::npos) << told;
        EXPECT_NE(told.find("lib/larkspur/larkspur-window.so: cannot open"), std::string::npos) << told;
        monitor.kill();
        monitor.waitForFinished();
    }

    EXPECT_NE(readFile(desktop).find("Exec=larkspur --desktop\n"), std::string::npos);
    EXPECT_EQ(readFile(desktop).find("MimeType"), std::string::npos); // an argument is the list

    const QString validate = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (!validate.isEmpty()) {
        EXPECT_EQ(run(validate, {QString::fromStdString(desktop)}, &out), 0) << out;
    }
    const QString appstream = QStandardPaths::findExecutable(QStringLiteral("appstreamcli"));
    if (!appstream.isEmpty()) {
        EXPECT_EQ(run(appstream, {QStringLiteral("validate"), QStringLiteral("--no-net"),
                                  QString::fromStdString(metainfo)},
                      &out),
                  0)
            << out;
    }
}

// From the desktop menu the play log lives in the user's data folder, and the list used last
// opens again without the file dialog.
TEST(ProgramDesktop, DesktopStartUsesTheDataFolderAndTheLastList)
{
    if (!QFileInfo::exists(kPlayer)) GTEST_SKIP() << "player not built";
    TempDir dir;
    const auto song = dir.file("Band - Song.mp3");
    larkspur::test::makeMp3(song, 5.0);
    const auto list = dir.file("list.txt");
    writeFile(list, "0|" + song + "\r\n");
    const auto log = dir.file("data/larkspur/log.txt");
    for (const QStringList& args : {QStringList{QStringLiteral("--desktop"), QString::fromStdString(list)},
                                    QStringList{QStringLiteral("--desktop")}}) {
        const std::size_t before = readFile(log).size();
        QProcess p;
        p.setWorkingDirectory(QString::fromStdString(dir.path()));
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("LARKSPUR_AUDIO_SINK"), QStringLiteral("fakesink"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(dir.file("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), QString::fromStdString(dir.file("data")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(dir.path()));
        p.setProcessEnvironment(env);
        p.start(kPlayer, args);
        ASSERT_TRUE(p.waitForStarted(5000));
        bool played = false;
        for (int i = 0; i < 200 && !played; ++i) {
            played = readFile(log).find(song, before) != std::string::npos;
            if (!played) QThread::msleep(50);
        }
        ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
        if (!p.waitForFinished(10000)) p.kill();
        EXPECT_TRUE(played) << args.join(QStringLiteral(" ")).toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(dir.file("log.txt")))); // not the current folder
    EXPECT_EQ(readFile(list), "2|" + song + "\r\n");
}
