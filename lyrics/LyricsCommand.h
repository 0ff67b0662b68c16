#pragma once
// larkspur-tool lyrics [--next N] [--synced] [--no-database] SONGFILE: the lookup the window
// runs at a song start, with the search switched on, printing what would show in the lyrics
// memo. Sources in the window's order: the .lyr file, the .lrc file, the song's tags, the web
// search, then (unless --no-database) the lyrics database. --synced prints timed lyrics with
// their stamps. The database is sent the song's length as `songLengthMs` measures it (in ms;
// it throws, or gives 0, when it cannot), and only a record within 2 s of it is taken.
//
// larkspur-tool lyrics --all LIST: the database asked about every song of the song list LIST
// without lyrics of its own, and its lyrics saved (see LyricsFetchAll); each wait the
// database asks for is said on err as it begins ("Waiting 20 s as the lyrics database asked.").

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace larkspur {

// 0: the text was printed (--all: the run went through the list); 1: the lookup ended without text, or the file name holds no
// words to look up (one line on err); 2: usage.
int runLyricsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                     const std::function<long long(const std::string&)>& songLengthMs = {});

} // namespace larkspur
