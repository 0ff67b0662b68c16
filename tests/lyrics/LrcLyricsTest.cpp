#include "lyrics/LrcLyrics.h"
#include "lyrics/LyricsPublish.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace larkspur;

namespace {

struct Expected
{
    long long ms; // -1: an untimed line
    std::string text;
};

} // namespace

TEST(LrcLyrics, ParsesLines)
{
    struct Case
    {
        const char* name;
        std::string lrc;
        std::vector<Expected> lines;
    };
    const Case cases[] = {
        {"stamp forms",
         "[00:12.34]Hello\r\n[00:15.678]World\n[01:02]Again\r[2:03.5]Tenths",
         {{12340, "Hello"}, {15678, "World"}, {62000, "Again"}, {123500, "Tenths"}}},
        {"several stamps on one line",
         "[00:10.00][00:30.00]Chorus\n[00:20.00]Verse",
         {{10000, "Chorus"}, {20000, "Verse"}, {30000, "Chorus"}}},
        {"positive offset shows earlier, never before the start",
         "[offset:+500]\n[00:10.00]a\n[00:00.20]b",
         {{0, "b"}, {9500, "a"}}},
        {"negative offset", "[offset:-250]\n[00:01.00]a", {{1250, "a"}}},
        {"offset after the lines still applies", "[00:01.00]a\n[Offset: 1000 ]", {{0, "a"}}},
        {"bad offset ignored", "[offset:soon]\n[00:01.00]a", {{1000, "a"}}},
        {"metadata ignored",
         "[ar:Artist]\n[ti:Title]\n[al:Album]\n[by:me]\n[length: 03:25]\n[AR:x][TI:y]\n[00:01.00]x",
         {{1000, "x"}}},
        {"untimed lines keep their place",
         "Intro\n[00:05.00]b\n\n[00:02.00]a\nOutro",
         {{-1, "Intro"}, {2000, "a"}, {-1, ""}, {5000, "b"}, {-1, "Outro"}}},
        {"broken stamps and section marks stay text",
         "[1:xx]text\n[99:99.99\n[00:10.]no fraction\n[Chorus]\n[Verse 1: Ann]\n[:10.00]x",
         {{-1, "[1:xx]text"},
          {-1, "[99:99.99"},
          {-1, "[00:10.]no fraction"},
          {-1, "[Chorus]"},
          {-1, "[Verse 1: Ann]"},
          {-1, "[:10.00]x"}}},
        {"a stamp inside a line is text",
         "Hello [00:01.00] world",
         {{-1, "Hello [00:01.00] world"}}},
        {"stamps end at the first non-stamp", "[00:01.00][x]y", {{1000, "[x]y"}}},
        {"equal times keep their order",
         "[00:05.00]first\n[00:01.00]zero\n[00:05.00]second",
         {{1000, "zero"}, {5000, "first"}, {5000, "second"}}},
        {"byte order mark, blanks, instrumental gap",
         "\xEF\xBB\xBF  [00:01.5]  spaced text  \r\n[00:03.00]\r\n",
         {{1500, "spaced text"}, {3000, ""}}},
        {"files joined", "[00:01.00]a\n\xEF\xBB\xBF[00:02.00]b", {{1000, "a"}, {2000, "b"}}},
        {"empty", "", {}},
        // As other players and taggers write them, from their parsers' own test cases.
        {"offset before the stamps",
         "[offset:+102][00:00.17]first\n[00:01.00]b",
         {{68, "first"}, {898, "b"}}},
        {"word stamps", "[00:02.00]<00:02.50> spark <00:03.00> light", {{2000, "spark light"}}},
        {"word stamps inside a word", "[00:02.00]<00:02.50>Spa<00:02.70>rk", {{2000, "Spark"}}},
        {"stamp inside a timed line",
         "[00:05.000]hello [00:06.000] world",
         {{5000, "hello world"}}},
        {"hours", "[01:00:00.50]hour\n[1:03:56.66]more", {{3600500, "hour"}, {3836660, "more"}}},
        {"seconds alone", "[10.00]ten\n[52.78]late", {{10000, "ten"}, {52780, "late"}}},
        {"bare seconds after a stamp", "[03:48][35]text", {{35000, "text"}, {228000, "text"}}},
        {"bare seconds first are text", "[35]x", {{-1, "[35]x"}}},
        {"blanks inside a stamp", "[ 1 : 10 . 10 ]blanks", {{70100, "blanks"}}},
        {"any one-word tag",
         "[Encoding:iso-8859-15]\n[t_time:(2:57)]\n[attr1:]\n[#:x]\n[00:01.00]a",
         {{1000, "a"}}},
        {"no tag", "[12:3]x\n[ar:x] sung", {{723000, "x"}, {-1, "[ar:x] sung"}}},
        {"bad hour stamps",
         "[00:61:00.00]x\n[123:00:00.00]y",
         {{-1, "[00:61:00.00]x"}, {-1, "[123:00:00.00]y"}}},
    };
    for (const auto& c : cases) {
        const auto lyrics = LrcLyrics::parse(c.lrc);
        ASSERT_EQ(lyrics.lines().size(), c.lines.size()) << c.name;
        for (std::size_t i = 0; i < c.lines.size(); ++i) {
            const auto& line = lyrics.lines()[i];
            EXPECT_EQ(line.timeMs.value_or(-1), c.lines[i].ms) << c.name << " line " << i;
            EXPECT_EQ(line.text, c.lines[i].text) << c.name << " line " << i;
        }
        EXPECT_EQ(lyrics.lrcText(), c.lrc) << c.name;
    }
}

