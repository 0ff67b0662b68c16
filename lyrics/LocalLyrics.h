#pragma once
// The lyrics in a song's tags, and what the lyrics database is asked about a song. Text in
// UTF-8.

#include "lyrics/EmbeddedLyrics.h"
#include "lyrics/LyricsDatabase.h"
#include "lyrics/SongWords.h"

#include <optional>
#include <string>

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

// Artist and title from the tags where they hold them, else the words of the file name;
// no length.
DatabaseSong databaseSongFor(const std::optional<EmbeddedLyrics>& tags, const SongWords& words);

// What a database answer shows: nothing for DatabaseLyricsKind::Nothing.
std::optional<FoundLyrics> shownFromDatabase(const DatabaseLyrics& answer);

} // namespace larkspur
