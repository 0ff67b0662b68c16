// A stream stopped in a fade leaves a sound server that remembers volumes the user's level.

#include "playback/gst/GstMediaPlayer.h"
#include "support/TestFiles.h"

#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>
#include <gst/gst.h>
#include <memory>

using namespace larkspur;
using namespace Qt::StringLiterals;

TEST(ServerVolume, AStreamStoppedInAFadeLeavesTheUsersLevel)
{
    test::TempDir dir;
    const QString folder = QString::fromStdString(dir.path()), socket = folder + u"/native"_s;
    QProcess server; // killed with the test
    auto env = QProcessEnvironment::systemEnvironment();
    for (auto name : {"PULSE_RUNTIME_PATH", "PULSE_STATE_PATH", "PULSE_CONFIG_PATH", "HOME"})
        env.insert(QString::fromLatin1(name), folder);
    server.setProcessEnvironment(env);
    server.start(u"pulseaudio"_s,
                 {u"-n"_s, u"--exit-idle-time=-1"_s, u"-L"_s, u"module-null-sink"_s, u"-L"_s,
                  u"module-stream-restore"_s, u"-L"_s,
                  u"module-native-protocol-unix auth-anonymous=1 socket="_s + socket});
    for (int i = 0; i < 100 && !QFileInfo::exists(socket); ++i) QThread::msleep(50);
    GstElement* probe = gst_parse_launch("audiotestsrc ! pulsesink name=out", nullptr);
    GstElement* out = probe ? gst_bin_get_by_name(GST_BIN(probe), "out") : nullptr;
    if (!QFileInfo::exists(socket) || !out) GTEST_SKIP() << "no pulseaudio or pulsesink";
    qputenv("PULSE_SERVER", (u"unix:"_s + socket).toLocal8Bit());
    const auto song = dir.file("Band - Song.mp3");
    test::makeMp3(song, 3.0);
    const std::pair<int, void (*)(GstMediaPlayer&)> cases[] = {
        {300, [](GstMediaPlayer& mp) { mp.pause(); }},              // a pause's fade
        {500, [](GstMediaPlayer& mp) { mp.stop(); }},               // the exit fade
        {700, [](GstMediaPlayer&) {}},                              // a skip's: closed playing
        {900, [](GstMediaPlayer& mp) { mp.pause(), mp.resume(); }}, // resumed at 0, closed
    };
    for (const auto& [userVolume, end] : cases) {
        auto mp = std::make_unique<GstMediaPlayer>("pulsesink");
        mp->setUserVolume(userVolume);
        mp->setVolume(userVolume);
        mp->open(song);
        mp->play();
        QThread::msleep(300);
        mp->setVolume(0);
        end(*mp);
        mp.reset();
        // What a new stream of this program that brings no volume of its own is given.
        gst_element_set_state(probe, GST_STATE_PAUSED);
        gst_element_get_state(probe, nullptr, nullptr, 5 * GST_SECOND);
        double kept = -1;
        g_object_get(out, "volume", &kept, nullptr);
        gst_element_set_state(probe, GST_STATE_NULL);
        EXPECT_NEAR(kept, GstMediaPlayer::linearVolume(userVolume), 0.01) << userVolume;
    }
    qunsetenv("PULSE_SERVER");
    gst_object_unref(out);
    gst_object_unref(probe);
}