// Other readers' own cases. Where they part, the majority rules: lrc-kit and LrcParser take
// "[mm:ss:xx]" as hundredths (FFmpeg reads 10 s and drops them) and every stamp of a line
// however spaced (FFmpeg only the first); FFmpeg and lrc-kit read a fraction as decimals
// (LrcParser counts its digits as hundredths); lrc-kit and LrcParser take seconds past 60
// (FFmpeg stops at 60). "[-00:01.00]" is FFmpeg's; the others leave it as text.
TEST(LrcLyrics, ReadsStampsAsOtherReadersDo)
{
    const std::pair<std::string, std::vector<Expected>> cases[] = {
        // lrc-kit: tests/line-parser.test.ts, tests/fixtures.ts
        {"[1:10.10]hello", {{70100, "hello"}}},
        {"[1:10:10]hello", {{70100, "hello"}}},
        {"[ 1 : 10 . 10 ] hello ", {{70100, "hello"}}},
        {"[01:010.010] hello ", {{70010, "hello"}}},
        {" [1 : 00 ][ 2: 00] hello", {{60000, "hello"}, {120000, "hello"}}},
        {" [1:00 ]  [  2:00] [ 3:01 ]  hello",
         {{60000, "hello"}, {120000, "hello"}, {181000, "hello"}}},
        {"[ti: Song title]\n[ test : raidou ]\n[length: 2:50]", {}},
        {"invail line\n[00:09.010]i guess\ncopy line",
         {{-1, "invail line"}, {9010, "i guess"}, {-1, "copy line"}}},
        {"[00:02.000] <00:02.500> spark <00:03.000> light", {{2000, "spark light"}}},
        {"[00:10:16]a\n[01:00:00.50]b", {{10160, "a"}, {3600500, "b"}}},
        {"[00:21.10] [00:45.10]Repeating lyrics",
         {{21100, "Repeating lyrics"}, {45100, "Repeating lyrics"}}},
        // FFmpeg: libavformat/lrcdec.c (read_ts, the offset header)
        {"[-00:01.00]early", {{0, "early"}}},
        {"[offset:-1500]\n[-00:01.00]early", {{500, "early"}}},
        {"[00:60.00]a\n[00:59.999]b", {{59999, "b"}, {60000, "a"}}},
        {"[00:75.00]a", {{75000, "a"}}},
        {"[00:01.1234]a", {{1123, "a"}}},
        {"\xEF\xBB\xBF[offset:+100]\n[00:01.00]a", {{900, "a"}}},
        // Jellyfin: LrcLyricParserTests and its LrcParser's LrcStartTimeUtilsTest, LrcParserTest
        {"[00:17:97]\xE5\xB8\xB0", {{17970, "\xE5\xB8\xB0"}}},
        {"[1:00.00][1:02.00] Lyric\n[1:00.00]   Lyric",
         {{60000, "Lyric"}, {60000, "Lyric"}, {62000, "Lyric"}}},
        {"[100:00.00]a\n[0:0.0]b", {{0, "b"}, {6000000, "a"}}},
        {"<00:00.04> Lyric <00:00.16>\n[--:--.--]\n[]",
         {{-1, "<00:00.04> Lyric <00:00.16>"}, {-1, "[--:--.--]"}, {-1, "[]"}}},
        {"[00:00.00]text[999999999999:99.99]\n[00:00.00]<-1:00.00>x",
         {{0, "text[999999999999:99.99]"}, {0, "x"}}},
        {"[offset:-100]\r\n[00:01.00]<00:01.00>Hello<00:01.50>world\r\n[00:02.00]Next",
         {{1100, "Helloworld"}, {2100, "Next"}}},
    };
    for (const auto& [lrc, lines] : cases) {
        const auto lyrics = LrcLyrics::parse(lrc);
        ASSERT_EQ(lyrics.lines().size(), lines.size()) << lrc;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lyrics.lines()[i].timeMs.value_or(-1), lines[i].ms) << lrc << " line " << i;
            EXPECT_EQ(lyrics.lines()[i].text, lines[i].text) << lrc << " line " << i;
        }
    }
}

