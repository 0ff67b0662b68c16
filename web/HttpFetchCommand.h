#pragma once
// "fetch URL [URL ...]" of the command-line tool.

#include <ostream>
#include <string>
#include <vector>

namespace larkspur {

// Fetches `urls` in order with one HttpClient, so the kept connection and the cookies
// carry over from one URL to the next. Each body goes to `out` unchanged; each failure's
// text, followed by a line end, to `err`. Returns 1 if any fetch failed, else 0.
// Creates a QCoreApplication for the duration when none exists.
int runFetchCommand(const std::vector<std::string>& urls, std::ostream& out, std::ostream& err);

} // namespace larkspur
