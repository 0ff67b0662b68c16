#include "playback/PlaylistImport.h"
#include "playback/SongListFile.h"
#include "support/TestFiles.h"

#include <QDir>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>

using namespace larkspur;
using Entries = std::vector<std::string>;

namespace {

Entries entriesOf(const SongList& list)
{
    Entries out;
    for (std::size_t i = 0; i < list.count(); ++i)
        out.emplace_back(list.get(i));
    return out;
}

} // namespace

TEST(PlaylistKind, ByExtensionInLowerCase)
{
    EXPECT_EQ(playlistKindOf("/music/list.m3u"), PlaylistKind::M3u);
    EXPECT_EQ(playlistKindOf("/music/LIST.M3U"), PlaylistKind::M3u);
    EXPECT_EQ(playlistKindOf("/music/a.Pls"), PlaylistKind::Pls);
    EXPECT_EQ(playlistKindOf("/music/a.m3u8"), PlaylistKind::M3u);
    EXPECT_EQ(playlistKindOf("/music/a.M3U8"), PlaylistKind::M3u);
    EXPECT_EQ(playlistKindOf("/music/a.m3u88"), PlaylistKind::Text);
    EXPECT_EQ(playlistKindOf("/music/a.txt"), PlaylistKind::Text);
    EXPECT_EQ(playlistKindOf("/music/list"), PlaylistKind::Text);
    // Only the last dot counts, and not one in a folder name.
    EXPECT_EQ(playlistKindOf("/music/radio.mp3.m3u"), PlaylistKind::M3u);
    EXPECT_EQ(playlistKindOf("/music/x.m3u/list"), PlaylistKind::Text);
}

TEST(PlaylistLines, AllLineEndsAndNoTrailingLine)
{
    EXPECT_EQ(playlistLines("a\r\nb\nc\rd\r\n"),
              (std::vector<std::string_view>{"a", "b", "c", "d"}));
    EXPECT_EQ(playlistLines("a\n\nb"), (std::vector<std::string_view>{"a", "", "b"}));
    EXPECT_TRUE(playlistLines("").empty());
}

