#pragma once
// What the program's entry hands to the window's module: the entry links only what the
// first song needs, the module brings Qt's widgets, loaded while that song starts.

#include "app/core/FirstSong.h"
#include "playback/MediaPlayer.h"

#include <functional>
#include <memory>
#include <string>

namespace larkspur {

struct Launch
{
    std::string executableDir;
    std::string playLogFile = "log.txt";
    bool desktopMode = false;
    std::shared_ptr<FirstSong> firstSong;
    // Made once Qt has started; it takes over the first song.
    std::function<std::unique_ptr<MediaPlayer>()> makePlayer;
    // A desktop notification with this summary and body; waits a few seconds at most.
    std::function<void(const std::string& summary, const std::string& body)> tellDesktop;
};

// The module's entry, by this name.
inline constexpr const char* kWindowMainSymbol = "larkspurWindowMain";
using WindowMain = int (*)(int& argc, char** argv, Launch& launch);

} // namespace larkspur
