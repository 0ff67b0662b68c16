#pragma once
// Lyrics and the artist and title held in an MP3 file's ID3v2 tag, read with TagLib.

#include <optional>
#include <string>
#include <string_view>

namespace larkspur {

struct EmbeddedLyrics
{
    std::string artist; // empty when the tag has none
    std::string title;
    std::string text; // the first non-empty USLT frame, CR LF line breaks
    std::string lrc;  // the first non-empty lyrics SYLT frame as LRC text, CR LF line breaks

    // What to show: the timed lyrics when there are any, else the plain ones.
    const std::string& best() const { return lrc.empty() ? text : lrc; }
};

// Everything in UTF-8. Nothing when the file is missing, unreadable, not MP3 or has no ID3v2
// tag; a tag without lyrics still gives its artist and title. Never throws (apart from
// std::bad_alloc).
std::optional<EmbeddedLyrics> readEmbeddedLyrics(const std::string& songPath);

// The .lrc file beside a song: the extension (from the last "." after the last "/") replaced
// by ".lrc", or ".lrc" appended when the name has no ".".
std::string lrcFileFor(std::string_view songPath);

} // namespace larkspur
