#pragma once
// A media player that records what it is told; files named in `broken` fail to open.

#include "playback/MediaPlayer.h"

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace larkspur::test {

class FakeMediaPlayer : public MediaPlayer
{
public:
    void close() override { m_open.clear(), m_mode = PlayerMode::NotReady; }
    void open(const std::string& fileName) override
    {
        opened.push_back(fileName);
        if (broken.count(fileName)) throw PlayerError("cannot open " + fileName);
        m_open = fileName;
        m_mode = PlayerMode::Stopped;
    }
    void play() override
    {
        if (m_open.empty()) throw PlayerError("nothing open");
        if (m_mode != PlayerMode::Playing) ++starts; // a playing song goes on as it is
        m_mode = PlayerMode::Playing;
        if (onPlay) onPlay();
    }
    void pause() override
    {
        if (m_open.empty()) throw PlayerError("No song is open to pause");
        ++pauses;
        m_mode = PlayerMode::Paused;
    }
    void resume() override
    {
        if (m_open.empty()) throw PlayerError("No song is open to resume");
        ++resumes;
        if (m_mode == PlayerMode::Stopped) ++starts;
        m_mode = PlayerMode::Playing;
    }
    void stop() override { m_mode = PlayerMode::Stopped; }
    PlayerMode mode() override { return m_mode; }
    long long lengthMs() override { return lengthMsValue; }
    long long positionMs() override { return positionMsValue; }
    void seek(long long positionMs) override
    {
        seeks.push_back(positionMs);
        positionMsValue = positionMs;
    }
    void setVolume(int v) override { volumes.push_back(v); }

    // Simulates the song playing to its end.
    void finish() { m_mode = PlayerMode::Stopped; }
    const std::string& current() const { return m_open; }

    std::set<std::string> broken;
    std::function<void()> onPlay; // a handler the event loop runs while a song starts
    std::vector<std::string> opened;
    std::vector<int> volumes;
    std::vector<long long> seeks;
    int pauses = 0;
    int resumes = 0;
    int starts = 0; // plays from the beginning
    long long lengthMsValue = 185000;
    long long positionMsValue = 0;

private:
    std::string m_open;
    PlayerMode m_mode = PlayerMode::NotReady;
};

} // namespace larkspur::test
