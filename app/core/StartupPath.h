#pragma once
// The song list named on the command line.

#include <string>

namespace larkspur {

// A name without a path separator is taken from the executable's folder; any other name is
// used as given (a relative one against the current folder).
std::string resolveListArgument(const std::string& argument, const std::string& executableDir);

} // namespace larkspur
