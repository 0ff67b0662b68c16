#pragma once
// Artist and title words from a song's file name, and the web search addresses built from
// them. Pure functions on UTF-8 bytes.

#include <optional>
#include <string>
#include <string_view>

namespace larkspur {

struct SongWords
{
    std::string artist; // empty when the name holds no splitter
    std::string title;
};

// "01 - Artist_Name - Song Title (Live).mp3" gives "artist name" and "song title": lower
// case, ".mp3" and bracketed parts gone, "&" spelled "and", "_" and "." as blanks, the track
// number dropped, split at `splitter`. Nothing when the name reduces to nothing.
std::optional<SongWords> songWordsFromFileName(std::string_view fileName,
                                               std::string_view splitter);

// The same split with the name's letter case, its "&" and the numbers that belong to it kept
// ("Simon & Garfunkel", "Song 2", "#1"; a leading track number still goes), for those that
// match names themselves: the lyrics database, desktop media controls, the publishing.
std::optional<SongWords> songNamesFromFileName(std::string_view fileName,
                                               std::string_view splitter);

// The search engine's scheme and host (and port): LARKSPUR_SEARCH_URL when set, else the
// built-in one. No trailing slash.
std::string searchHost();

// The automatic search: the quoted phrases preamble, artist, title and (when not empty)
// appendix, with artist and title already holding "+" for blanks. Not yet percent-encoded.
std::string songSearchUrl(std::string_view host, std::string_view preamble, std::string_view artist,
                          std::string_view title, std::string_view appendix);

// A search for the words as typed: blanks become "+", double quotes "%22". Not yet
// percent-encoded.
std::string customSearchUrl(std::string_view host, std::string_view typed);

} // namespace larkspur
