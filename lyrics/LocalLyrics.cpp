#include "lyrics/LocalLyrics.h"

#include "lyrics/LrcLyrics.h"
#include "lyrics/LyricsFile.h"

namespace larkspur {

std::optional<FoundLyrics> localLyrics(const std::string& songPath,
                                       const std::optional<EmbeddedLyrics>& tags,
                                       std::string* unreadable)
{
    try {
        if (auto text = readLyricsFile(lrcFileFor(songPath)); text && !text->empty())
            return FoundLyrics{*text, looksLikeLrc(*text)};
    } catch (const LyricsFileError& e) {
        // the tags may still hold lyrics
        if (unreadable) *unreadable = e.what();
    }
    if (tags && !tags->lrc.empty()) return FoundLyrics{tags->lrc, true};
    if (tags && !tags->text.empty()) return FoundLyrics{tags->text, false};
    return std::nullopt;
}

DatabaseSong databaseSongFor(const std::optional<EmbeddedLyrics>& tags, const SongWords& words)
{
    DatabaseSong song;
    song.artist = tags && !tags->artist.empty() ? tags->artist : words.artist;
    song.title = tags && !tags->title.empty() ? tags->title : words.title;
    return song;
}

std::optional<FoundLyrics> shownFromDatabase(const DatabaseLyrics& answer)
{
    switch (answer.kind) {
    case DatabaseLyricsKind::Synced:
        return FoundLyrics{answer.text, true};
    case DatabaseLyricsKind::Plain:
    case DatabaseLyricsKind::Instrumental:
        return FoundLyrics{withCrLf(answer.text), false};
    case DatabaseLyricsKind::Nothing:
        break;
    }
    return std::nullopt;
}

} // namespace larkspur