TEST(LrcLyrics, PlainTextAndOffset)
{
    const std::string lrc = "[ti:Song]\n[offset:-100]\nIntro\n[00:02.00]two\n[00:01.00]one\n";
    const auto lyrics = LrcLyrics::parse(lrc);
    EXPECT_EQ(lyrics.plainText(), "Intro\r\none\r\ntwo");
    EXPECT_EQ(lyrics.offsetMs(), -100);
    EXPECT_EQ(lyrics.lrcText(), lrc);
    EXPECT_EQ(LrcLyrics::parse("[00:01.00]\n[00:02.00]").plainText(), "\r\n");
}

TEST(LrcLyrics, LineAtPosition)
{
    struct Case
    {
        const char* lrc;
        long long positionMs;
        long long line; // -1: none
    };
    const char* plain = "Intro\n[00:10.00]a\n[00:20.00]b\n[00:20.00]c\n[00:40.00]d";
    const char* shifted = "[offset:500]\n[00:01.00][00:03.00]x\n[00:02.00]y";
    const Case cases[] = {
        {plain, -5, -1},          {plain, 0, -1},
        {plain, 9999, -1},        {plain, 10000, 1},
        {plain, 19999, 1},        {plain, 20000, 3}, // the later of equal times
        {plain, 39999, 3},        {plain, 40000, 4},
        {plain, 1000000000, 4},   {shifted, 499, -1},
        {shifted, 500, 0},        {shifted, 1500, 1},
        {shifted, 2600, 2},       {"just text\nmore", 0, -1},
        {"just text", 99999, -1}, {"", 0, -1},
    };
    for (const auto& c : cases) {
        const auto at = LrcLyrics::parse(c.lrc).lineAt(c.positionMs);
        EXPECT_EQ(at ? static_cast<long long>(*at) : -1, c.line) << c.lrc << " @ " << c.positionMs;
    }
}

