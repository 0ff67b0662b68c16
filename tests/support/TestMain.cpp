// Test main: headless Qt application and GStreamer for every test executable.

#include <QApplication>
#include <QTemporaryDir>
#include <gst/gst.h>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Nothing a test runs may touch the user's own settings or cache.
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (home.path() + QStringLiteral("/cache")).toLocal8Bit());
    // Nor the real lyrics database: a closed loopback port unless a test points it elsewhere.
    if (qEnvironmentVariableIsEmpty("LARKSPUR_LYRICS_DB_URL"))
        qputenv("LARKSPUR_LYRICS_DB_URL", "http://127.0.0.1:1");
    // Nor the desktop's shortcuts portal, nor a sound device (autoaudiosink would take one).
    qunsetenv("WAYLAND_DISPLAY");
    if (qEnvironmentVariableIsEmpty("LARKSPUR_AUDIO_SINK")) qputenv("LARKSPUR_AUDIO_SINK", "fakesink");
    ::testing::InitGoogleTest(&argc, argv);
    gst_init(&argc, &argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
