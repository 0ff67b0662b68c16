// The real program: a terminate signal is a close request that saves the list.

#include "support/TestFiles.h"

#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>
#include <csignal>

using larkspur::test::readFile;
using larkspur::test::TempDir;
using larkspur::test::writeFile;

TEST(Program, TerminateSignalFadesSavesAndExits)
{
    const QString binary = QStringLiteral(LARKSPUR_BINARY_DIR "/larkspur");
    if (!QFileInfo::exists(binary)) GTEST_SKIP() << "player not built";
    TempDir dir;
    const auto song = dir.file("Band - Song.mp3");
    larkspur::test::makeMp3(song, 5.0);
    const auto list = dir.file("list.txt");
    writeFile(list, "0|" + song + "\r\n");

    for (int sig : {SIGTERM, SIGINT}) {
        const std::size_t logBefore = readFile(dir.file("log.txt")).size();
        QProcess p;
        p.setWorkingDirectory(QString::fromStdString(dir.path()));
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("LARKSPUR_AUDIO_SINK"), QStringLiteral("fakesink"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(dir.file("config")));
        p.setProcessEnvironment(env);
        p.start(binary, {QString::fromStdString(list)});
        ASSERT_TRUE(p.waitForStarted(5000));
        // Wait for the song line, then ask the program to end.
        for (int i = 0; i < 100 && readFile(dir.file("log.txt")).find(song, logBefore) ==
                                       std::string::npos;
             ++i)
            QThread::msleep(50);
        ::kill(static_cast<pid_t>(p.processId()), sig);
        ASSERT_TRUE(p.waitForFinished(10000)) << "still running after signal " << sig;
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 0);
    }
    const std::string log = readFile(dir.file("log.txt"));
    EXPECT_EQ(log.rfind(" <- EXIT\r\n <- EXIT\r\n"), log.size() - 20); // faded out, two passes
    EXPECT_EQ(readFile(list), "2|" + song + "\r\n"); // both plays counted and saved
}
