#include "lyrics/EmbeddedLyrics.h"
#include "lyrics/LrcLyrics.h"
#include "support/TestFiles.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/synchronizedlyricsframe.h>
#include <taglib/unsynchronizedlyricsframe.h>
#include <utility>
#include <vector>

using namespace larkspur;
using larkspur::test::makeMp3;
using larkspur::test::TempDir;
using larkspur::test::writeFile;
using TagLib::ID3v2::SynchronizedLyricsFrame;

namespace {

TagLib::String u8(const std::string& s)
{
    return TagLib::String(s, TagLib::String::UTF8);
}

// A real MP3 whose ID3v2 tag gets what `fill` adds.
template <typename Fill>
std::string taggedMp3(const TempDir& dir, const std::string& name, Fill fill)
{
    const std::string path = dir.file(name);
    makeMp3(path, 1.0);
    TagLib::MPEG::File file(path.c_str());
    fill(*file.ID3v2Tag(true));
    if (!file.save(TagLib::MPEG::File::ID3v2)) throw std::runtime_error("cannot tag " + path);
    return path;
}

} // namespace

TEST(EmbeddedLyrics, UnsynchronisedTextArtistAndTitle)
{
    TempDir dir;
    const auto path = taggedMp3(dir, "song.mp3", [](TagLib::ID3v2::Tag& tag) {
        tag.setArtist(u8("Die Ärzte"));
        tag.setTitle(u8("Schrei nach Liebe"));
        auto* empty = new TagLib::ID3v2::UnsynchronizedLyricsFrame(TagLib::String::UTF8);
        tag.addFrame(empty);
        auto* uslt = new TagLib::ID3v2::UnsynchronizedLyricsFrame(TagLib::String::UTF8);
        uslt->setText(u8("Erste Zeile\nZweite Zeile – größer\r\nDritte"));
        tag.addFrame(uslt);
    });
    const auto lyrics = readEmbeddedLyrics(path);
    ASSERT_TRUE(lyrics);
    EXPECT_EQ(lyrics->artist, "Die Ärzte");
    EXPECT_EQ(lyrics->title, "Schrei nach Liebe");
    EXPECT_EQ(lyrics->text, "Erste Zeile\r\nZweite Zeile – größer\r\nDritte");
    EXPECT_EQ(lyrics->lrc, "");
    EXPECT_EQ(lyrics->best(), lyrics->text);
}

TEST(EmbeddedLyrics, SynchronisedFramesBecomeLrc)
{
    using Entries = std::vector<std::pair<unsigned, std::string>>;
    struct Case
    {
        const char* name;
        SynchronizedLyricsFrame::TimestampFormat format;
        SynchronizedLyricsFrame::Type type;
        Entries entries;
        std::string lrc;
    };
    const Case cases[] = {
        {"lines in milliseconds",
         SynchronizedLyricsFrame::AbsoluteMilliseconds,
         SynchronizedLyricsFrame::Lyrics,
         {{1000, "first"}, {2500, "second"}, {61230, "third"}},
         "[00:01.00]first\r\n[00:02.50]second\r\n[01:01.23]third"},
        {"syllables joined, a line break opens a line",
         SynchronizedLyricsFrame::AbsoluteMilliseconds,
         SynchronizedLyricsFrame::Lyrics,
         {{1000, "Hel"}, {1200, "lo "}, {1400, "you"}, {3000, "\nWorld"}},
         "[00:01.00]Hello you\r\n[00:03.00]World"},
        // 100 frames of 1152 samples at 44.1 kHz, the encoder's MPEG-1 layer III.
        {"MPEG frame counts",
         SynchronizedLyricsFrame::AbsoluteMpegFrames,
         SynchronizedLyricsFrame::Lyrics,
         {{100, "later"}},
         "[00:02.61]later"},
        {"chords are not lyrics",
         SynchronizedLyricsFrame::AbsoluteMilliseconds,
         SynchronizedLyricsFrame::Chord,
         {{1000, "Am"}},
         ""},
    };
    TempDir dir;
    int n = 0;
    for (const auto& c : cases) {
        const auto path = taggedMp3(dir, "sylt" + std::to_string(n++) + ".mp3", [&](auto& tag) {
            auto* sylt = new SynchronizedLyricsFrame(TagLib::String::UTF8);
            sylt->setTimestampFormat(c.format);
            sylt->setType(c.type);
            SynchronizedLyricsFrame::SynchedTextList list;
            for (const auto& [time, text] : c.entries)
                list.append({time, u8(text)});
            sylt->setSynchedText(list);
            tag.addFrame(sylt);
        });
        const auto lyrics = readEmbeddedLyrics(path);
        ASSERT_TRUE(lyrics) << c.name;
        EXPECT_EQ(lyrics->lrc, c.lrc) << c.name;
        EXPECT_EQ(lyrics->artist, "") << c.name;
        EXPECT_EQ(looksLikeLrc(lyrics->best()), !c.lrc.empty()) << c.name;
    }
}

TEST(EmbeddedLyrics, NothingWithoutATag)
{
    TempDir dir;
    const std::string untagged = dir.file("plain.mp3");
    makeMp3(untagged, 1.0);
    const std::string text = dir.file("notes.mp3");
    writeFile(text, "These are notes, not audio.\n");
    const std::string empty = dir.file("empty.mp3");
    writeFile(empty, "");
    const std::string folder = dir.file("folder.mp3");
    std::filesystem::create_directory(folder);
    for (const auto& path : {untagged, text, empty, folder, dir.file("missing.mp3")})
        EXPECT_FALSE(readEmbeddedLyrics(path)) << path;

    // A tag without lyrics still names the song.
    const auto titled = taggedMp3(dir, "titled.mp3", [](auto& tag) { tag.setTitle(u8("Only")); });
    const auto lyrics = readEmbeddedLyrics(titled);
    ASSERT_TRUE(lyrics);
    EXPECT_EQ(lyrics->title, "Only");
    EXPECT_EQ(lyrics->best(), "");
}

TEST(EmbeddedLyrics, LrcFileBesideTheSong)
{
    const std::pair<const char*, const char*> cases[] = {
        {"/music/a.song.mp3", "/music/a.song.lrc"},
        {"/music/Song.MP3", "/music/Song.lrc"},
        {"/music.dir/song", "/music.dir/song.lrc"},
        {"song.flac", "song.lrc"},
        {"noext", "noext.lrc"},
    };
    for (const auto& [song, lrc] : cases)
        EXPECT_EQ(lrcFileFor(song), lrc) << song;
}
