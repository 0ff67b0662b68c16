#include "playback/gst/GstMediaPlayer.h"
#include "playback/Mp3Frames.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <utility>
#include <sys/stat.h>
#include <gst/audio/gstaudiobasesink.h>
#include <gst/audio/streamvolume.h>
#include <gst/gst.h>

namespace larkspur {

namespace {

// playbin's flags: audio only, volume done in software.
constexpr guint kPlayFlagAudio = 0x02;
constexpr guint kPlayFlagSoftVolume = 0x10;
// A sink whose volume is applied at the sound server buffers this far ahead, and is asked
// for this much at a time: far fewer wake-ups of the decoder and the server than the
// defaults (200 ms and 10 ms), which a fade applied to the samples would need.
constexpr gint64 kServerVolumeBufferUs = 1000000;
constexpr gint64 kServerVolumeSegmentUs = 100000;
// How long the warm-up waits for the first song to reach playing.
constexpr GstClockTime kFirstSongWait = 300 * GST_MSECOND;

// The sink element (or the device sink inside autoaudiosink) whose volume the sound server
// applies when it mixes, so a change sounds at once whatever the sink has buffered; null
// when the volume would be in the samples already sent.
GstElement* serverVolumeSink(GstElement* sink)
{
    GstElement* elem = nullptr;
    if (GST_IS_BIN(sink)) {
        // autoaudiosink picks its device when it gets ready; playbin would do this anyway.
        if (gst_element_set_state(sink, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE)
            return nullptr;
        elem = gst_bin_get_by_interface(GST_BIN(sink), GST_TYPE_STREAM_VOLUME);
    } else if (GST_IS_STREAM_VOLUME(sink)) {
        elem = GST_ELEMENT(gst_object_ref(sink));
    }
    if (elem && !GST_IS_AUDIO_BASE_SINK(elem)) {
        gst_object_unref(elem);
        elem = nullptr;
    }
    return elem;
}

std::string sinkName(std::string audioSink)
{
    if (!audioSink.empty()) return audioSink;
    const char* env = std::getenv("LARKSPUR_AUDIO_SINK");
    return env && *env ? env : "autoaudiosink";
}

// A playbin for the file on a new sink of that name, at that volume, still in NULL.
GstElement* makePlaybin(const std::string& fileName, const std::string& sinkName, int volume,
                        bool& serverVolume)
{
    // A pipe or a device would block the preroll for ever (the time limit does not reach
    // into a blocking read), so only regular files are handed to GStreamer.
    struct stat st {};
    if (::stat(fileName.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
        throw PlayerError("Not a regular file: " + fileName);

    GError* uriError = nullptr;
    gchar* uri = gst_filename_to_uri(fileName.c_str(), &uriError);
    if (!uri) {
        std::string text = uriError ? uriError->message : "Invalid file name";
        if (uriError) g_error_free(uriError);
        throw PlayerError(text);
    }
    GstElement* playbin = gst_element_factory_make("playbin", nullptr);
    if (!playbin) {
        g_free(uri);
        throw PlayerError("GStreamer's playbin element is not installed");
    }
    GstElement* sink = gst_element_factory_make(sinkName.c_str(), nullptr);
    serverVolume = false;
    if (sink) {
        if (sinkName == "fakesink") g_object_set(sink, "sync", TRUE, nullptr);
        if (GstElement* device = serverVolumeSink(sink)) {
            g_object_set(device, "buffer-time", kServerVolumeBufferUs, "latency-time",
                         kServerVolumeSegmentUs, nullptr);
            gst_object_unref(device);
            serverVolume = true;
        }
        g_object_set(playbin, "audio-sink", sink, nullptr);
    }
    // playbin uses a sink's own volume; the soft-volume flag adds one for sinks without.
    g_object_set(playbin, "uri", uri, "flags",
                 serverVolume ? kPlayFlagAudio : kPlayFlagAudio | kPlayFlagSoftVolume, nullptr);
    g_free(uri);
    // Set before the stream exists, it goes with the stream's creation: the server then
    // neither overrides it with a remembered volume nor remembers it.
    gst_stream_volume_set_volume(GST_STREAM_VOLUME(playbin), GST_STREAM_VOLUME_FORMAT_LINEAR,
                                 GstMediaPlayer::linearVolume(volume));
    return playbin;
}

std::string takeErrorText(GstMessage* msg)
{
    GError* err = nullptr;
    gchar* debug = nullptr;
    gst_message_parse_error(msg, &err, &debug);
    std::string text = err && err->message ? err->message : "Unknown playback error";
    if (err) g_error_free(err);
    g_free(debug);
    return text;
}

} // namespace

// What warmUp prepared. The thread is joined by the player that takes it; the sink waits
// there, already open, for the first pipeline with a sink of that name.
struct GstWarmStart final : WarmStart
{
    std::mutex mutex;
    std::thread thread;
    std::string sinkName;
    GstElement* sink = nullptr;
    // The first song, set playing by the thread; the player takes it over when it opens that
    // file, any other open stops it.
    std::string songPath;
    int songVolume = 1000;
    GstElement* song = nullptr;
    bool songServerVolume = false;

    ~GstWarmStart() override
    {
        finish();
        for (GstElement* e : {song, sink})
            if (e) {
                gst_element_set_state(e, GST_STATE_NULL);
                gst_object_unref(e);
            }
    }
    void finish()
    {
        const std::lock_guard lock(mutex);
        if (thread.joinable()) thread.join();
    }
    GstElement* takeSink(const std::string& name)
    {
        const std::lock_guard lock(mutex);
        if (!sink || sinkName != name) return nullptr;
        return std::exchange(sink, nullptr);
    }
    GstElement* takeSong(const std::string& path, int& volume, bool& serverVolume)
    {
        const std::lock_guard lock(mutex);
        GstElement* taken = std::exchange(song, nullptr);
        if (taken && songPath != path) {
            gst_element_set_state(taken, GST_STATE_NULL);
            gst_object_unref(taken);
            return nullptr;
        }
        volume = songVolume;
        serverVolume = songServerVolume;
        return taken;
    }
};

GstMediaPlayer::GstMediaPlayer(std::string audioSink, int openTimeoutMs,
                               std::unique_ptr<WarmStart> warm)
    : m_audioSink(sinkName(std::move(audioSink))), m_openTimeoutMs(openTimeoutMs)
{
    if (auto* gst = dynamic_cast<GstWarmStart*>(warm.get())) {
        warm.release();
        m_warm.reset(gst);
        m_warm->finish();
    }
    if (!gst_is_initialized()) gst_init(nullptr, nullptr);
}

GstMediaPlayer::~GstMediaPlayer()
{
    close();
    // A sink or song started ahead that nothing took stops with the warm start.
    m_warm.reset();
}

std::unique_ptr<WarmStart> GstMediaPlayer::warmUp(std::string audioSink, std::string firstSong,
                                                  int volumePermille)
{
    auto warm = std::make_unique<GstWarmStart>();
    GstWarmStart& w = *warm;
    w.sinkName = sinkName(std::move(audioSink));
    w.songPath = std::move(firstSong);
    w.songVolume = std::clamp(volumePermille, 0, 1000);
    w.thread = std::thread([&w] {
        gst_init(nullptr, nullptr);
        // Loading a plug-in maps and relocates its libraries: the first song would wait
        // for it inside its preroll.
        for (const char* plugin : {"coreelements", "playback", "typefindfunctions", "id3demux",
                                   "audioparsers", "mpg123", "audioconvert", "audioresample",
                                   "volume", "autodetect", "pulseaudio"})
            if (GstPlugin* loaded = gst_plugin_load_by_name(plugin)) gst_object_unref(loaded);
        GstElement* sink = gst_element_factory_make(w.sinkName.c_str(), nullptr);
        if (!sink) return;
        gst_object_ref_sink(sink);
        if (w.sinkName == "fakesink") g_object_set(sink, "sync", TRUE, nullptr);
        if (gst_element_set_state(sink, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) {
            gst_element_set_state(sink, GST_STATE_NULL);
            gst_object_unref(sink);
            return;
        }
        w.sink = sink; // read only after the join
        if (w.songPath.empty()) return;
        // Its preroll and start run on GStreamer's threads while the window is built; a
        // failure waits on the song's bus for the player that takes it over.
        try {
            GstElement* song = makePlaybin(w.songPath, w.sinkName, w.songVolume,
                                           w.songServerVolume);
            gst_object_ref_sink(song);
            // Waited for here, within a bound, so that what is built next does not take
            // the processor from the song's start.
            if (gst_element_set_state(song, GST_STATE_PLAYING) == GST_STATE_CHANGE_ASYNC)
                gst_element_get_state(song, nullptr, nullptr, kFirstSongWait);
            w.song = song;
        } catch (const PlayerError&) {
            // The player's own open tries again and tells why.
        }
    });
    return warm;
}

void GstMediaPlayer::waitForWarmUp(WarmStart& warm)
{
    if (auto* gst = dynamic_cast<GstWarmStart*>(&warm)) gst->finish();
}

double GstMediaPlayer::linearVolume(int volumePermille)
{
    // The 0..1000 scale is read as a cubic (perceived loudness) volume, which spreads the
    // audible steps evenly over the slider and over a fade.
    const double cubic = std::clamp(volumePermille, 0, 1000) / 1000.0;
    return gst_stream_volume_convert_volume(GST_STREAM_VOLUME_FORMAT_CUBIC,
                                            GST_STREAM_VOLUME_FORMAT_LINEAR, cubic);
}

void GstMediaPlayer::close()
{
    if (!m_playbin) return;
    // Silenced first, so the user's level is not heard for the blocks still buffered.
    if (m_serverVolume && m_applied != m_userVolume) {
        gst_element_set_state(m_playbin, GST_STATE_PAUSED);
        restAtUserVolume();
    }
    gst_element_set_state(m_playbin, GST_STATE_NULL);
    gst_object_unref(m_playbin);
    m_playbin = nullptr;
    m_mode = PlayerMode::NotReady;
    m_lengthMs = 0;
    if (m_frames) m_frames->cancel = true;
    m_frames.reset();
    m_applied = -1;
    m_serverVolume = false;
}

void GstMediaPlayer::open(const std::string& fileName)
{
    close();

    int startedVolume = m_volume;
    bool serverVolume = false;
    auto frames = std::make_shared<FramesCount>();
    std::thread([frames, fileName] {
        frames->ms = mp3FramesLengthMs(fileName, &frames->cancel).value_or(0);
        frames->done.set_value();
    }).detach();
    GstElement* playbin =
        m_warm ? m_warm->takeSong(fileName, startedVolume, serverVolume) : nullptr;
    const bool started = playbin != nullptr;
    if (!playbin) playbin = makePlaybin(fileName, m_audioSink, m_volume, serverVolume);
    // The sink opened ahead holds the sound server's connection, which this song's sink
    // shares; released once the song has its own.
    GstElement* warm = m_warm ? m_warm->takeSink(m_audioSink) : nullptr;

    // Preroll synchronously, with a bound, so a broken file fails here and not later.
    // A song started ahead is waited for the same way.
    std::string failure;
    if (!started &&
        gst_element_set_state(playbin, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE)
        failure = "Cannot open " + fileName;
    GstBus* bus = gst_element_get_bus(playbin);
    const gint64 deadline = g_get_monotonic_time() + gint64(m_openTimeoutMs) * 1000;
    bool ready = false;
    while (!ready) {
        const gint64 left = deadline - g_get_monotonic_time();
        if (left <= 0) {
            if (failure.empty()) failure = "Timed out opening " + fileName;
            break;
        }
        GstMessage* msg = gst_bus_timed_pop_filtered(
            bus, GstClockTime(left) * 1000,
            GstMessageType(GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_ERROR | GST_MESSAGE_EOS));
        if (!msg) continue;
        switch (GST_MESSAGE_TYPE(msg)) {
        case GST_MESSAGE_ERROR:
            failure = takeErrorText(msg);
            break;
        case GST_MESSAGE_EOS:
            failure = "The file holds no playable audio: " + fileName;
            break;
        default:
            ready = true;
            break;
        }
        gst_message_unref(msg);
        if (!failure.empty()) break;
    }
    gst_object_unref(bus);
    if (warm) {
        gst_element_set_state(warm, GST_STATE_NULL);
        gst_object_unref(warm);
    }
    if (!ready) {
        frames->cancel = true;
        gst_element_set_state(playbin, GST_STATE_NULL);
        gst_object_unref(playbin);
        throw PlayerError(failure);
    }
    m_playbin = playbin;
    m_applied = started ? startedVolume : m_volume;
    m_serverVolume = serverVolume;
    // An MP3 without a header that states its length is only estimated once it plays;
    // lengthMs() asks again until it is known, and takes the frames' count once it is done.
    // The count mostly ends with the preroll; a little more time lets the song start's
    // lookups have it too.
    m_frames = frames;
    frames->ready.wait_for(std::chrono::milliseconds(kFramesWaitMs));
    queryLength();
    // Already playing: play() leaves it where it is.
    m_mode = started ? PlayerMode::Playing : PlayerMode::Stopped;
}

void GstMediaPlayer::requireOpen(const char* what) const
{
    if (!m_playbin) throw PlayerError(std::string("No song is open to ") + what);
}

void GstMediaPlayer::play()
{
    requireOpen("play");
    drainBus();
    if (m_mode == PlayerMode::Playing) return; // already playing: the position stays
    gst_element_seek_simple(m_playbin, GST_FORMAT_TIME,
                            GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_KEY_UNIT), 0);
    startPlaying("Cannot start playback");
}

void GstMediaPlayer::startPlaying(const char* failure)
{
    // A stop left the user's level at the server; the level asked for sounds from here.
    if (m_applied != m_volume) applyVolume(m_volume);
    if (gst_element_set_state(m_playbin, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
        throw PlayerError(failure);
    m_mode = PlayerMode::Playing;
}

void GstMediaPlayer::pause()
{
    requireOpen("pause");
    drainBus();
    if (m_mode == PlayerMode::Stopped) return;
    gst_element_set_state(m_playbin, GST_STATE_PAUSED);
    restAtUserVolume();
    m_mode = PlayerMode::Paused;
}

void GstMediaPlayer::resume()
{
    requireOpen("resume");
    drainBus();
    if (m_mode == PlayerMode::Playing) return;
    // A song that played to its end starts again; a paused one goes on where it stopped.
    if (m_mode != PlayerMode::Paused) {
        play();
        return;
    }
    startPlaying("Cannot resume playback");
}

void GstMediaPlayer::stop()
{
    if (!m_playbin) return;
    gst_element_set_state(m_playbin, GST_STATE_PAUSED);
    restAtUserVolume();
    m_mode = PlayerMode::Stopped;
}

void GstMediaPlayer::drainBus()
{
    if (!m_playbin) return;
    GstBus* bus = gst_element_get_bus(m_playbin);
    while (GstMessage* msg = gst_bus_pop_filtered(
               bus, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR))) {
        // Either way the song is over; the next tick moves on.
        m_mode = PlayerMode::Stopped;
        gst_message_unref(msg);
    }
    gst_object_unref(bus);
}

PlayerMode GstMediaPlayer::mode()
{
    drainBus();
    return m_mode;
}

long long GstMediaPlayer::queryLength()
{
    if (m_frames && m_frames->ms > 0) return m_frames->ms;
    if (m_lengthMs > 0 || !m_playbin) return m_lengthMs;
    gint64 duration = 0;
    if (gst_element_query_duration(m_playbin, GST_FORMAT_TIME, &duration) && duration > 0)
        m_lengthMs = duration / GST_MSECOND;
    return m_lengthMs;
}

long long GstMediaPlayer::lengthMs() { return queryLength(); }

long long GstMediaPlayer::positionMs()
{
    if (!m_playbin) return 0;
    drainBus();
    gint64 pos = 0;
    if (!gst_element_query_position(m_playbin, GST_FORMAT_TIME, &pos) || pos < 0) return 0;
    const long long posMs = pos / GST_MSECOND;
    const long long len = queryLength();
    return len > 0 ? std::min(posMs, len) : posMs;
}

void GstMediaPlayer::seek(long long positionMs)
{
    if (!m_playbin) return;
    // Flushing, so the sound jumps at once; key units are close enough for a lyrics line.
    gst_element_seek_simple(m_playbin, GST_FORMAT_TIME,
                            static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_KEY_UNIT),
                            std::max(0LL, positionMs) * GST_MSECOND);
}

void GstMediaPlayer::setVolume(int volumePermille)
{
    m_volume = std::clamp(volumePermille, 0, 1000);
    if (m_playbin) applyVolume(m_volume);
}

void GstMediaPlayer::setUserVolume(int volumePermille)
{
    m_userVolume = std::clamp(volumePermille, 0, 1000);
}

void GstMediaPlayer::applyVolume(int volumePermille)
{
    gst_stream_volume_set_volume(GST_STREAM_VOLUME(m_playbin), GST_STREAM_VOLUME_FORMAT_LINEAR,
                                 linearVolume(volumePermille));
    m_applied = volumePermille;
}

void GstMediaPlayer::restAtUserVolume()
{
    // The server keeps the last volume a client set and gives it to the next stream (and
    // mixers show it): a stopped stream holds the user's level, not a step of a fade.
    if (m_serverVolume && m_applied != m_userVolume) applyVolume(m_userVolume);
}

} // namespace larkspur
