#include "app/core/FirstSong.h"

#include "playback/SongListFile.h"

namespace larkspur {

std::shared_ptr<FirstSong> drawFirstSong(const std::string& listFile, RandomSource& random,
                                         const FileExists& fileExists,
                                         const std::string& backupFolder,
                                         const std::string& runtimeFolder)
{
    auto first = std::make_shared<FirstSong>();
    first->listFile = listFile;
    if (!loadSongList(listFile, first->list, kMaxListFileBytes, backupFolder).ok()) return nullptr;
    first->lock = std::make_unique<SongListLock>();
    // Held by another copy, or no lock file could be made: the window's own way decides.
    if (first->lock->acquire(listFile, runtimeFolder) != SongListLock::Result::Taken)
        return nullptr;
    random.seedFromClock();
    const Selection sel = drawSong(first->list, -1, random, fileExists);
    if (sel.outcome == Selection::Outcome::Chosen && !sel.malformed && sel.missing.empty())
        first->selection = sel;
    return first;
}

} // namespace larkspur
