#pragma once
// Whether a module file is whole before the dynamic loader maps it. The loader maps the file
// ranges its headers name; in a file cut short (a full disk during an install, a copy stopped
// half way) those ranges run past its end, and the first touch of one ends the program with
// SIGBUS and no word. Plain POSIX reads of the headers only (a few kilobytes); any thread.

#include <string>

namespace larkspur {

// Empty when the ELF header, the program and section header tables and the file ranges they
// name all lie within the file; else why not, for the user ("it is cut short: ..."); a pipe
// or a device is refused too. What the loader itself reports well (a file that cannot be
// opened, an ELF file for another machine) is left to it: empty as well.
std::string moduleNotWhole(const std::string& path);

} // namespace larkspur
