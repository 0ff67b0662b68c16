// The player on a private PulseAudio that remembers stream volumes: a stream plays at the
// level the player asks for, and a fade it stopped in is not what the server keeps.

#include "playback/gst/GstMediaPlayer.h"
#include "support/TestFiles.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <gtest/gtest.h>
#include <gst/gst.h>
#include <cstdlib>
#include <functional>
#include <regex>

using namespace larkspur;
using larkspur::test::TempDir;

namespace {

class PrivateSoundServer
{
public:
    explicit PrivateSoundServer(const std::string& folder) : m_socket(folder + "/native")
    {
        auto env = QProcessEnvironment::systemEnvironment();
        for (const char* name :
             {"PULSE_RUNTIME_PATH", "PULSE_STATE_PATH", "PULSE_CONFIG_PATH", "HOME"})
            env.insert(QString::fromLatin1(name), QString::fromStdString(folder));
        m_server.setProcessEnvironment(env);
        m_server.start(QStringLiteral("pulseaudio"),
                       {QStringLiteral("-n"), QStringLiteral("--daemonize=no"),
                        QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--use-pid-file=no"),
                        QStringLiteral("-L"),
                        QString::fromStdString(
                            "module-native-protocol-unix auth-anonymous=1 socket=" + m_socket),
                        QStringLiteral("-L"), QStringLiteral("module-null-sink"),
                        QStringLiteral("-L"), QStringLiteral("module-stream-restore")});
        for (int i = 0; i < 100 && !QFileInfo::exists(QString::fromStdString(m_socket)); ++i)
            QThread::msleep(50);
        m_oldServer = std::getenv("PULSE_SERVER") ? std::getenv("PULSE_SERVER") : "";
        ::setenv("PULSE_SERVER", ("unix:" + m_socket).c_str(), 1);
    }
    ~PrivateSoundServer()
    {
        if (m_oldServer.empty())
            ::unsetenv("PULSE_SERVER");
        else
            ::setenv("PULSE_SERVER", m_oldServer.c_str(), 1);
        m_server.terminate();
        if (!m_server.waitForFinished(5000)) m_server.kill();
    }
    bool running() const { return QFileInfo::exists(QString::fromStdString(m_socket)); }

private:
    std::string m_socket;
    std::string m_oldServer;
    QProcess m_server;
};

// The volume of the one stream on the server, in percent (the server's cubic scale), or -1.
int streamPercent()
{
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"), {QStringLiteral("list"), QStringLiteral("sink-inputs")});
    pactl.waitForFinished(5000);
    const std::string out = pactl.readAllStandardOutput().toStdString();
    std::smatch m;
    if (!std::regex_search(out, m, std::regex(R"(\n\s*Volume:[^/]*/\s*(\d+)%)"))) return -1;
    return std::stoi(m[1]);
}

// What the server gives a new stream of this program that brings no volume of its own.
double rememberedVolume()
{
    GstElement* pipe = gst_parse_launch("audiotestsrc ! pulsesink name=out", nullptr);
    gst_element_set_state(pipe, GST_STATE_PAUSED);
    gst_element_get_state(pipe, nullptr, nullptr, 5 * GST_SECOND);
    GstElement* out = gst_bin_get_by_name(GST_BIN(pipe), "out");
    double volume = -1;
    g_object_get(out, "volume", &volume, nullptr);
    gst_object_unref(out);
    gst_element_set_state(pipe, GST_STATE_NULL);
    gst_object_unref(pipe);
    return volume;
}

} // namespace

TEST(ServerVolume, AFadeIsNotWhatTheServerKeeps)
{
    if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("pactl")).isEmpty())
        GTEST_SKIP() << "pulseaudio or pactl not installed";
    if (!gst_is_initialized()) gst_init(nullptr, nullptr);
    if (GstElementFactory* f = gst_element_factory_find("pulsesink"))
        gst_object_unref(f);
    else
        GTEST_SKIP() << "GStreamer's pulsesink not installed";
    TempDir dir;
    PrivateSoundServer server(dir.path());
    if (!server.running()) GTEST_SKIP() << "pulseaudio did not start here";
    const auto song = dir.file("Band - Song.mp3");
    test::makeMp3(song, 3.0);

    struct Case
    {
        const char* name;
        int userVolume;
        std::function<void(GstMediaPlayer&)> end; // after the fade reached 0
    };
    const Case cases[] = {
        {"paused by a fade", 300, [](GstMediaPlayer& mp) { mp.pause(); }},
        {"stopped by the exit fade", 500, [](GstMediaPlayer& mp) { mp.stop(); }},
        {"closed for the next song", 700, [](GstMediaPlayer&) {}},
        {"resumed at 0 after a pause", 900,
         [](GstMediaPlayer& mp) {
             mp.pause();
             mp.resume();
         }},
    };
    for (const auto& c : cases) {
        {
            GstMediaPlayer mp("pulsesink");
            mp.setUserVolume(c.userVolume);
            mp.setVolume(c.userVolume);
            mp.open(song);
            mp.play();
            // The level asked for, not the one the server kept from the case before.
            int percent = -1;
            for (int i = 0; i < 100 && (percent = streamPercent()) < 0; ++i) QThread::msleep(50);
            EXPECT_NEAR(percent, c.userVolume / 10, 1) << c.name;
            QThread::msleep(200);
            mp.setVolume(c.userVolume / 2);
            mp.setVolume(0);
            c.end(mp);
            mp.close();
        }
        EXPECT_NEAR(rememberedVolume(), GstMediaPlayer::linearVolume(c.userVolume), 0.01)
            << c.name;
    }
}
