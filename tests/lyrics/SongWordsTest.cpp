#include "lyrics/LyricsFile.h"
#include "lyrics/QueryEncoding.h"
#include "lyrics/ResultLinks.h"
#include "lyrics/SongWords.h"
#include "support/TestFiles.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace larkspur;
using larkspur::test::readFile;
using larkspur::test::TempDir;
using larkspur::test::writeFile;

TEST(SongWords, FromFileNames)
{
    struct Case
    {
        const char* name;
        const char* splitter;
        const char* artist; // nullptr: the name reduces to nothing
        const char* title;
    };
    const Case cases[] = {
        {"01 - Artist_Name - Song Title (Live).mp3", "-", "artist name", "song title"},
        {"AC&DC - T.N.T..mp3", "-", "ac and dc", "t n t"},
        {"yesterday.mp3", "-", "", "yesterday"},
        {"01.mp3", "-", nullptr, nullptr},
        {"(intro).mp3", "-", nullptr, nullptr},
        {"---.mp3", "-", nullptr, nullptr},
        {"a~b.mp3", "~", "a", "b"},
        {"-a~b.mp3", "~", "a", "b"}, // leading hyphens go whatever the splitter
        {"artist - 05 - title.mp3", "-", "artist", "title"},
        {"THE BAND - LOUD SONG.MP3", "-", "the band", "loud song"},
        {"Jay-Z - Song [Remix] {2003}.mp3", "-", "jay-z", "song"},
        {"Die Ärzte - Schrei nach Liebe.mp3", "-", "die Ärzte", "schrei nach liebe"},
        {"*Star* - Song*.mp3", "-", "star", "song"},
        {"Test Band - Song 2.mp3", "-", "test band", "song"}, // the search's words as ever
    };
    for (const auto& c : cases) {
        const auto words = songWordsFromFileName(c.name, c.splitter);
        if (!c.artist) {
            EXPECT_FALSE(words) << c.name;
            continue;
        }
        ASSERT_TRUE(words) << c.name;
        EXPECT_EQ(words->artist, c.artist) << c.name;
        EXPECT_EQ(words->title, c.title) << c.name;
    }
}

TEST(SongWords, NamesKeepTheNumbersThatBelongToThemButNotTrackNumbers)
{
    const std::pair<const char*, const char*> cases[] = {
        {"Test Band - Song 2.mp3", "Test Band|Song 2"}, {"Grüße #1 100%.mp3", "|Grüße #1 100%"},
        {"Ärger & Söhne - Grüße #1 100%.mp3", "Ärger & Söhne|Grüße #1 100%"},
        {"01 - Test Band - Song 2.mp3", "Test Band|Song 2"}, {"07 Song 2.mp3", "|Song 2"},
        {"artist - 05 - title.mp3", "artist|title"}, {"2Pac - Changes.mp3", "2Pac|Changes"},
        {"Smashing Pumpkins - 1979.mp3", "Smashing Pumpkins|1979"},
        {"Blur - Song 2 (Live).mp3", "Blur|Song 2"}, {"Test_Band - Song_2.mp3", "Test Band|Song 2"},
    };
    for (const auto& [name, want] : cases) {
        const auto names = songNamesFromFileName(name, "-").value_or(SongWords{"none", ""});
        EXPECT_EQ(names.artist + "|" + names.title, want) << name;
    }
}

TEST(SongWords, SearchAddresses)
{
    const std::string host = "http://search.test";
    const std::string prefix = host + "/search?sourceid=navclient&hl=de&ie=UTF-8&oe=UTF-8&q=";
    struct Case
    {
        std::string url, expected;
    };
    const Case cases[] = {
        {songSearchUrl(host, "lyrics", "artist+name", "song+title", ""),
         prefix + "%22lyrics%22+%22artist+name%22+%22song+title%22"},
        {songSearchUrl(host, "", "", "yesterday", "live version"),
         prefix + "%22%22+%22%22+%22yesterday%22+%22live version%22"},
        {EncodeUtf8Query(songSearchUrl(host, "lyrics", "die+ärzte", "größe", "")),
         prefix + "%22lyrics%22+%22die+%C3%A4rzte%22+%22gr%C3%B6%C3%9Fe%22"},
        {customSearchUrl(host, "big band"), prefix + "big+band"},
        {customSearchUrl(host, "\"big band\" live"), prefix + "%22big+band%22+live"},
        {EncodeUtf8Query(customSearchUrl(host, "Größe")), prefix + "Gr%C3%B6%C3%9Fe"},
        {customSearchUrl(host, ""), prefix},
    };
    for (const auto& c : cases) EXPECT_EQ(c.url, c.expected);
}

