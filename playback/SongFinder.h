#pragma once
// The song finder's match test and search over the song list.
//
// btnsrchClick:
//   FinderIndices = findSongs(dl, pattern);       // row r shows dl.get(FinderIndices[r])
// Playthissong1Click: FadeToNextSong(FinderIndices[selected row]).

#include "playback/SongList.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace larkspur {

// A finder pattern prepared once for many entries. Letters a-z match in either case, every
// other byte only itself. Without "*" the pattern must occur somewhere in the entry; with
// "*" every piece between the stars must occur somewhere, in any order, overlaps allowed. An
// empty piece (leading, trailing or doubled "*") occurs nowhere, and an empty pattern or
// entry matches nothing.
class SearchPattern
{
  public:
    explicit SearchPattern(std::string_view pattern);
    bool matches(std::string_view entry) const;

  private:
    std::vector<std::string> m_pieces; // in lower case
    bool m_matchesNothing = false;
};

// The whole entry is searched, count and "|" included.
bool MatchesSearch(std::string_view Entry, std::string_view Pattern);

// The positions of the matching entries, ascending.
std::vector<std::size_t> findSongs(const SongList& list, std::string_view pattern);

} // namespace larkspur
