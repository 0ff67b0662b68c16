#pragma once
// The lyrics store: where fetched lyrics go when the song's own folder takes no file (a
// read-only share, a CD). A song's files there keep its path: the lyrics of
// /music/a/Song.mp3 are <store>/music/a/Song.lyr or .lrc.

#include <string>
#include <string_view>

namespace larkspur {

// $XDG_DATA_HOME/larkspur/lyrics, or ~/.local/share/larkspur/lyrics; looked up at each call,
// so a changed XDG_DATA_HOME counts.
std::string lyricsStoreFolder();

// Where the store keeps `besideFile` (a .lyr or .lrc path beside a song). A relative path is
// taken from the current folder.
std::string storedLyricsFile(std::string_view store, std::string_view besideFile);

} // namespace larkspur
