#pragma once
// What holds for every playlist format: the parser, the import from a real file and the
// entries' trip through the song list file.

#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzFiles.h"
#include "playback/PlaylistImport.h"
#include "playback/SongList.h"

#include <set>
#include <string>
#include <vector>

namespace larkspur::fuzz {

inline void checkPlaylist(std::string_view text, PlaylistKind kind, const char* fileName,
                          std::vector<std::string> (*parse)(std::string_view))
{
    const std::vector<std::string> parsed = parse(text);
    FUZZ_CHECK(parsed == parsePlaylist(kind, text));
    FUZZ_CHECK(parsed.size() <= playlistLines(text).size());
    for (const auto& entry : parsed) {
        FUZZ_CHECK(!holdsLineBreak(entry));
        FUZZ_CHECK(entry.find('|') != std::string::npos);
        FUZZ_CHECK(parseCount(splitEntry(entry).countText).has_value());
    }

    const auto path = (scratch() / fileName).string();
    writeFile(path, text);
    FUZZ_CHECK(playlistKindOf(path) == kind);
    const PlaylistImport imported = importPlaylistFile(path);
    FUZZ_CHECK(imported.kind == kind);
    FUZZ_CHECK(imported.entries.size() + imported.lineBreaks == parsed.size());
    const std::string folder = scratch().string() + "/";
    for (std::size_t i = 0; i < imported.entries.size(); ++i) {
        const SongEntry parts = splitEntry(imported.entries[i]);
        // Without line breaks in the folder name nothing is left out, so entries pair up.
        FUZZ_CHECK(parts.countText == splitEntry(parsed[i]).countText);
        const std::string_view original = splitEntry(parsed[i]).path;
        if (parts.path != original) {
            // Resolved: the playlist's folder, then the path without its leading "./".
            std::string_view rest = original;
            while (rest.starts_with("./"))
                rest.remove_prefix(2);
            FUZZ_CHECK(parts.path == folder + std::string(rest));
        }
    }

    // Appended to a list, the entries of paths not listed yet survive its save and load as
    // they are.
    SongList list;
    list.add("3|/music/kept.mp3");
    const std::size_t already = appendEntries(list, imported.entries);
    std::vector<std::string> added;
    std::set<std::string, std::less<>> paths{"/music/kept.mp3"};
    for (const std::string& entry : imported.entries)
        if (paths.emplace(splitEntry(entry).path).second) added.push_back(entry);
    FUZZ_CHECK(already + added.size() == imported.entries.size());
    SongList reread;
    reread.setText(list.text());
    FUZZ_CHECK(reread.count() == added.size() + 1);
    for (std::size_t i = 0; i < added.size(); ++i)
        FUZZ_CHECK(reread.get(i + 1) == added[i]);
}

} // namespace larkspur::fuzz
