#pragma once
// The lyrics sources that need no network: the .lrc file beside a song and the lyrics in its
// tags; and what the lyrics database is asked about a song. Text in UTF-8.

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
};

// The .lrc file beside the song (timed or not), else the lyrics in the song's tags (timed
// ones first). Nothing when neither holds any; an unreadable .lrc file counts as none, and
// why goes to `unreadable` when given. `tags` is readEmbeddedLyrics(songPath), read once by
// the caller.
std::optional<FoundLyrics> localLyrics(const std::string& songPath,
                                       const std::optional<EmbeddedLyrics>& tags,
                                       std::string* unreadable = nullptr);

// Artist and title from the tags where they hold them, else the words of the file name;
// no length.
DatabaseSong databaseSongFor(const std::optional<EmbeddedLyrics>& tags, const SongWords& words);

// What a database answer shows: nothing for DatabaseLyricsKind::Nothing.
std::optional<FoundLyrics> shownFromDatabase(const DatabaseLyrics& answer);

} // namespace larkspur