TEST(ResultLinks, RulesOfTheHarvest)
{
    const std::string page = "<html><P CLASS=G><a class=l href=\"http://a.test/one.html\">One</A>"
                             "<p class=g><a href=\"http://b.test/two.html\" x=\"y\">Two</a>"
                             "<p class=fl><a href=\"http://c.test/three\\u0026x\">Three</a>";
    auto first = textAfterMarker(page, kResultMarker);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->rfind("P CLASS=G>", 0), 0u);
    EXPECT_TRUE(hasLinkEnd(*first));
    EXPECT_EQ(resultLinkA(*first), "http://a.test/one.html "); // the quote becomes a blank
    auto second = textAfterMarker(*first, kResultMarker);
    ASSERT_TRUE(second);
    EXPECT_EQ(resultLinkA(*second), "http://b.test/two.html\" x=\"y ");
    EXPECT_EQ(resultLinkB(*second), "http://b.test/two.html");
    auto fallback = textAfterMarker(page, kSecondResultMarker);
    ASSERT_TRUE(fallback);
    EXPECT_EQ(resultLinkB(*fallback), "http://c.test/three");
    EXPECT_FALSE(textAfterMarker("<p class=x>", kResultMarker));
    EXPECT_EQ(resultLinkA("no link here</a>"), "nk here<"); // from the sixth character on

    EXPECT_EQ(dropThroughBannerEnd("<table>" + std::string(kBannerEnd) + "Lyrics"), "Lyrics");
    EXPECT_EQ(dropThroughBannerEnd(std::string(35, 'x') + "rest"), "rest");
    EXPECT_EQ(dropThroughBannerEnd("short"), "");
}

TEST(LyricsFile, ReadsAnyLineEndsAndOldEncodingsAndSavesWhole)
{
    TempDir dir;
    struct Case
    {
        std::string bytes, text;
    };
    const Case cases[] = {
        {"a\r\nb", "a\r\nb"},
        {"a\nb\n", "a\r\nb\r\n"},
        {"a\rb", "a\r\nb"},
        {"a\n\rb", "a\r\nb"},       // LF CR is one break
        {"a\n\nb", "a\r\n\r\nb"},   // two breaks stay two
        {"Gr\xF6\xDF" "e \x93x\x94", "Größe “x”"}, // Windows-1252
        {"Größe", "Größe"},
        {"", ""},
    };
    const auto name = dir.file("song.lyr");
    for (const auto& c : cases) {
        writeFile(name, c.bytes);
        EXPECT_EQ(readLyricsFile(name), c.text) << c.bytes;
    }
    EXPECT_FALSE(readLyricsFile(dir.file("none.lyr")));
    ::mkdir(dir.file("folder.lyr").c_str(), 0700);
    EXPECT_THROW(readLyricsFile(dir.file("folder.lyr")), LyricsFileError);

    writeLyricsFile(name, "one\r\ntwo");
    EXPECT_EQ(readFile(name), "one\r\ntwo");
    // The new file cannot be made: the old one stays whole and the reason names the file.
    ::mkdir((name + ".saving").c_str(), 0700);
    try {
        writeLyricsFile(name, "three");
        ADD_FAILURE() << "saved";
    } catch (const LyricsFileError& e) {
        EXPECT_NE(std::string(e.what()).find(name), std::string::npos);
    }
    EXPECT_EQ(readFile(name), "one\r\ntwo");
    EXPECT_EQ(withCrLf("a\nb\r\nc\rd"), "a\r\nb\r\nc\r\nd");
}

TEST(LyricsFile, ReadsNoFurtherThanItsBound)
{
    TempDir dir;
    struct Case
    {
        std::string bytes;
        std::size_t bound;
        std::string text;
        bool cut;
    };
    const Case cases[] = {
        {"abc", 3, "abc", false},
        {"abcd", 3, "abc", true},
        {"ab\n", 2, "ab", true},
        {"ab\xC3\xA4", 3, "ab", true}, // a split "ä" is left out, not read as 1252
        {"\xE2\x82\xAC\xE2\x82\xAC", 4, "\xE2\x82\xAC", true}, // "€€"
        {"\xE4\x62\x63", 2, "äb", true},                       // Windows-1252 stays so
    };
    const auto name = dir.file("song.lyr");
    for (const auto& c : cases) {
        writeFile(name, c.bytes);
        const auto start = readLyricsFile(name, c.bound);
        ASSERT_TRUE(start) << c.bytes;
        EXPECT_EQ(start->text, c.text) << c.bytes;
        EXPECT_EQ(start->cut, c.cut) << c.bytes;
    }
    // A sparse file of 2 GB: only the beginning is read.
    writeFile(name, "Words\n");
    std::filesystem::resize_file(name, 2LL << 30);
    const auto start = readLyricsFile(name, 1000);
    ASSERT_TRUE(start);
    EXPECT_TRUE(start->cut);
    EXPECT_EQ(start->text.substr(0, 7), "Words\r\n");
    EXPECT_EQ(start->text.size(), 1001u); // the break is one byte more as CR LF
}
