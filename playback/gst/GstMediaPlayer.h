#pragma once
// The media player on a GStreamer playbin. A new pipeline per song, so messages of an
// older song's bus can never reach the new one. The bus is drained without blocking
// whenever mode() or positionMs() is read, on the interface thread.
// On a sink with a volume of its own at the sound server (pulsesink), the volume is the
// stream's at the server, so a fade acts at once though a second of sound is buffered
// there; the server remembers that volume, so it is put back to the user's level whenever
// the stream stops. Other sinks get playbin's volume in software.

#include "playback/MediaPlayer.h"

#include <atomic>
#include <future>
#include <memory>

typedef struct _GstElement GstElement;

namespace larkspur {

struct GstWarmStart;

class GstMediaPlayer : public MediaPlayer
{
public:
    // audioSink: element factory name for the output ("fakesink" in tests); empty means
    // LARKSPUR_AUDIO_SINK from the environment, else autoaudiosink, which falls back to a
    // fake sink on machines without a sound device. `warm`: what warmUp started, which this
    // player takes over (waiting for it first); none, or another back-end's: GStreamer is
    // started here.
    explicit GstMediaPlayer(std::string audioSink = {}, int openTimeoutMs = 10000,
                            std::unique_ptr<WarmStart> warm = {});
    ~GstMediaPlayer() override;
    GstMediaPlayer(const GstMediaPlayer&) = delete;
    GstMediaPlayer& operator=(const GstMediaPlayer&) = delete;

    void close() override;
    void open(const std::string& fileName) override;
    void play() override;
    void pause() override;
    void resume() override;
    void stop() override;
    PlayerMode mode() override;
    long long lengthMs() override;
    long long positionMs() override;
    void seek(long long positionMs) override;
    void setVolume(int volumePermille) override;
    void setUserVolume(int volumePermille) override;

    // The volume scale mapped onto GStreamer's linear stream volume (cubic curve).
    static double linearVolume(int volumePermille);

    // Starts GStreamer, loads the plug-ins an MP3 needs and opens the audio sink (for a sound
    // server: its connection) on a thread of its own, while the caller builds the rest; the
    // player made from what it returns takes the opened sink for its first song when its name
    // matches (`audioSink` as for the player). With `firstSong`, that file also starts
    // playing there at the volume given; the player takes it over, already playing, when it
    // opens that file first, and waits for its preroll as open() does (a failure is told
    // then). Opening any other file stops it.
    static std::unique_ptr<WarmStart> warmUp(std::string audioSink = {}, std::string firstSong = {},
                                             int volumePermille = 1000);
    // Returns once the warm-up is done (the first song, if any, set playing).
    static void waitForWarmUp(WarmStart& warm);

private:
    void drainBus();
    long long queryLength();
    void requireOpen(const char* what) const;
    void applyVolume(int volumePermille);
    void restAtUserVolume();
    void startPlaying(const char* failure);

    std::string m_audioSink;
    int m_openTimeoutMs;
    std::unique_ptr<GstWarmStart> m_warm; // until its sink and song are taken
    GstElement* m_playbin = nullptr;
    PlayerMode m_mode = PlayerMode::NotReady;
    long long m_lengthMs = 0;
    // The open song's length counted by its MP3 frames, on a thread of its own: -1 while it
    // counts, 0 for none. Shared with that thread, which a close() cancels.
    struct FramesCount
    {
        std::atomic<long long> ms = -1;
        std::atomic<bool> cancel = false;
        std::promise<void> done;
        std::shared_future<void> ready = done.get_future().share();
    };
    // How long open() waits for the count after the preroll, at most.
    static constexpr int kFramesWaitMs = 250;
    std::shared_ptr<FramesCount> m_frames;
    int m_volume = 1000;
    int m_userVolume = 1000;
    int m_applied = -1;          // the level the open song's pipeline has now
    bool m_serverVolume = false; // the open song's volume is the stream's at the server
};

} // namespace larkspur
