#pragma once
// larkspur-tool catalogue [--full] [--offset N] TEXT: the window's catalogue search, printing
// the hit count, the range and one row per line (title, excerpt, link, tab-separated).
// larkspur-tool catalogue --song LINK: the song's text as the lyrics memo would get it.

#include <ostream>
#include <string>
#include <vector>

namespace larkspur {

// 0: printed; 1: the search or the song load failed (one line on err); 2: usage.
int runCatalogueCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace larkspur
