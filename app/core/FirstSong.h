#pragma once
// The first song of the list named at start-up, drawn before the window exists so that it
// plays while the window is built. Only a start with nothing to tell is taken this way: a
// list that cannot be read or is held by another copy, or a draw that met a missing file,
// is left to the window, which says what happened.

#include "playback/Selection.h"
#include "playback/SongList.h"
#include "playback/SongListLock.h"

#include <memory>
#include <string>

namespace larkspur {

struct FirstSong
{
    std::string listFile;
    SongList list; // as read: the drawn entry's count is not raised yet
    std::unique_ptr<SongListLock> lock;
    Selection selection;
};

// Null when the start needs a word to the user or nothing can be played.
std::shared_ptr<FirstSong> drawFirstSong(const std::string& listFile, RandomSource& random,
                                         const FileExists& fileExists,
                                         const std::string& backupFolder = {},
                                         const std::string& runtimeFolder = {});

} // namespace larkspur
