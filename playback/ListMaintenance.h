#pragma once
// The file test over the song list and the removal of the entries it found missing.
//
// Testallfiles1Click:
//   NotFound = testAllFiles(dl, fileExists);
//   logtxt text := NotFound.reportText(); if (!NotFound.empty()) show the log frame, enable cnff
// cnffClick:
//   clearNotFoundFiles(dl, NotFound); CloseLogFrame();

#include "playback/Selection.h"
#include "playback/SongList.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace larkspur {

// True when something other than a folder exists at the path.
bool songFileExists(const std::string& path);

struct MissingFiles
{
    // Ascending song list positions of the entries whose files were missing, and the path
    // each of them held at test time. Both grow with the list.
    std::vector<std::size_t> positions;
    std::vector<std::string> paths;

    bool empty() const { return positions.empty(); }
    // One missing path per line, "\n" between lines (an entry without "|" gives an empty one).
    std::string reportText() const;
};

// Tests every entry's path (the text after its first "|"), banned ones included.
MissingFiles testAllFiles(const SongList& list, const FileExists& fileExists = songFileExists);

// Deletes the recorded entries from the last to the first, each only while the entry at its
// position still holds the path the test found missing (a list changed since the test loses
// nothing else). Returns how many were deleted. The record itself is kept.
std::size_t clearNotFoundFiles(SongList& list, const MissingFiles& missing);

// "Never play again": every entry holding exactly this path gets the count -1, so a song
// listed twice (a playlist imported over the list) cannot come back through its other entry.
// Entries of other paths are left alone. Returns how many entries hold the path.
std::size_t banSong(SongList& list, std::string_view path);

} // namespace larkspur
