#pragma once
// The player on the session bus as org.mpris.MediaPlayer2.larkspur, so desktops, media keys
// and tools such as playerctl can drive it. The window supplies what the bus asks and does
// what it is told through MprisControl; without a session bus nothing is registered.
// Interface thread only.

#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <functional>
#include <string>
#include <string_view>

namespace larkspur {

struct MprisTrack
{
    int index = -1;        // song list position; -1: no song
    std::string path;      // the file
    std::string title;     // from the tags, else as the lyrics lookup splits the file name
    std::string artist;
    std::string album;        // from the tags; empty when they hold none
    unsigned trackNumber = 0; // from the tags; 0 when they hold none
    long long lengthMs = 0;   // 0 while unknown
};

// The file's URI as GLib's g_filename_to_uri writes it, from the name's bytes as they are: a
// byte that is not UTF-8 is escaped, never replaced.
std::string fileUri(std::string_view path);

struct MprisControl
{
    std::function<void()> playPause, play, pause, stop, next, previous, raise, quit;
    std::function<bool()> canGoPrevious; // a song played before can be gone back to
    std::function<QString()> status; // "Playing", "Paused" or "Stopped"
    std::function<MprisTrack()> track;
    std::function<long long()> positionMs;
    std::function<void(long long)> seek; // to this position (ms); reported back through seeked()
    std::function<double()> volume;          // 0.0 .. 1.0
    std::function<void(double)> setVolume;
};

class MprisService : public QObject
{
    Q_OBJECT

public:
    static constexpr const char* kServiceName = "org.mpris.MediaPlayer2.larkspur";

    explicit MprisService(MprisControl control, QObject* parent = nullptr);
    ~MprisService() override;

    // False when there is no session bus or the name is taken.
    bool registerOnSessionBus();
    // Emits PropertiesChanged for these Player properties with their current values; those
    // whose value is the one announced last are left out.
    void playerChanged(const QStringList& properties);
    // Emits Seeked: the song was moved to this position, by whatever means.
    void seeked(long long positionMs);

    const MprisControl& control() const { return m_control; }

private:
    MprisControl m_control;
    bool m_registered = false;
    QVariantMap m_announced;
};

} // namespace larkspur
