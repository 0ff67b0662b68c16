// The real player on a private session bus, driven as desktops and media keys drive it.

#include "support/TestFiles.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <gtest/gtest.h>
#include <csignal>
#include <functional>

using larkspur::test::readFile;
using larkspur::test::TempDir;
using larkspur::test::writeFile;

namespace {

class SessionBus
{
public:
    SessionBus()
    {
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--session"), QStringLiteral("--nofork"),
                        QStringLiteral("--print-address=1")});
        if (m_daemon.waitForStarted(5000) && m_daemon.waitForReadyRead(5000))
            m_address = QString::fromUtf8(m_daemon.readLine().trimmed());
    }
    ~SessionBus()
    {
        m_daemon.kill();
        m_daemon.waitForFinished(3000);
    }
    QString address() const { return m_address; }

private:
    QProcess m_daemon;
    QString m_address;
};

} // namespace

TEST(ProgramMpris, DesktopControlsDriveThePlayer)
{
    const QString player = QStringLiteral(LARKSPUR_BINARY_DIR "/larkspur");
    const QString gdbus = QStandardPaths::findExecutable(QStringLiteral("gdbus"));
    if (!QFileInfo::exists(player) || gdbus.isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("dbus-monitor")).isEmpty())
        GTEST_SKIP() << "needs the player, dbus-daemon, dbus-monitor and gdbus";
    SessionBus bus;
    ASSERT_FALSE(bus.address().isEmpty());
    TempDir dir;
    std::string text;
    for (const char* name : {"First Band - One.mp3", "Second Band - Two.mp3"}) {
        larkspur::test::makeMp3(dir.file(name), 20.0);
        text += "0|" + dir.file(name) + "\r\n";
    }
    writeFile(dir.file("list.txt"), text);

    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("LARKSPUR_AUDIO_SINK"), QStringLiteral("fakesink"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(dir.file("config")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(dir.path()));
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(QString::fromStdString(dir.path()));
    p.start(player, {QString::fromStdString(dir.file("list.txt"))});
    ASSERT_TRUE(p.waitForStarted(5000));

    QProcess monitor; // what the player announces
    monitor.setProcessEnvironment(env);
    // dbus-monitor writes each message as it comes; gdbus monitor would hold them back.
    monitor.start(QStringLiteral("dbus-monitor"),
                  {QStringLiteral("--session"),
                   QStringLiteral("type='signal',interface='org.freedesktop.DBus.Properties'")});
    QThread::msleep(300); // connected before anything happens
    const auto ask = [&](const QStringList& args) {
        QProcess c;
        c.setProcessEnvironment(env);
        c.start(gdbus, QStringList{QStringLiteral("call"), QStringLiteral("--session"),
                                   QStringLiteral("--dest"), QStringLiteral("org.mpris.MediaPlayer2.larkspur"),
                                   QStringLiteral("--object-path"), QStringLiteral("/org/mpris/MediaPlayer2"),
                                   QStringLiteral("--method")} +
                           args);
        c.waitForFinished(10000);
        return c.readAllStandardOutput().toStdString();
    };
    const auto property = [&](const char* name) {
        return ask({QStringLiteral("org.freedesktop.DBus.Properties.Get"),
                    QStringLiteral("org.mpris.MediaPlayer2.Player"), QString::fromLatin1(name)});
    };
    const auto waitFor = [](const std::function<bool()>& cond) {
        for (int i = 0; i < 200 && !cond(); ++i) QThread::msleep(50);
        return cond();
    };
    ASSERT_TRUE(waitFor([&] { return property("PlaybackStatus").find("'Playing'") != std::string::npos; }));
    const std::string meta = property("Metadata");
    EXPECT_NE(meta.find("xesam:title"), std::string::npos) << meta;
    EXPECT_NE(meta.find("file://" + dir.path()), std::string::npos) << meta;

    ask({QStringLiteral("org.mpris.MediaPlayer2.Player.Next")});
    EXPECT_TRUE(waitFor([&] { return readFile(dir.file("log.txt")).find(" <- NEXT") != std::string::npos; }));
    ask({QStringLiteral("org.mpris.MediaPlayer2.Player.PlayPause")});
    EXPECT_TRUE(waitFor([&] { return property("PlaybackStatus").find("'Paused'") != std::string::npos; }));
    ask({QStringLiteral("org.freedesktop.DBus.Properties.Set"), QStringLiteral("org.mpris.MediaPlayer2.Player"),
         QStringLiteral("Volume"), QStringLiteral("<0.5>")});
    EXPECT_NE(property("Volume").find("0.5"), std::string::npos);
    for (const char* notALevel : {"<nan>", "<inf>", "<-inf>"}) {
        ask({QStringLiteral("org.freedesktop.DBus.Properties.Set"), QStringLiteral("org.mpris.MediaPlayer2.Player"),
             QStringLiteral("Volume"), QString::fromLatin1(notALevel)});
        EXPECT_NE(property("Volume").find("0.5"), std::string::npos) << notALevel;
    }

    std::string announced;
    for (int i = 0; i < 50 && announced.find("\"Paused\"") == std::string::npos; ++i) {
        monitor.waitForReadyRead(100);
        announced += monitor.readAllStandardOutput().toStdString();
    }
    EXPECT_NE(announced.find("PropertiesChanged"), std::string::npos) << announced;
    EXPECT_NE(announced.find("\"Paused\""), std::string::npos) << announced;
    monitor.kill();
    monitor.waitForFinished(3000);

    ask({QStringLiteral("org.mpris.MediaPlayer2.PlayPause")}); // the exit fades out
    // Quit again and again while the exit fade runs: one close, with its two exit lines.
    for (int i = 0; i < 10; ++i) ask({QStringLiteral("org.mpris.MediaPlayer2.Quit")});
    EXPECT_TRUE(p.waitForFinished(10000));
    if (p.state() != QProcess::NotRunning) p.kill();
    const std::string log = readFile(dir.file("log.txt"));
    std::size_t exits = 0;
    for (auto at = log.find(" <- EXIT"); at != std::string::npos; at = log.find(" <- EXIT", at + 1))
        ++exits;
    EXPECT_EQ(exits, 2u) << log;
}
