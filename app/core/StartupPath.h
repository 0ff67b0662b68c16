#pragma once
// The song list named on the command line.

#include <string>
#include <vector>

namespace larkspur {

// A name without a path separator is taken from the current folder when `currentFirst` and
// an entry of that name is there (a shell's `larkspur list.txt`), else from the executable's
// folder; any other name is used as given (a relative one against the current folder).
std::string resolveListArgument(const std::string& argument, const std::string& executableDir,
                                bool currentFirst = false);

class SettingsStore;

// The setting that names the list a start from the desktop menu opens.
inline constexpr const char* kLastListSetting = "Last list";
// Where the list and playlist dialogs, and "Add directory...", open next.
inline constexpr const char* kLastListFolderSetting = "Last list folder";
inline constexpr const char* kLastAddedFolderSetting = "Last added folder";

// The folder a file dialog opens in: `last` while it is a folder, else the music folder
// while it is one, else home. Never the program's folder.
std::string dialogFolder(const std::string& last, const std::string& music,
                         const std::string& home);

// The folder part of a path ("" for none).
std::string folderOfPath(const std::string& path);

// The song list a start opens without asking: the first argument, or from the desktop menu
// the last list while it is there. Empty: the user is asked.
std::string startupListName(const std::vector<std::string>& args, const std::string& executableDir,
                            bool desktopMode, SettingsStore& settings);

// What the random draw takes for a song that is there: anything but a folder.
bool regularFileExists(const std::string& path);

} // namespace larkspur
