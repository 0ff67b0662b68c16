#pragma once
// The "clean" subcommand of the command-line tool.

#include <iosfwd>
#include <string>

namespace larkspur {

// Writes CleanLyricsPage of the bytes of `file` to `out`, unchanged and without an added
// line end, and returns 0. When the file cannot be read, writes one line naming the file
// and the system's reason to `err`, writes nothing to `out` and returns 1; also 1, with a
// line on `err`, when `out` fails.
int runCleanCommand(const std::string& file, std::ostream& out, std::ostream& err);

} // namespace larkspur