TEST(PlaylistLines, ByteOrderMarkOnlyAtTheStartIsDropped)
{
    const std::string bom = "\xEF\xBB\xBF";
    struct Case
    {
        PlaylistKind kind;
        std::string text;
        Entries want;
    };
    const Case cases[] = {
        {PlaylistKind::M3u, bom + "#EXTM3U\r\n/m/a.mp3\r\n", {"0|/m/a.mp3"}},
        {PlaylistKind::Pls, bom + "File1=/m/a.mp3\n", {"0|/m/a.mp3"}},
        {PlaylistKind::Text, bom + "/m/a.mp3\n", {"0|/m/a.mp3"}},
        {PlaylistKind::Text, bom + "3|/m/a.mp3\n", {"3|/m/a.mp3"}},
        // A mark alone is no line; one further on is part of a name.
        {PlaylistKind::M3u, bom, {}},
        {PlaylistKind::Text,
         "/m/a.mp3\n" + bom + "/m/b.mp3\n",
         {"0|/m/a.mp3", "0|" + bom + "/m/b.mp3"}},
        // Only the whole mark counts.
        {PlaylistKind::Text, "\xEF\xBB/m/a.mp3\n", {"0|\xEF\xBB/m/a.mp3"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parsePlaylist(c.kind, c.text), c.want) << c.text;
}

TEST(ParseM3u, DropsHeaderInfoAndShortLines)
{
    const std::string text = "#EXTM3U\r\n#EXTINF:123,Artist - Title\r\nC:\\a.mp3\r\na.mp\r\n"
                             "music\\a.mp3\r\n  x.mp3  \r\n";
    EXPECT_EQ(parseM3u(text), (Entries{"0|C:\\a.mp3", "0|music\\a.mp3", "0|  x.mp3  "}));
    // Length counts bytes: five bytes of a two-letter UTF-8 name are enough.
    EXPECT_EQ(parseM3u("\xC3\xA4\xC3\xB6x\n"), (Entries{"0|\xC3\xA4\xC3\xB6x"}));
}

TEST(ParsePls, ValueAfterFirstEqualsTrimmed)
{
    const std::string text = "[playlist]\nNumberOfEntries=3\nFile1=C:\\Music\\a.mp3\n"
                             "Title1=A\nLength1=-1\nFile2= D:\\b.mp3 \t\nFILE3=E:\\x=y.mp3\n"
                             "Filename=song.mp3\nfile_without_eq\nFile4=a\nVersion=2\n";
    EXPECT_EQ(parsePls(text),
              (Entries{"0|C:\\Music\\a.mp3", "0|D:\\b.mp3", "0|E:\\x=y.mp3", "0|song.mp3", "0|"}));
}

TEST(ParseTextPlaylist, KeepsCommentsAndTakesOverSongListEntries)
{
    const std::string text = "# comment line\n/m/a.mp3\nab\n3|/m/b.mp3\n-1|/m/c.mp3\n"
                             " 12|/m/d|e.mp3\nx|/m/f.mp3\n0|ab\n";
    EXPECT_EQ(parseTextPlaylist(text), (Entries{"0|# comment line", "0|/m/a.mp3", "3|/m/b.mp3",
                                                "-1|/m/c.mp3", " 12|/m/d|e.mp3", "0|x|/m/f.mp3"}));
}

TEST(ResolvePlaylistPath, RelativePathsJoinThePlaylistFolder)
{
    struct Case
    {
        std::string path, folder, want;
    };
    const Case cases[] = {
        {"a.mp3", "/m/lists", "/m/lists/a.mp3"},
        {"./a.mp3", "/m/lists", "/m/lists/a.mp3"},
        {"../b.mp3", "/m/lists", "/m/lists/../b.mp3"}, // not folded: lists may be a link
        {" x.mp3", "/m/lists", "/m/lists/ x.mp3"},
        {"music\\a.mp3", "/m", "/m/music\\a.mp3"}, // a backslash is part of a name here
        {"a:b.mp3", "/m", "/m/a:b.mp3"},
        {"a.mp3", "/", "/a.mp3"},
        {"a.mp3", "/m/", "/m/a.mp3"},
        // Left as they are.
        {"/abs/a.mp3", "/m", "/abs/a.mp3"},
        {"http://host:8000/stream", "/m", "http://host:8000/stream"},
        {"file:///m/a.mp3", "/m", "file:///m/a.mp3"},
        {"C:\\Music\\a.mp3", "/m", "C:\\Music\\a.mp3"},
        {"x:/Music/a.mp3", "/m", "x:/Music/a.mp3"},
        {"", "/m", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(resolvePlaylistPath(c.path, c.folder), c.want) << c.path;
}

TEST(ImportPlaylistFile, RelativeEntriesBecomeAbsoluteForEveryKind)
{
    test::TempDir dir;
    const std::string lists = dir.file("lists");
    std::filesystem::create_directory(lists);
    struct Case
    {
        std::string name, text;
        Entries want;
    };
    const Case cases[] = {
        {"a.m3u",
         "#EXTM3U\nsong.mp3\n/abs/x.mp3\nhttp://radio/live\n",
         {"0|" + lists + "/song.mp3", "0|/abs/x.mp3", "0|http://radio/live"}},
        {"a.pls",
         "[playlist]\nFile1= ../up.mp3\nFile2=sub/in.mp3\n",
         {"0|" + lists + "/../up.mp3", "0|" + lists + "/sub/in.mp3"}},
        {"a.txt",
         "3|kept.mp3\nplain.mp3\n-1|/abs/y.mp3\n",
         {"3|" + lists + "/kept.mp3", "0|" + lists + "/plain.mp3", "-1|/abs/y.mp3"}},
    };
    for (const Case& c : cases) {
        test::writeFile(lists + "/" + c.name, c.text);
        EXPECT_EQ(importPlaylistFile(lists + "/" + c.name).entries, c.want) << c.name;
        EXPECT_EQ(importPlaylistText(lists + "/" + c.name, c.text).entries, c.want) << c.name;
    }
}

TEST(ImportPlaylistFile, ReadsDispatchesAndAppends)
{
    test::TempDir dir;
    test::writeFile(dir.file("list.M3U"), "#EXTM3U\n/m/a.mp3\n");
    test::writeFile(dir.file("list.txt"), "/m/b.mp3\r\n/m/c.mp3\r\n");

    SongList list;
    list.add("4|/m/old.mp3");
    const PlaylistImport m3u = importPlaylistFile(dir.file("list.M3U"));
    EXPECT_EQ(m3u.kind, PlaylistKind::M3u);
    EXPECT_EQ(appendEntries(list, m3u.entries), 0u);
    const PlaylistImport txt = importPlaylistFile(dir.file("list.txt"));
    EXPECT_EQ(txt.kind, PlaylistKind::Text);
    EXPECT_EQ(appendEntries(list, txt.entries), 0u);
    // Paths listed already, under any count, and twice in one batch, are left out.
    EXPECT_EQ(appendEntries(list, txt.entries), 2u);
    EXPECT_EQ(appendEntries(list, {"0|/m/old.mp3", "0|/m/d.mp3", "0|/m/d.mp3", "0|/m/D.mp3"}), 2u);
    EXPECT_EQ(entriesOf(list), (Entries{"4|/m/old.mp3", "0|/m/a.mp3", "0|/m/b.mp3", "0|/m/c.mp3",
                                        "0|/m/d.mp3", "0|/m/D.mp3"}));
    EXPECT_EQ(alreadyListedText(1), "1 song was already in the list.");

    EXPECT_THROW(importPlaylistFile(dir.file("missing.pls")), PlaylistReadError);
    EXPECT_THROW(importPlaylistFile(dir.path()), PlaylistReadError);
}

// Songs added, how many of them are missing (named A.mp3, B.mp3, ...), how many were listed.
TEST(AddedSongs, SayWhatWasAddedMissingAndListedAlready)
{
    const std::tuple<std::size_t, char, std::size_t, std::string> cases[] = {
        {1, 0, 0, "Added 1 song."},
        {0, 0, 2, "Added 0 songs. 2 songs were already in the list."},
        {4, 1, 3, "Added 4 songs, 1 of them not found: A.mp3. 3 songs were already in the list."},
        {1, 1, 0, "Added 1 song, not found: A.mp3."},
        {3, 2, 0, "Added 3 songs, 2 of them not found: A.mp3 and B.mp3."},
        {9, 5, 1,
         "Added 9 songs, 5 of them not found: A.mp3, B.mp3, C.mp3 and 2 more. 1 song "
         "was already in the list."},
    };
    for (const auto& [added, missing, already, want] : cases) {
        AddedSongs songs{Entries(added, "/m/x.mp3"), already, {}};
        for (char name = 'A'; name < 'A' + missing; ++name)
            songs.missing.push_back(std::string("/m/") + name + ".mp3");
        EXPECT_EQ(addedSongsText(songs), want);
    }
}

TEST(ImportPlaylistFile, ASavedSongListImportsUnchanged)
{
    test::TempDir dir;
    SongList saved;
    saved.add("2|/m/a.mp3");
    saved.add("0|/m/b b.mp3");
    saved.add("-1|/m/c.mp3");
    ASSERT_TRUE(saveSongList(dir.file("songs.txt"), saved));
    EXPECT_EQ(importPlaylistFile(dir.file("songs.txt")).entries, entriesOf(saved));
}

TEST(DroppedPaths, OneEntryPerPathInOrderLineBreaksLeftOut)
{
    struct Case
    {
        std::vector<std::string> paths;
        Entries want;
        std::size_t lineBreaks;
    };
    const Case cases[] = {
        {{"/m/b.mp3", "/m/folder", "/m/a.mp3"}, {"0|/m/b.mp3", "0|/m/folder", "0|/m/a.mp3"}, 0},
        {{}, {}, 0},
        {{"/m/crlf\r\n0|injected.mp3", "/m/a.mp3", "/m/lf\n.mp3", "/m/cr\r.mp3"},
         {"0|/m/a.mp3"},
         3},
    };
    for (const Case& c : cases) {
        const NewEntries got = entriesForDroppedPaths(c.paths);
        EXPECT_EQ(got.entries, c.want);
        EXPECT_EQ(got.lineBreaks, c.lineBreaks);
    }
}

TEST(ImportPlaylistFile, PathsWithLineBreaksAreLeftOutAndCounted)
{
    test::TempDir dir;
    struct Case
    {
        std::string folder, name, text;
        Entries want;
        std::size_t lineBreaks;
    };
    // Lines never hold a break; a folder name can, and relative entries inherit it.
    const Case cases[] = {
        {"odd\nname", "a.m3u", "a.mp3\n/m/b.mp3\n", {"0|/m/b.mp3"}, 1},
        {"odd\rname", "a.pls", "File1=a.mp3\nFile2=c.mp3\nFile3=/m/b.mp3\n", {"0|/m/b.mp3"}, 2},
        {"plain", "a.txt", "a.mp3\n", {"0|" + dir.file("plain") + "/a.mp3"}, 0},
    };
    for (const Case& c : cases) {
        std::filesystem::create_directory(dir.file(c.folder));
        const std::string file = dir.file(c.folder) + "/" + c.name;
        test::writeFile(file, c.text);
        const PlaylistImport got = importPlaylistFile(file);
        EXPECT_EQ(got.entries, c.want) << c.name;
        EXPECT_EQ(got.lineBreaks, c.lineBreaks) << c.name;
    }
}

// Real playlists from other projects' test suites.
TEST(PlaylistCorpus, EveryFileImportsWithTheExpectedCount)
{
    const std::filesystem::path corpus = LARKSPUR_SOURCE_DIR "/../shared/corpus/playlists";
    if (!std::filesystem::is_directory(corpus)) GTEST_SKIP() << "playlist corpus not present";

    const std::map<std::string, std::size_t> expected = {
        {"amarok__test.pls", 4},
        {"amarok__test2.m3u", 11},
        {"amarok__test2.pls", 5},
        {"atldotnet__playlist.pls", 5},
        {"atldotnet__playlist_fullPath.m3u", 4},
        {"beets__playlist.m3u8", 2},
        {"beets__playlist_non_ext.m3u", 2},
        {"beets__playlist_windows.m3u8", 2}, // header behind a byte order mark
        {"clementine__pls_one.pls", 1},
        {"clementine__pls_somafm.pls", 4},
        {"clementine__test.m3u", 239},
        {"js-playlist-parser__bad_extended.m3u", 1},
        {"js-playlist-parser__bad_extended3.m3u", 1},
        {"js-playlist-parser__mixed.m3u8", 5},
        {"js-playlist-parser__with_carriage_return.m3u", 25},
        {"mopidy__comment-ext.m3u", 1},
        {"mopidy__empty.m3u", 0},
        {"mopidy__encoding-ext.m3u", 1},
        {"navidrome__bom-test-utf16.m3u", 6}, // read as bytes, no line starts with "#"
        {"navidrome__bom-test.m3u", 1},
        {"navidrome__cr-ended.m3u", 2},
        {"navidrome__pls-with-name.m3u", 3},
        {"navidrome__subfolder2_pls2.m3u", 4},
        {"playlistsnet__LatinEncoding.m3u", 1},
        {"playlistsnet__Playlist.pls", 3},
        {"playlistsnet__Playlist2.pls", 4},
        {"playlistsnet__PlaylistExt.m3u", 3},
        {"playlistsnet__PlaylistNotExt.m3u", 3},
        {"playlistsnet__PlaylistVLC.m3u", 1},
        {"totem-pl-parser__BassDrive.pls", 12},
        {"totem-pl-parser__O_G_Money_Snoop_Dogg.m3u", 2}, // an indented #EXTINF is no comment
        {"totem-pl-parser__emptyplaylist.pls", 0},
        {"totem-pl-parser__live-streaming.m3u", 1},
        {"totem-pl-parser__missing-items.pls", 19},
        {"totem-pl-parser__radioclasica.mp3.m3u", 1},
        {"totem-pl-parser__radios-freebox.m3u", 1},
        {"totem-pl-parser__relative.m3u", 1},
    };

    std::size_t seen = 0;
    for (const auto& item : std::filesystem::directory_iterator(corpus)) {
        const std::string name = item.path().filename().string();
        if (name == "MANIFEST.md") continue;
        ++seen;
        const PlaylistImport got = importPlaylistFile(item.path().string());
        const auto want = expected.find(name);
        ASSERT_NE(want, expected.end()) << "no expectation for " << name;
        EXPECT_EQ(got.entries.size(), want->second) << name;
        for (const std::string& entry : got.entries)
            EXPECT_EQ(entry.rfind("0|", 0), 0u) << name;
    }
    EXPECT_EQ(seen, expected.size());
}

TEST(PlaylistCorpus, SampleEntriesAreExact)
{
    const std::string corpus = LARKSPUR_SOURCE_DIR "/../shared/corpus/playlists/";
    if (!std::filesystem::is_directory(corpus)) GTEST_SKIP() << "playlist corpus not present";

    const auto pls = importPlaylistFile(corpus + "clementine__pls_one.pls").entries;
    EXPECT_EQ(pls, (Entries{"0|" + corpus + "filename with spaces.mp3"}));

    const auto missing = importPlaylistFile(corpus + "totem-pl-parser__missing-items.pls").entries;
    ASSERT_FALSE(missing.empty());
    EXPECT_EQ(missing.front(),
              "0|http://network.absoluteradio.co.uk/core/audio/ogg/live.pls?service=vr");

    // CR-only line ends, no final line end.
    EXPECT_EQ(importPlaylistFile(corpus + "navidrome__cr-ended.m3u").entries,
              (Entries{"0|" + corpus + "abc.mp3", "0|" + corpus + "def.mp3"}));

    // Latin-1 bytes pass through untouched.
    EXPECT_EQ(importPlaylistFile(corpus + "mopidy__encoding-ext.m3u").entries,
              (Entries{"0|" + corpus + "\xE6\xF8\xE5.mp3"}));

    // CR LF file: no CR left at the end of the entry.
    const auto crlf = importPlaylistFile(corpus + "totem-pl-parser__O_G_Money_Snoop_Dogg.m3u");
    ASSERT_EQ(crlf.entries.size(), 2u);
    EXPECT_EQ(crlf.entries[1].find('\r'), std::string::npos);
    EXPECT_EQ(crlf.entries[1].rfind("0|http://", 0), 0u);
}
