#pragma once
// larkspur-tool lyrics [--next N] SONGFILE: the lookup and harvest the window runs at a song
// start, with the search switched on, printing what would show in the lyrics memo.

#include <ostream>
#include <string>
#include <vector>

namespace larkspur {

// 0: the text was printed; 1: the lookup ended without text (one line on err); 2: usage.
int runLyricsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace larkspur
