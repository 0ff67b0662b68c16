#include "playback/ClearUndo.h"

#include "playback/PlaylistImport.h"
#include "playback/SongListFile.h"

namespace larkspur {

ClearUndo::Cleared ClearUndo::copyBeforeClear(const SongList& list, const std::string& listFile,
                                              const std::string& folder) const
{
    Cleared r;
    // A list without a file is never saved, so the clear cannot outlive the session.
    if (listFile.empty()) return r;
    ListCopy copy = copyListAside(list, listFile, folder, "cleared");
    r.copyPath = std::move(copy.path);
    r.copyError = std::move(copy.error);
    return r;
}

ClearUndo::Cleared ClearUndo::clearAll(SongList& list, const std::string& listFile,
                                       const std::string& folder)
{
    if (list.empty()) return {};
    Cleared r = copyBeforeClear(list, listFile, folder);
    m_removed.clear();
    m_removed.reserve(list.count());
    for (std::size_t i = 0; i < list.count(); ++i)
        m_removed.emplace_back(list.get(i));
    list.clear();
    r.removed = m_removed.size();
    ++m_generation;
    return r;
}

ClearUndo::Cleared ClearUndo::clearMissing(SongList& list, const MissingFiles& missing,
                                           const std::string& listFile, const std::string& folder)
{
    if (stillMissing(list, missing).empty()) return {};
    Cleared r = copyBeforeClear(list, listFile, folder);
    r.removed = clearNotFoundFiles(list, missing, &m_removed);
    ++m_generation;
    return r;
}

std::size_t ClearUndo::undo(SongList& list)
{
    const std::size_t n = m_removed.size();
    // Every entry as it was, with its count, even where a song added since or listed twice
    // has the same path: an undo never loses a count or a ban.
    for (const std::string& entry : m_removed)
        list.add(entry);
    forget();
    return n;
}

void ClearUndo::forget()
{
    m_removed.clear();
    m_removed.shrink_to_fit(); // a cleared list of a million songs is worth giving back
    ++m_generation;
}

} // namespace larkspur