TEST(LrcLyrics, LooksLikeLrcAndStamps)
{
    struct Case
    {
        const char* text;
        bool lrc;
    };
    const Case cases[] = {
        {"[00:01.00]x", true},
        {"text\n  [00:01]x", true},
        {"\xEF\xBB\xBF[00:01.00]x", true},
        {"[ar:x]\n[ti:y]\nplain", false},
        {"a [00:01.00] b", false},
        {"", false},
        {"[1:xx]\n[99:99.99", false},
        {"[Chorus]\nla la", false},
        {"[offset:+102][00:00.17]x", true},
        {"[52.78]late", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(looksLikeLrc(c.text), c.lrc) << c.text;

    // Written stamps read back to the time, down to hundredths.
    for (const long long ms : {0LL, 999LL, 61234LL, 3599990LL, 6000000LL}) {
        const auto lyrics = LrcLyrics::parse(lrcStamp(ms) + "x");
        ASSERT_EQ(lyrics.lines().size(), 1u) << lrcStamp(ms);
        EXPECT_EQ(lyrics.lines()[0].timeMs.value_or(-1), ms / 10 * 10) << lrcStamp(ms);
    }
    EXPECT_EQ(lrcStamp(61234), "[01:01.23]");
}

// One long line behind thousands of stamps costs memory in proportion to the file; a
// chorus behind a few stamps is copied for each.
TEST(LrcLyrics, StampFanOutStaysLinear)
{
    struct Case
    {
        std::size_t stamps, lineBytes;
        std::size_t copies; // lines made; 0: as many as the budget allows, more than one
    };
    const Case cases[] = {
        {3, 40, 3},
        {10000, 1, 10000},
        {10000, 100 * 1024, 0},
    };
    for (const auto& c : cases) {
        std::string lrc;
        for (std::size_t i = 0; i < c.stamps; ++i)
            lrc += "[" + std::to_string(10 + i / 60 % 90) + ":" + std::to_string(10 + i % 50) + "]";
        lrc += std::string(c.lineBytes, 'a') + "\n";
        const auto lyrics = LrcLyrics::parse(lrc);
        std::size_t textBytes = 0;
        for (const auto& line : lyrics.lines())
            textBytes += line.text.size();
        if (c.copies)
            EXPECT_EQ(lyrics.lines().size(), c.copies) << c.stamps << " stamps";
        else
            EXPECT_GT(lyrics.lines().size(), 1u);
        EXPECT_LE(textBytes, 3 * lrc.size() + 1024 * 1024) << c.stamps << " stamps";
        EXPECT_EQ(lyrics.lines().front().timeMs, 10 * 60000 + 10000);
    }
}

// A shift is saved as the file's offset; the stamps and everything else stay as written.
TEST(LrcLyrics, OffsetIsWrittenAndReadBack)
{
    const struct
    {
        const char* lrc;
        std::int64_t offset;
        const char* written;
    } cases[] = {
        {"[00:01.00]a\r\n[00:02.00]b\r\n", 300, "[offset:+300]\r\n[00:01.00]a\r\n[00:02.00]b\r\n"},
        {"[ar:X]\n[offset:+100]\n[00:01.00]a", -200, "[offset:-200]\n[ar:X]\n[00:01.00]a"},
        {"[offset:+102][00:00.17]first\n", 0, "[00:00.17]first\n"},
        {"\xEF\xBB\xBF[Offset: 5][ti:T]\n[00:01.00]a", 1200,
         "\xEF\xBB\xBF[offset:+1200]\n[ti:T]\n[00:01.00]a"},
        {"[Verse: Ann] [offset:5] sung\n", 100, "[offset:+100]\n[Verse: Ann] [offset:5] sung\n"},
    };
    for (const auto& c : cases) {
        const std::string written = lrcWithOffset(c.lrc, c.offset);
        EXPECT_EQ(written, c.written) << c.lrc;
        EXPECT_EQ(LrcLyrics::parse(written).offsetMs(), c.offset) << c.lrc;
    }
    EXPECT_EQ(shiftWords(300), "Lyrics 0.3 s earlier");
    EXPECT_EQ(shiftWords(-1200), "Lyrics 1.2 s later");
    EXPECT_EQ(shiftWords(0), "");
}

// A drift key moves the parsed lines in place: what it shows is what the saved text reads
// back as, and the offset stays within what the reader takes.
TEST(LrcLyrics, SetOffsetMovesTheLinesAsTheSavedTextReadsBack)
{
    const struct
    {
        const char* lrc;
        std::int64_t move, offset;
    } cases[] = {
        {"[00:01.00]a\n[00:00.50]b <00:00.70>c", 600, 600},
        {"[offset:+700]\n[00:00.50]b\n[00:01.00]a <00:01.20>x", -700, 0}, // back from 0
        {"[offset:+999999999]\n[00:01.00]a", 100, 999'999'999},
        {"[offset:-999999950]\n[00:01.00]a", -100, -999'999'999},
    };
    for (const auto& c : cases) {
        auto lyrics = LrcLyrics::parse(c.lrc);
        const LrcLine* lines = lyrics.lines().data();
        EXPECT_EQ(lyrics.setOffset(lyrics.offsetMs() + c.move), c.offset) << c.lrc;
        EXPECT_EQ(lyrics.lines().data(), lines) << c.lrc; // not parsed again
        const auto saved = LrcLyrics::parse(lyrics.lrcText());
        EXPECT_EQ(saved.offsetMs(), c.offset) << lyrics.lrcText();
        EXPECT_EQ(saved.plainText(), lyrics.plainText()) << c.lrc;
        for (std::int64_t ms = 0; ms < 2'000; ms += 50) { // the same line and word are sung
            const std::size_t at = lyrics.lineAt(ms).value_or(SIZE_MAX); // none: no word either
            EXPECT_EQ(saved.lineAt(ms).value_or(SIZE_MAX), at) << c.lrc << " at " << ms;
            EXPECT_EQ(saved.wordAt(at, ms), lyrics.wordAt(at, ms)) << c.lrc << " at " << ms;
        }
    }
}

// Enhanced LRC: each word knows when it is sung and where it stands in the shown line.
TEST(LrcLyrics, WordStampsGiveTheSungWord)
{
    const struct
    {
        const char* lrc;
        std::vector<std::string> words; // as the ranges cut them from the shown text
    } cases[] = {
        {"[00:02.00]<00:02.50> spark <00:03.00> light", {"spark", "light"}},
        {"[00:02.00]<00:02.50>Spa<00:02.70>rk <00:03.00>on", {"Spa", "rk", "on"}},
        {"[00:02.00]a <00:02.50>b<00:02.40> c <00:03.00>", {"b"}}, // out of order, empty: dropped
        {"[00:02.00]plain line", {}},
        {"[00:02.00]a [00:03.00] <00:04.00>b", {"b"}},          // the blank stays before the word
        {"[00:02.00]<00:02.50><00:02.60>  <00:03.00>x", {"x"}}, // empty ones at the front
    };
    for (const auto& c : cases) {
        const auto lyrics = LrcLyrics::parse(c.lrc);
        const LrcLine& line = lyrics.lines().at(0);
        std::vector<std::string> cut;
        for (const LrcWord& w : line.words)
            cut.push_back(line.text.substr(w.begin, w.end - w.begin));
        EXPECT_EQ(cut, c.words) << c.lrc;
    }
    const auto lyrics =
        LrcLyrics::parse("[offset:+500]\n[00:02.00]<00:02.50> spark <00:03.00> light");
    EXPECT_EQ(lyrics.wordAt(0, 1'999), std::nullopt);
    EXPECT_EQ(lyrics.wordAt(0, 2'000), 0u); // 2.5 s less the offset
    EXPECT_EQ(lyrics.wordAt(0, 2'600), 1u);
    EXPECT_EQ(lyrics.wordAt(5, 2'600), std::nullopt);
}

// Published: the lines as the window shows them (offset applied), no tags or word stamps.
TEST(LrcLyrics, PublishedAsTheWindowShowsThem)
{
    const std::tuple<const char*, std::int64_t, const char*, const char*> cases[] = {
        {"[ar:Band]\n[ti:Song]\n[al:Album]\n[length:03:00]\n[00:01.00]First\n[00:05.00]Second", 0,
         "[00:01.00]First\n[00:05.00]Second", "First\nSecond"},
        {"[offset:+200]\n[00:01.00]a\n[00:02.00]b", 0, "[00:00.80]a\n[00:01.80]b", "a\nb"},
        {"[offset:-5]\n[00:01.00]a", 0, "[00:01.005]a", "a"}, {"[offset:+2000]\n[00:01.00]e", 0, "[00:00.00]e", "e"},
        {"[00:01.00]<00:01.00>Word <00:01.50>by <00:02.00>word", 0, "[00:01.00]Word by word", "Word by word"},
        {"[00:21.10][00:45.10]Again\n[00:30.00]Mid", 0, "[00:21.10]Again\n[00:30.00]Mid\n[00:45.10]Again",
         "Again\nMid\nAgain"},
        {"[00:01.00]One\nUntimed\n[00:02.00]Two", 0, "[00:01.00]One\n[00:02.00]Two", "One\nUntimed\nTwo"},
        {"[ar:Band]\n[00:01.00]a\r\n[01:02.50]b", -250, "[00:01.25]a\n[01:02.75]b", "a\nb"}, // the window's shift
    };
    for (const auto& [lrc, offset, synced, plain] : cases) {
        LrcLyrics shown = LrcLyrics::parse(lrc);
        if (offset != 0) shown.setOffset(offset);
        const PublishedLyrics sent = publishedLyrics(shown);
        EXPECT_EQ(sent.synced + "|" + sent.plain, std::string(synced) + "|" + plain) << lrc;
        std::vector<std::int64_t> times, back; // read back, each line shows when the window shows it
        for (const LrcLine& line : shown.lines()) if (line.timeMs) times.push_back(*line.timeMs < 0 ? 0 : *line.timeMs);
        for (const LrcLyrics read = LrcLyrics::parse(sent.synced); const LrcLine& line : read.lines()) back.push_back(line.timeMs.value_or(-1));
        EXPECT_EQ(back, times) << lrc;
    }
}
