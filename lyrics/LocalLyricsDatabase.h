#pragma once
// The open lyrics database's published dump (one SQLite file) as a lyrics source that needs
// no network: the server's exact lookup, then its search, answered from the file.
//
// The file is opened read-only and immutable: nothing is ever written to it, and no lock or
// journal is looked for beside it. Queries run on the calling thread; a caller that must not
// wait on the disk runs them beside its event loop.

#include "lyrics/LyricsDatabase.h"

#include <string>
#include <string_view>

struct sqlite3;

namespace larkspur {

// A name as the server keeps it in its "_lower" columns and asks for it: lower case, accents
// folded, punctuation turned to spaces, apostrophes dropped, spaces collapsed.
std::string lyricsDatabaseName(std::string_view name);

class LocalLyricsDatabase
{
  public:
    // Opens the dump at `path` (UTF-8). When it cannot be read or is not such a dump,
    // isOpen() is false and error() says why.
    explicit LocalLyricsDatabase(const std::string& path);
    ~LocalLyricsDatabase();
    LocalLyricsDatabase(const LocalLyricsDatabase&) = delete;
    LocalLyricsDatabase& operator=(const LocalLyricsDatabase&) = delete;

    bool isOpen() const { return m_db != nullptr; }
    const std::string& error() const { return m_error; }

    // The song's lyrics as the web database would answer them; `album` narrows the exact
    // lookup when not empty. A file that fails while read gives Nothing with `failed` set.
    DatabaseLyrics Lookup(const DatabaseSong& song, std::string_view album = {});

  private:
    sqlite3* m_db = nullptr;
    std::string m_error;
};

} // namespace larkspur
