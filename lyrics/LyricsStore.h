#pragma once
// The lyrics store: where fetched lyrics go when the song's own folder takes no file (a
// read-only share, a CD). A song's files there keep its path: the lyrics of
// /music/a/Song.mp3 are <store>/music/a/Song.lyr or .lrc.
//
// Nothing inside the store is followed through a symbolic link, for reading or writing: a
// link there leads out of it. The store's own folder may be one.

#include <string>
#include <string_view>

namespace larkspur {

// $XDG_DATA_HOME/larkspur/lyrics, or ~/.local/share/larkspur/lyrics; looked up at each call,
// so a changed XDG_DATA_HOME counts.
std::string lyricsStoreFolder();

// Where the store keeps `besideFile` (a .lyr or .lrc path beside a song). A relative path is
// taken from the current folder.
std::string storedLyricsFile(std::string_view store, std::string_view besideFile);

// The first symbolic link on the way from the store to `stored` (a storedLyricsFile path),
// the file itself included; empty when there is none. Anything else that is missing or in
// the way is not this function's concern.
std::string linkInStore(std::string_view store, const std::string& stored);

// Makes the folders from the store down to `stored`'s own (mode 0700), none through a link.
// Throws LyricsFileError saying why when one cannot be made or a link is in the way.
void makeStoreFolders(std::string_view store, const std::string& stored);

// Writes the lyrics file beside the song, or, when that fails (a folder that takes no file),
// into the store. The path written; throws LyricsFileError saying why neither could be.
std::string saveBesideOrInStore(std::string_view store, const std::string& besideFile,
                                std::string_view text);

// What the user is told of that save: where it went, and why when it was the store.
std::string savedLyricsText(const std::string& besideFile, const std::string& saved,
                            std::string_view store);

} // namespace larkspur
