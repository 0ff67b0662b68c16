#pragma once
// The song list named on the command line.

#include <string>

namespace larkspur {

// A name without a path separator is taken from the current folder when `currentFirst` and
// an entry of that name is there (a shell's `larkspur list.txt`), else from the executable's
// folder; any other name is used as given (a relative one against the current folder).
std::string resolveListArgument(const std::string& argument, const std::string& executableDir,
                                bool currentFirst = false);

} // namespace larkspur
