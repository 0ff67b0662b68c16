// The names of a song's lyrics files: in the song's own folder whatever its extension, and
// the .lyr of the older four-character rule still read where it kept to the song's name.

#include "lyrics/LyricsFileNames.h"
#include "lyrics/LyricsStore.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace larkspur;
using larkspur::test::TempDir;
using larkspur::test::writeFile;

TEST(LyricsFileNames, BothInTheSongsFolderAndTheOldLyrReadWhereItWasTheSongs)
{
    TempDir dir, store;
    struct Case
    {
        const char *song, *lyr; // the .lrc is named as the .lyr
        const char* old;        // what the four-character rule gave
        bool oldRead;           // a file of that name alone is read as the song's
    } cases[] = {
        {"Artist - Song.mp3", "Artist - Song.lyr", "Artist - Song.lyr", false},
        {"x.flac", "x.lyr", "x..lyr", true},
        {"a.song.opus", "a.song.lyr", "a.song..lyr", true},
        {"esc/x-y", "esc/x-y.lyr", "esc.lyr", false}, // the folder's name
        {"name.ab", "name.lyr", "nam.lyr", false},    // another song's
        {"d.ir/song", "d.ir/song.lyr", "d.ir/.lyr", false},
        {"d.ir/.hidden", "d.ir/.hidden.lyr", "d.ir/.hid.lyr", false},
        {"song.", "song.lyr", "s.lyr", false},
    };
    for (const Case& c : cases) {
        const std::string song = dir.file(c.song), lyr = dir.file(c.lyr), old = dir.file(c.old);
        EXPECT_EQ(lyricsFileFor(song), lyr);
        EXPECT_EQ(lrcFileFor(song), lyr.substr(0, lyr.size() - 3) + "lrc");
        // Beside the song, and as the store keeps it.
        for (const std::string& where : {std::string(), store.path()}) {
            const auto placed = [&](const std::string& p) {
                return where.empty() ? p : storedLyricsFile(where, p);
            };
            for (const std::string& file : {placed(old), placed(lyr)})
                std::filesystem::create_directories(std::filesystem::path(file).parent_path());
            writeFile(placed(old), "old");
            EXPECT_EQ(lyricsFileToRead(song, where), placed(c.oldRead ? old : lyr)) << c.song;
            writeFile(placed(lyr), "new");
            EXPECT_EQ(lyricsFileToRead(song, where), placed(lyr)) << c.song;
            std::filesystem::remove(placed(lyr));
            std::filesystem::remove(placed(old));
        }
    }
}
