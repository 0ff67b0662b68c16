#pragma once
// The list named at start-up, read and locked once before the window exists, and its first
// song, drawn then so that it plays while the window is built. A list that cannot be read or
// is held by another copy is left to the window, which says what happened; a draw that met a
// missing file or a malformed line leaves the song to the window's own draw, which tells it.

#include "playback/Selection.h"
#include "playback/SongList.h"
#include "playback/SongListLock.h"

#include <memory>
#include <optional>
#include <string>

namespace larkspur {

struct FirstSong
{
    std::string listFile;
    SongList list; // as read: the drawn entry's count is not raised yet
    std::unique_ptr<SongListLock> lock;
    std::optional<Selection> selection; // none: the window draws the first song
};

// Null when the list cannot be used as it is (the window reads and tells it).
std::shared_ptr<FirstSong> drawFirstSong(const std::string& listFile, RandomSource& random,
                                         const FileExists& fileExists,
                                         const std::string& backupFolder = {},
                                         const std::string& runtimeFolder = {});

} // namespace larkspur
