#pragma once
// The file test over the song list and the removal of the entries it found missing.
//
// Testallfiles1Click:
//   NotFound = testAllFiles(dl, fileExists);
//   logtxt text := NotFound.reportText(); if (!NotFound.empty()) show the log frame, enable cnff
// cnffClick (through ClearUndo, which keeps what it removed):
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

// The recorded positions, ascending, whose entries still hold the path the test found
// missing there (a list changed since the test loses nothing else).
std::vector<std::size_t> stillMissing(const SongList& list, const MissingFiles& missing);

// Deletes the entries at stillMissing's positions from the last to the first. Returns how
// many were deleted; `removed` receives their texts in list order. The record itself is kept.
std::size_t clearNotFoundFiles(SongList& list, const MissingFiles& missing,
                               std::vector<std::string>* removed = nullptr);

// "Never play again": every entry holding exactly this path gets the count -1, so a song
// listed twice (a playlist imported over the list) cannot come back through its other entry.
// Entries of other paths are left alone. Returns how many entries hold the path.
std::size_t banSong(SongList& list, std::string_view path);

} // namespace larkspur
