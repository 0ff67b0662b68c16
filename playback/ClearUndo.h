#pragma once
// Clearing the song list so that it can be taken back. The next save makes a clear final, and
// the counts and bans of the entries go with them; so before entries go, the whole list as it
// was is copied to "<data folder>/<name>.<hash of the list's path>.cleared", and the entries
// taken out are kept in memory until they are put back, another clear replaces them, or they
// are forgotten (an import, the exit).
//
// Clearinternallist1Click: r = undo.clearAll(dl, ListFileName, folder); offer Undo when r.removed
// cnffClick:               r = undo.clearMissing(dl, NotFound, ListFileName, folder); the same
// "Undo clear":            undo.undo(dl)

#include "playback/ListMaintenance.h"
#include "playback/SongList.h"

#include <cstddef>
#include <string>
#include <vector>

namespace larkspur {

class ClearUndo
{
  public:
    struct Cleared
    {
        std::size_t removed = 0;
        std::string copyPath;  // the copy of the list as it was; empty when none was made
        std::string copyError; // why the copy failed; empty when it was made or not needed
    };

    // Empties the list. listFile: the list's file (empty: it has none, and no copy is made);
    // folder: where the copy goes (empty: the user's data folder). A clear that removes
    // nothing changes nothing, the entries kept from an earlier clear included.
    Cleared clearAll(SongList& list, const std::string& listFile, const std::string& folder);
    // Removes the entries the file test found missing that still hold their paths.
    Cleared clearMissing(SongList& list, const MissingFiles& missing, const std::string& listFile,
                         const std::string& folder);

    bool canUndo() const { return !m_removed.empty(); }
    // Appends the entries the last clear removed, as they were, after the list's own (those
    // added since). Returns how many; afterwards there is nothing to undo.
    std::size_t undo(SongList& list);
    void forget();
    // Changes with every clear, undo and forget, so an offer to undo one clear can tell that
    // it no longer stands.
    unsigned generation() const { return m_generation; }

  private:
    Cleared copyBeforeClear(const SongList& list, const std::string& listFile,
                            const std::string& folder) const;

    std::vector<std::string> m_removed;
    unsigned m_generation = 0;
};

} // namespace larkspur
