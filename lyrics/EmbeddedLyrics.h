#pragma once
// Lyrics and the artist, title, album and track number held in an MP3 file's ID3v2 tag, read with
// TagLib.

#include <optional>
#include <string>
#include <string_view>

namespace larkspur {

struct EmbeddedLyrics
{
    std::string artist; // empty when the tag has none
    std::string title;
    std::string album;
    unsigned trackNumber = 0; // 0: the tag has none
    std::string text;         // the first USLT frame not blank, CR LF line breaks
    std::string lrc;          // the first lyrics SYLT frame with text, as LRC, CR LF line breaks

    // What to show: the timed lyrics when there are any, else the plain ones.
    const std::string& best() const { return lrc.empty() ? text : lrc; }
};

// Everything in UTF-8. Nothing when the file is missing, unreadable, not MP3 or has no ID3v2
// tag at its start; a tag without lyrics still gives its artist and title. A tag past the
// bounds of SourceLimits.h is not read either: then `refused`, when given, says why in one
// line. Blank lyrics count as none. Never throws (apart from std::bad_alloc). Takes up to
// tens of milliseconds for a large tag: not for the interface thread.
std::optional<EmbeddedLyrics> readEmbeddedLyrics(const std::string& songPath,
                                                 std::string* refused = nullptr);

} // namespace larkspur
