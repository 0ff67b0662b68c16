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
using larkspur::test::id3CompressedFrame;
using larkspur::test::id3Frame;
using larkspur::test::makeMp3;
using larkspur::test::makeTaggedMp3;
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
        auto* blank = new TagLib::ID3v2::UnsynchronizedLyricsFrame(TagLib::String::UTF8);
        blank->setText(u8(" \r\n\t "));
        tag.addFrame(blank);
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
        {"stamps without text are no lyrics",
         SynchronizedLyricsFrame::AbsoluteMilliseconds,
         SynchronizedLyricsFrame::Lyrics,
         {{1000, ""}, {2000, " "}},
         ""},
        {"a thousand minutes or more is out of range",
         SynchronizedLyricsFrame::AbsoluteMilliseconds,
         SynchronizedLyricsFrame::Lyrics,
         {{59'999'990, "last"}, {60'000'000, "too late"}, {4'000'000'000u, "far too late"}},
         "[999:59.99]last"},
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

// Tags written by hand as bytes: what TagLib would inflate is weighed first, by what a frame
// claims and by what it really inflates to.
TEST(EmbeddedLyrics, TagsPastTheBoundsAreNotRead)
{
    const std::string uslt = std::string("\0eng\0", 5) + "Hidden words";
    const std::string zeros(9 * 1024 * 1024, '\0');
    std::string manyFrames;
    for (int i = 0; i < 5000; ++i)
        manyFrames += id3Frame(3, "TXXX", std::string("\0x", 2));
    struct Case
    {
        const char* name;
        int version;
        std::string frames;
        std::uint32_t size;  // the tag's size as its header claims it, 0: the frames'
        std::string refused; // part of why, or empty when the tag is read
        std::string text;
    };
    const Case cases[] = {
        {"v2.3 lyrics claiming 2 GB", 3, id3CompressedFrame(3, "USLT", uslt, 2'000'000'000), 0,
         "frame USLT claims", ""},
        {"v2.4 private frame claiming 100 MB beside plain lyrics", 4,
         id3CompressedFrame(4, "PRIV", "x", 100'000'000) + id3Frame(4, "USLT", uslt), 0,
         "frame PRIV claims", ""},
        {"a frame that claims little and inflates to 9 MB", 3,
         id3CompressedFrame(3, "PRIV", zeros, 1000), 0, "frame PRIV inflates to more than 8 MB",
         ""},
        {"frames that inflate to 18 MB together", 3,
         id3CompressedFrame(3, "PRIV", zeros.substr(0, 6'000'000), 6'000'000) +
             id3CompressedFrame(3, "PRIV", zeros.substr(0, 6'000'000), 6'000'000) +
             id3CompressedFrame(3, "PRIV", zeros.substr(0, 6'000'000), 6'000'000),
         0, "inflates to more than", ""},
        {"a header claiming 200 MB", 3, id3Frame(3, "USLT", uslt), 200'000'000, "it takes", ""},
        {"5000 frames", 3, manyFrames, 0, "more than 4096 frames", ""},
        {"honest v2.3 compressed lyrics", 3,
         id3CompressedFrame(3, "USLT", uslt, static_cast<std::uint32_t>(uslt.size())), 0, "",
         "Hidden words"},
        {"honest v2.4 compressed lyrics", 4,
         id3CompressedFrame(4, "USLT", uslt, static_cast<std::uint32_t>(uslt.size())), 0, "",
         "Hidden words"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        const std::string path = dir.file("hostile.mp3");
        makeTaggedMp3(path, c.version, c.frames, c.size);
        std::string why;
        const auto lyrics = readEmbeddedLyrics(path, &why);
        if (c.refused.empty()) {
            ASSERT_TRUE(lyrics) << c.name << ": " << why;
            EXPECT_EQ(lyrics->text, c.text) << c.name;
            EXPECT_EQ(why, "") << c.name;
        } else {
            EXPECT_FALSE(lyrics) << c.name;
            EXPECT_NE(why.find(c.refused), std::string::npos) << c.name << ": " << why;
        }
    }
}
