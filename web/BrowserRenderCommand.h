#pragma once
// "render FILE|URL" of the command-line tool.

#include <iosfwd>
#include <string>

namespace larkspur {

// Loads `target` (an http or https URL, a file: URL, or a file path, relative to the current
// folder or absolute) in a BrowserDocument and writes its innerText to `out`, unchanged and
// without an added line end. A page still loading 5 s after the server answered is stopped
// and what arrived is rendered, with a note on `err`. Returns 0, or 1 with one line on `err`
// when the page cannot be loaded. Creates a QCoreApplication for the duration when none
// exists.
int runRenderCommand(const std::string& target, std::ostream& out, std::ostream& err);

} // namespace larkspur
