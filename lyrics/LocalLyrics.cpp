#include "lyrics/LocalLyrics.h"

#include "lyrics/LyricsFile.h"

namespace larkspur {

std::optional<FoundLyrics> tagLyrics(const std::optional<EmbeddedLyrics>& tags)
{
    if (tags && !tags->lrc.empty()) return FoundLyrics{tags->lrc, true};
    if (tags && !tags->text.empty()) return FoundLyrics{tags->text, false};
    return std::nullopt;
}

DatabaseSong songNamesFor(const std::optional<EmbeddedLyrics>& tags, std::string_view fileName,
                          std::string_view splitter)
{
    const SongWords words =
        songNamesFromFileName(fileName, splitter).value_or(SongWords{{}, std::string(fileName)});
    DatabaseSong song;
    song.artist = tags && !tags->artist.empty() ? tags->artist : words.artist;
    song.title = tags && !tags->title.empty() ? tags->title : words.title;
    if (tags) {
        song.album = tags->album;
        song.trackNumber = tags->trackNumber;
    }
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
