#pragma once
// What the program's entry hands to the window's module: the entry links only what the
// first song needs, the module brings Qt's widgets, loaded while that song starts.

#include "app/core/FirstSong.h"
#include "playback/MediaPlayer.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace larkspur {

struct Launch
{
    std::string executableDir;
    std::string playLogFile = "log.txt";
    bool desktopMode = false;
    // The list the command line names, resolved here once (empty: none, ask); none: the
    // window resolves it from its own arguments.
    std::optional<std::string> listFile;
    // That list read and locked, with the song drawn from it; the window takes them.
    std::shared_ptr<FirstSong> firstSong;
    // What the player back-end started ahead (the first song playing); the window takes it
    // for the player it makes once Qt has started.
    std::unique_ptr<WarmStart> warmStart;
    std::function<std::unique_ptr<MediaPlayer>(std::unique_ptr<WarmStart>)> makePlayer;
    // A desktop notification with this summary and body; waits a few seconds at most.
    std::function<void(const std::string& summary, const std::string& body)> tellDesktop;
};

using WindowMain = int (*)(int& argc, char** argv, Launch& launch);

// The module's entry, by this name: `main` is called only when `buildId` is the program's
// own. A module of another build may lay Launch out otherwise, and would read it wrongly.
struct WindowEntry
{
    const char* buildId;
    WindowMain main;
};
inline constexpr const char* kWindowEntrySymbol = "larkspurWindow";

} // namespace larkspur
