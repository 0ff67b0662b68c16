// The real player on a private session bus, driven as desktops and media keys drive it.

#include "app/core/Mpris.h"
#include "support/SessionBus.h"
#include "support/TestFiles.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <glib.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <gtest/gtest.h>
#include <csignal>
#include <filesystem>
#include <functional>
#include <iostream>
#include <regex>
#include <set>

using larkspur::test::readFile;
using larkspur::test::TempDir;
using larkspur::test::writeFile;
using namespace Qt::StringLiterals;

namespace {

// The first group of each match.
std::vector<std::string> matches(const std::string& text, const std::string& pattern)
{
    std::vector<std::string> out;
    const std::regex re(pattern);
    for (std::sregex_iterator m(text.begin(), text.end(), re), end; m != end; ++m)
        out.push_back((*m)[1]);
    return out;
}

} // namespace

TEST(ProgramMpris, DesktopControlsDriveThePlayer)
{
    const QString player = QStringLiteral(LARKSPUR_BINARY_DIR "/larkspur");
    const QString gdbus = QStandardPaths::findExecutable(QStringLiteral("gdbus"));
    if (!QFileInfo::exists(player) || gdbus.isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("dbus-monitor")).isEmpty())
        GTEST_SKIP() << "needs the player, dbus-daemon, dbus-monitor and gdbus";
    larkspur::test::SessionBus bus;
    ASSERT_FALSE(bus.address().isEmpty());
    TempDir dir;
    std::filesystem::create_directories(dir.file("config/Larkspur"));
    writeFile(dir.file("config/Larkspur/Larkspur.conf"), "[General]\nFade%20speed=10\n");
    const std::string song = dir.file("Ärger & Söhne - Grüße #1 100%.mp3");
    larkspur::test::makeMp3(song, 20.0);
    TagLib::MPEG::File tagged(song.c_str());
    ASSERT_TRUE((tagged.ID3v2Tag(true)->setAlbum("Zweites Album"), tagged.ID3v2Tag()->setTrack(7), tagged.save()));
    writeFile(dir.file("list.txt"), "0|" + song + "\r\n");

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
                   QStringLiteral("type='signal',interface='org.freedesktop.DBus.Properties'"),
                   QStringLiteral("type='signal',interface='org.mpris.MediaPlayer2.Player'")});
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
    const auto is = [&](const char* status) {
        return [&, status] { return property("PlaybackStatus").find(status) != std::string::npos; };
    };
    const auto mpris = [](const char* method) {
        return u"org.mpris.MediaPlayer2.Player."_s + QLatin1String(method);
    };
    ASSERT_TRUE(waitFor([&] { return property("PlaybackStatus").find("'Playing'") != std::string::npos; }));
    ASSERT_TRUE(waitFor([&] { return property("Metadata").find("mpris:length") != std::string::npos; }));
    const std::string meta = property("Metadata");
    for (const char* entry : {"'xesam:title': <'Grüße #1 100%'>", "'xesam:artist': <['Ärger & Söhne']>",
                              "'xesam:album': <'Zweites Album'>", "'xesam:trackNumber': <7>", "'mpris:length': <int64 "})
        EXPECT_NE(meta.find(entry), std::string::npos) << entry << " in " << meta;
    gchar* uri = g_filename_to_uri(song.c_str(), nullptr, nullptr); // as GLib writes it
    EXPECT_NE(meta.find("'xesam:url': <'" + std::string(uri) + "'>"), std::string::npos) << meta;
    g_free(uri);
    std::string path = "/m/Caf\xE9;[1]/"; // every byte a name holds, one not UTF-8 among them
    for (int b = 1; b < 256; ++b) path += static_cast<char>(b == '/' ? 'x' : b);
    EXPECT_EQ(larkspur::fileUri(path), uri = g_filename_to_uri(path.c_str(), nullptr, nullptr));
    g_free(uri);
    const auto trackId = matches(meta, "objectpath '([^']*)'");
    ASSERT_EQ(trackId.size(), 1u) << meta;

    // The interface as the MPRIS interface file has it, but for its optional LoopStatus and
    // Shuffle: names, types and access; arguments in order.
    std::string xml = ask({u"org.freedesktop.DBus.Introspectable.Introspect"_s}), members;
    xml = xml.substr(xml.find("\"org.mpris.MediaPlayer2.Player\""));
    const std::regex element(
        R"re(<(method|signal|property|arg) name="(\w*)"(?: type="([^"]*)")?(?: access="(\w+)")?)re");
    for (std::sregex_iterator m(xml.begin(), xml.find("</interface>") + xml.begin(), element), end;
         m != end; ++m)
        for (int i = (*m)[1] == "arg" ? 2 : 1; i <= 4; ++i)
            if ((*m)[i].matched) members += (i == 1 ? "|" : " ") + (*m)[i].str();
    const auto found = matches(members, "([^|]+)"),
               file = matches(
                   "method Next|method Previous|method Pause|method PlayPause|method Stop|"
                   "method Play|method Seek Offset x|method SetPosition TrackId o Position x|"
                   "method OpenUri Uri s|signal Seeked Position x|property PlaybackStatus s read|"
                   "property Rate d readwrite|property Metadata a{sv} read|property Volume d "
                   "readwrite|property Position x read|property MinimumRate d read|property "
                   "MaximumRate d read|property CanGoNext b read|property CanGoPrevious b read|"
                   "property CanPlay b read|property CanPause b read|property CanSeek b read|"
                   "property CanControl b read",
                   "([^|]+)");
    EXPECT_EQ(std::set(found.begin(), found.end()), std::set(file.begin(), file.end()));
    EXPECT_NE(property("CanSeek").find("true"), std::string::npos);
    ask({u"org.freedesktop.DBus.Properties.Set"_s, u"org.mpris.MediaPlayer2.Player"_s, u"Rate"_s,
         u"<0.5>"_s});
    EXPECT_NE(property("Rate").find("1.0"), std::string::npos);

    // Each step, and the status it leaves; announced once each, after the change.
    const auto still = [&] { // the pause fade is over
        const std::string at = property("Position");
        QThread::msleep(200);
        return at == property("Position");
    };
    const auto starts = [&] { return matches(readFile(dir.file("log.txt")), "(mp3)\r\n").size(); };
    ask({mpris("Next")});
    EXPECT_TRUE(waitFor([&] { return starts() == 2; }));
    ask({u"org.freedesktop.DBus.Properties.Set"_s, mpris("Rate").section(u'.', 0, -2), u"Rate"_s, u"<0.0>"_s});
    EXPECT_TRUE(waitFor(is("'Paused'")) && waitFor(still));
    ask({QStringLiteral("org.freedesktop.DBus.Properties.Set"), QStringLiteral("org.mpris.MediaPlayer2.Player"),
         QStringLiteral("Volume"), QStringLiteral("<0.5>")});
    EXPECT_NE(property("Volume").find("0.5"), std::string::npos);
    for (const char* notALevel : {"<nan>", "<inf>", "<-inf>"}) {
        ask({QStringLiteral("org.freedesktop.DBus.Properties.Set"), QStringLiteral("org.mpris.MediaPlayer2.Player"),
             QStringLiteral("Volume"), QString::fromLatin1(notALevel)});
        EXPECT_NE(property("Volume").find("0.5"), std::string::npos) << notALevel;
    }

    // Seeks while paused, so the position stays put: µs; ignored calls announce nothing.
    const QString id = QString::fromStdString("'" + trackId[0] + "'");
    for (const QStringList& call :
         {QStringList{mpris("SetPosition"), id, u"5000000"_s},
          {mpris("SetPosition"), u"'/org/larkspur/track/7'"_s, u"6000000"_s},
          {mpris("SetPosition"), id, u"--"_s, u"-1"_s},
          {mpris("SetPosition"), id, u"21000000"_s},
          {mpris("Seek"), u"2000000"_s},
          {mpris("Seek"), u"--"_s, u"-60000000"_s}})
        ask(call);
    ask({mpris("PlayPause")}); // resume
    EXPECT_TRUE(waitFor(is("'Playing'")));
    ask({mpris("PlayPause")}); // and resume again while the pause fades
    ask({mpris("PlayPause")});
    QThread::msleep(2000);
    EXPECT_FALSE(still());
    ask({mpris("PlayPause")});
    EXPECT_TRUE(waitFor(still));
    ask({mpris("Seek"), u"60000000"_s}); // past the end: the next song, though paused
    EXPECT_TRUE(waitFor(is("'Playing'")));
    QThread::msleep(500);

    std::string announced;
    while (monitor.waitForReadyRead(300))
        announced += monitor.readAllStandardOutput().toStdString();
    EXPECT_EQ(matches(announced, R"re("PlaybackStatus"\s+variant\s+string "(\w+)")re"),
              (std::vector<std::string>{"Playing", "Paused", "Playing", "Paused", "Playing",
                                        "Paused", "Playing"}))
        << announced;
    const auto seeked = matches(announced, R"(member=Seeked\n\s*int64 (-?\d+))");
    ASSERT_EQ(seeked.size(), 3u) << announced;
    EXPECT_EQ(seeked[0], "5000000");
    EXPECT_NEAR(std::stoll(seeked[1]), 7000000, 100000);
    EXPECT_EQ(seeked[2], "0");
    EXPECT_EQ(starts(), 3u);
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
    if (HasFailure())
        std::cerr << "The player's log:\n" << log << "Its errors:\n"
                  << p.readAllStandardError().toStdString();
}
