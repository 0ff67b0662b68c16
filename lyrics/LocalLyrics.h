#pragma once
// The lyrics in a song's tags, and what the lyrics database is asked about a song. Text in
// UTF-8.

#include "lyrics/EmbeddedLyrics.h"
#include "lyrics/LyricsDatabase.h"
#include "lyrics/SongWords.h"

#include <optional>
#include <string>
#include <string_view>

namespace larkspur {

// Lyrics as one source gave them.
struct FoundLyrics
{
    std::string text;    // LRC text when synced, else plain text with CR LF line breaks
    bool synced = false; // text holds time stamps
    bool cut = false;    // only the beginning of a file too large to read whole
};

// The lyrics in a song's tags (timed ones first); nothing when they hold none. `tags` is
// readEmbeddedLyrics(songPath), read once by the caller.
std::optional<FoundLyrics> tagLyrics(const std::optional<EmbeddedLyrics>& tags);

// The song's artist and title as the lyrics database and the desktop's media controls are
// told them: from the tags where they hold them, else from the file name (without folder)
// split by songNamesFromFileName, else the title is the file name as it stands. No length.
DatabaseSong songNamesFor(const std::optional<EmbeddedLyrics>& tags, std::string_view fileName,
                          std::string_view splitter);

// What a database answer shows: nothing for DatabaseLyricsKind::Nothing.
std::optional<FoundLyrics> shownFromDatabase(const DatabaseLyrics& answer);

} // namespace larkspur
