#pragma once
// The media player the window drives. One song open at a time. All calls come from the
// interface thread. Volume is 0 (silent) .. 1000 (full level).

#include <stdexcept>
#include <string>

namespace larkspur {

class PlayerError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

enum class PlayerMode { NotReady, Stopped, Playing, Recording, Seeking, Paused, Open };

// What a back-end started before its first player (its libraries loaded, an output opened,
// perhaps the first song playing), handed to the player made from it, which takes it over.
// Dropped untaken, it stops what it started.
class WarmStart
{
public:
    virtual ~WarmStart() = default;
};

class MediaPlayer
{
public:
    virtual ~MediaPlayer() = default;

    // Releases the open song; harmless when none is open.
    virtual void close() = 0;
    // Opens the file and returns once it is ready to play. Throws PlayerError with the
    // back-end's message when it cannot be played, at once for what is not a regular file.
    virtual void open(const std::string& fileName) = 0;
    // Starts from the beginning and returns at once; a song already playing goes on as it is.
    virtual void play() = 0;
    // Throws PlayerError when no song is open.
    virtual void pause() = 0;
    // Continues a paused song where it stopped, and starts a stopped one from the beginning.
    // Never moves the position of a playing song. Throws PlayerError when it cannot resume.
    virtual void resume() = 0;
    virtual void stop() = 0;
    // Stopped once an open song has played to its end.
    virtual PlayerMode mode() = 0;
    // 0 while the length is not yet known (some files are only measured once they play).
    virtual long long lengthMs() = 0;
    virtual long long positionMs() = 0;
    // Moves the open song to the position; without effect when none is open.
    virtual void seek(long long positionMs) = 0;
    // Without effect on the sound when no song is open. Fades go through here too.
    virtual void setVolume(int volumePermille) = 0;
    // The level the user chose, as opposed to a step of a fade: a back-end whose volume the
    // sound server keeps for the next start leaves this one there when a stream stops.
    virtual void setUserVolume(int /*volumePermille*/) {}
};

} // namespace larkspur
