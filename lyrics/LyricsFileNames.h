#pragma once
// The names of a song's lyrics files: one rule for the lookup, F9 and the whole-list fetch.
// Pure functions on paths, apart from lyricsFileToRead, which looks at the folder.

#include <string>
#include <string_view>

namespace larkspur {

// The song's path with its extension (from the last "." of the file name; a dot that begins
// the name does not count) replaced by `ending`; a name without one gets `ending` appended.
// The file is always in the song's own folder: "/m/x.flac" has "/m/x.lyr", "/m/x-y" has
// "/m/x-y.lyr", "/m/.hidden" has "/m/.hidden.lyr".
std::string besideSong(std::string_view songPath, std::string_view ending);

// besideSong with ".lyr" and ".lrc".
std::string lyricsFileFor(std::string_view songPath);
std::string lrcFileFor(std::string_view songPath);

// The .lyr name of older versions, which cut the path's last four characters: "x..lyr" for
// "x.flac". Empty where that cut reached into the name itself or beyond (a short extension
// or none), whose file would be another song's; the same as lyricsFileFor for ".mp3".
std::string oldLyricsFileFor(std::string_view songPath);

// The .lyr file to read: lyricsFileFor, or the old name when only a file of that name is
// there. With a lyrics store given, its copies of the two (storedLyricsFile).
std::string lyricsFileToRead(std::string_view songPath, std::string_view store = {});

} // namespace larkspur
