#pragma once
// The one local file the cleaned lyrics page is staged in before the browser renders it.

#include <string>
#include <string_view>

namespace larkspur {

// The staging page's path: "f.htm" in the folder "larkspur" of the user's cache folder
// ($XDG_CACHE_HOME, else ~/.cache). The folder is created if missing and kept private to the
// user (mode 0700). Throws std::runtime_error when the folder cannot be made or is not a
// folder of this user.
std::string stagingPagePath();

// Overwrites the staging page with the bytes, unchanged, as a file only the user can read
// (mode 0600). A symbolic link in its place is refused. Throws std::runtime_error on failure.
// The browser then guesses the charset (UTF-8 when valid, else windows-1252).
void writeStagingPage(std::string_view bytes);

// As writeStagingPage, for a page already converted to UTF-8 (htmlPageToUtf8): a meta tag
// naming UTF-8 goes first, on a line of its own, so the browser reads the page as UTF-8
// whatever charset it came in and whatever meta tag of its own it still holds.
void writeUtf8StagingPage(std::string_view utf8Html);

// The bytes writeUtf8StagingPage writes, for a page rendered without the file.
std::string utf8StagingBytes(std::string_view utf8Html);

} // namespace larkspur
