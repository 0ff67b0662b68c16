#pragma once
// The lyrics file beside a song: the memo's text with CR LF line breaks, in UTF-8.

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace larkspur {

class LyricsFileError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The file's text with every lone CR, lone LF and LF CR made one CR LF. A file that is not
// valid UTF-8 was written by an older program in Windows-1252 and is converted. Nothing
// when there is no such file; throws LyricsFileError when it exists but cannot be read.
std::optional<std::string> readLyricsFile(const std::string& path);

// The beginning of a lyrics file that may be far too large to read whole.
struct LyricsFileStart
{
    std::string text;
    bool cut = false; // the file goes on past `text`: it must not be saved in the file's place
};

// As readLyricsFile, reading at most maxBytes; a UTF-8 character the bound splits is left out.
std::optional<LyricsFileStart> readLyricsFile(const std::string& path, std::size_t maxBytes);

// Writes the text as it is through a new file renamed over the old one, so a failed write
// keeps the old file whole. Throws LyricsFileError with a one-line reason.
void writeLyricsFile(const std::string& path, std::string_view text);

// Line breaks of any kind made CR LF, as the file and the memo's saved text have them.
std::string withCrLf(std::string_view text);

} // namespace larkspur
