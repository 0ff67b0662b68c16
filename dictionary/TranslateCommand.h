#pragma once
// larkspur-tool translate WORD: the window's word lookup without a window, printing what the
// translation frame would show (the local dictd entries when the page fails).

#include <ostream>
#include <string>

namespace larkspur {

// 0: the text was printed; 1: no page or an empty one (one line on err). Why the local
// dictionaries left something out is one more line on err.
int runTranslateCommand(const std::string& word, std::ostream& out, std::ostream& err);

} // namespace larkspur
