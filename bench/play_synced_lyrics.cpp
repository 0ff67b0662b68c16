// CPU of the player (the whole process: window, timers and GStreamer's threads) while a song
// with timed lyrics plays and its sung line is highlighted, beside the same song without
// lyrics, in the same run. The real window (offscreen, shown) and the real GStreamer player
// with a fake sink that keeps real time, on a generated MP3. Rounds alternate the two songs;
// each figure is the median of its rounds. Goal: a song whose lines come every 3 s (as sung
// lyrics do) within 1.1 times the plain song, and so a song highlighted word by word. A line
// every half second is printed beside it as the worst case.

#include "app/TForm1.h"
#include "app/core/Settings.h"
#include "app/core/SettingsStore.h"
#include "lyrics/LrcLyrics.h"
#include "playback/gst/GstMediaPlayer.h"

#include <QApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <gst/gst.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

using namespace larkspur;

namespace {

constexpr int kRounds = 5;
constexpr int kMeasureMs = 6000;
constexpr double kSongSeconds = 40;

double cpuMs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

void encodeMp3(const std::string& path, double seconds)
{
    const int buffers = static_cast<int>(seconds * 44100 / 1024) + 1;
    const std::string desc =
        "audiotestsrc num-buffers=" + std::to_string(buffers) +
        " wave=sine freq=440 ! audioconvert ! lamemp3enc ! filesink location=\"" + path + "\"";
    GstElement* pipeline = gst_parse_launch(desc.c_str(), nullptr);
    if (!pipeline) throw std::runtime_error("no MP3 encoder");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* msg = gst_bus_timed_pop_filtered(
        bus, 120 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    if (msg) gst_message_unref(msg);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
}

void write(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// A line every `every` tenths of a second.
std::string timedLrc(double seconds, int every)
{
    std::string lrc;
    for (int tenths = 0; tenths < seconds * 10; tenths += every) {
        char stamp[16];
        std::snprintf(stamp, sizeof stamp, "[%02d:%02d.%02d]", tenths / 600, tenths / 10 % 60,
                      tenths % 10 * 10);
        lrc +=
            stamp + std::string("Line number ") + std::to_string(tenths / every) + " of the song\n";
    }
    return lrc;
}

// A line every 3 s whose five words are stamped (enhanced LRC): a word every 0.6 s.
std::string wordLrc(double seconds)
{
    std::string lrc;
    for (int tenths = 0; tenths < seconds * 10; tenths += 30) {
        lrc += lrcStamp(tenths * 100);
        for (int w = 0; w < 5; ++w)
            lrc += "<" + lrcStamp(tenths * 100 + w * 600).substr(1, 8) + ">word" + std::to_string(w) + " ";
        lrc += "\n";
    }
    return lrc;
}

void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// CPU milliseconds spent while `song` plays for kMeasureMs, after a second to settle.
double measure(const std::string& folder, const std::string& song, bool expectSynced)
{
    GstMediaPlayer player("fakesink");
    MapSettingsStore store;
    store.values[kLyricsDatabase] = "0";
    FormServices s;
    s.mp = &player;
    s.settings = &store;
    s.playLogFile = folder + "/log.txt";
    s.backupFolder = folder + "/backup";
    s.runtimeFolder = folder + "/run";
    s.showError = [](const std::string& e) { std::fprintf(stderr, "error: %s\n", e.c_str()); };
    s.showFatal = s.showError;
    s.showInfo = [](const std::string&) {};
    const std::string list = folder + "/list.txt";
    write(list, "0|" + song + "\r\n");
    TForm1 f(s);
    f.FormCreate({QString::fromStdString(list)});
    f.show();
    f.PlayNextSong(0);
    if (f.showsSyncedLyrics() != expectSynced) throw std::runtime_error("wrong lyrics for " + song);
    wait(1000);
    const double before = cpuMs();
    wait(kMeasureMs);
    const double spent = cpuMs() - before;
    bool allow = true;
    player.stop();
    f.FormClose(allow);
    return spent;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (home.path() + QStringLiteral("/cache")).toLocal8Bit());
    qputenv("LARKSPUR_LYRICS_DB_URL", "http://127.0.0.1:1"); // never the real one
    gst_init(&argc, &argv);
    QApplication app(argc, argv);

    const std::string folder = home.path().toStdString();
    const std::string plain = folder + "/Bench Band - Plain Song.mp3";
    const std::string synced = folder + "/Bench Band - Synced Song.mp3";
    const std::string dense = folder + "/Bench Band - Dense Song.mp3";
    const std::string words = folder + "/Bench Band - Word Song.mp3";
    encodeMp3(words, kSongSeconds);
    encodeMp3(plain, kSongSeconds);
    encodeMp3(synced, kSongSeconds);
    encodeMp3(dense, kSongSeconds);
    write(folder + "/Bench Band - Synced Song.lrc", timedLrc(kSongSeconds, 30));
    write(folder + "/Bench Band - Dense Song.lrc", timedLrc(kSongSeconds, 5));
    write(folder + "/Bench Band - Word Song.lrc", wordLrc(kSongSeconds));

    std::vector<double> plainMs, syncedMs, denseMs, wordMs;
    for (int round = 0; round < kRounds; ++round) {
        plainMs.push_back(measure(folder, plain, false));
        syncedMs.push_back(measure(folder, synced, true));
        denseMs.push_back(measure(folder, dense, true));
        wordMs.push_back(measure(folder, words, true));
    }
    const double p = median(plainMs), y = median(syncedMs), d = median(denseMs), w = median(wordMs);
    std::printf("CPU over %.1f s of playing, median of %d rounds\n", kMeasureMs / 1000.0, kRounds);
    std::printf("  without lyrics (baseline):      %8.1f ms\n", p);
    std::printf("  synced, a line every 3 s:       %8.1f ms  ratio %.3f (goal: at most 1.10)\n", y,
                y / p);
    std::printf("  synced, a line every 0.5 s:     %8.1f ms  ratio %.3f (worst case, no goal)\n", d,
                d / p);
    std::printf("  word by word, a word every 0.6 s: %6.1f ms  ratio %.3f (goal: at most 1.10)\n", w,
                w / p);
    return y / p <= 1.10 && w / p <= 1.10 ? 0 : 1;
}
