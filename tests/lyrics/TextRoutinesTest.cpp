#include "lyrics/TextRoutines.h"

#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

using namespace larkspur;

namespace {

struct Case
{
    std::string text, a, b, expected;
};

// The plain loop: find the first match from the very start, replace, start over.
std::string rescanningReplace(std::string text, const std::string& pattern,
                              const std::string& replacement)
{
    if (pattern.empty() || pattern.size() > text.size()) return text;
    const std::string folded = FoldAsciiLowercase(pattern);
    for (;;) {
        const std::size_t at = FoldAsciiLowercase(text).find(folded);
        if (at == std::string::npos) return text;
        text.replace(at, pattern.size(), replacement);
    }
}

// The plain loop for replacements that are not searched again: the search goes on after
// each inserted replacement.
std::string onceEachReplace(std::string text, const std::string& pattern,
                            const std::string& replacement)
{
    if (pattern.empty() || pattern.size() > text.size()) return text;
    const std::string folded = FoldAsciiLowercase(pattern);
    for (std::size_t from = 0;;) {
        const std::size_t at = FoldAsciiLowercase(text).find(folded, from);
        if (at == std::string::npos) return text;
        text.replace(at, pattern.size(), replacement);
        from = at + replacement.size();
    }
}

} // namespace

TEST(FoldAndTrim, TouchOnlyAsciiLettersAndLowBytes)
{
    EXPECT_EQ(FoldAsciiLowercase("ÄbC-Ü z"), "Äbc-Ü z");
    EXPECT_EQ(TrimControls("\x01 \t a b\x7f\xC3\xA4 \r\n"), "a b\x7f\xC3\xA4");
    EXPECT_EQ(TrimControls(" \t\r\n"), "");
    EXPECT_EQ(TrimControls(""), "");
}

TEST(ReplaceAllNoCase, Table)
{
    const std::vector<Case> cases = {
        {"A&B", "&", " and ", "A and B"},
        {"x   y", "  ", " ", "x y"},
        {"x      y", "  ", " ", "x y"},
        {"aaa", "aa", "a", "a"},
        {"aAaA", "aa", "b", "bb"},
        {"HeLLo", "he", "j", "jLLo"}, // first position, any case
        {"xyZ", "z", "!", "xy!"},     // last position
        {"aabb", "ab", "", ""},       // each removal joins the next match
        {"a - - - b", "- -", "-", "a - b"},
        {"", "a", "b", ""},
        {"abc", "", "x", "abc"}, // empty pattern
        {"ab", "abc", "", "ab"}, // pattern longer than the text
        {"abc", "x", "y", "abc"},
        {"ÄRGER ärger", "ärger", "x", "ÄRGER x"}, // umlauts are not folded
        {"ÄRGER ärger", "Ä", "Ae", "AeRGER ärger"},
        // A replacement containing the pattern is applied once per original occurrence.
        {"a-b-c", "-", "--", "a--b--c"},
        {"Ab", "a", "xA", "xAb"},
        {"abAB", "ab", "xaby", "xabyxaby"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReplaceAllNoCase(c.text, c.a, c.b), c.expected)
            << '"' << c.text << "\" '" << c.a << "' -> '" << c.b << "'";
}

TEST(ReplaceAllNoCase, ReplacementsAtLeastAsLongAsThePatternAreNotSearchedAgain)
{
    // Each replacement joins its neighbours into a new occurrence, on its left ("a" + "b..."),
    // on its right ("...a" + "b") or on both sides; a rescan would go on for ever (or, for
    // "ba", end only after sorting the whole text).
    const std::vector<Case> cases = {
        {"aab", "ab", "bbaa", "abbaa"},   // left
        {"abb", "ab", "xa", "xab"},       // right
        {"aabb", "ab", "ba", "abab"},     // both, same length
        {"aAbB", "ab", "bXya", "abXyaB"}, // both, letter case ignored
        {"abab", "ab", "bba", "bbabba"},  // two replacements join
        {"bba", "ba", "ab", "bab"},
        {"xaby", "ab", "abab", "xababy"}, // holds the pattern twice
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReplaceAllNoCase(c.text, c.a, c.b), c.expected)
            << '"' << c.text << "\" '" << c.a << "' -> '" << c.b << "'";

    // Long texts: every original occurrence replaced exactly once.
    std::string text, expected;
    for (int i = 0; i < 100000; ++i) {
        text += "aab";
        expected += "abbaa";
    }
    EXPECT_EQ(ReplaceAllNoCase(text, "ab", "bbaa"), expected);
}

TEST(ReplaceAllNoCase, MatchesThePlainLoopsOnRandomTexts)
{
    struct Rule
    {
        std::string pattern, replacement;
    };
    const std::vector<Rule> rules = {{"aa", "a"},   {"ab", ""},   {"  ", " "},    {"a b", "b"},
                                     {"aba", "b"},  {"ba", "ab"}, {"- -", "-"},   {"bA", "Bb-"},
                                     {"aab", "ba"}, {"b", ""},    {"ab", "bbaa"}, {"ab", "ba"}};
    const std::string alphabet = "aAbB -";
    std::mt19937 random(20261207);
    for (int round = 0; round < 3000; ++round) {
        std::string text(random() % 24, ' ');
        for (char& c : text)
            c = alphabet[random() % alphabet.size()];
        const Rule& rule = rules[random() % rules.size()];
        // Only a replacement shorter than the pattern is searched again.
        const std::string expected = rule.replacement.size() < rule.pattern.size()
                                         ? rescanningReplace(text, rule.pattern, rule.replacement)
                                         : onceEachReplace(text, rule.pattern, rule.replacement);
        ASSERT_EQ(ReplaceAllNoCase(text, rule.pattern, rule.replacement), expected)
            << '"' << text << "\" '" << rule.pattern << "' -> '" << rule.replacement << "'";
    }
}

TEST(RemoveAllNoCase, Table)
{
    const std::vector<Case> cases = {
        {"Song.MP3", ".mp3", "", "Song"},
        {"a**b*", "*", "", "ab"},
        {"x.mp.mp33", ".MP3", "", "x"}, // the removal joins a new ".mp3"
        {"", "*", "", ""},
        {"mp3", ".mp3", "", "mp3"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RemoveAllNoCase(c.text, c.a), c.expected) << c.text;
}

TEST(RemoveMarkedRanges, Table)
{
    const std::vector<Case> cases = {
        {"title (live) [remix]", "(", ")", "title  [remix]"},
        {"title [live] [remix]", "[", "]", "title  "},
        {"title (live", "(", ")", "title (live"},
        {"title live)", "(", ")", "title live)"},
        {"a) b (c", "(", ")", "ac"}, // a closing bracket first pairs just the same
        {"((x))", "(", ")", ")"},    // first opening to first closing
        {"(x)", "(", ")", ""},
        {"(a)(b)c(", "(", ")", "c("},
        {"a{b}c{d", "{", "}", "ac{d"},
        {"", "(", ")", ""},
        {"a(b)c", "", ")", "a(b)c"},    // an empty marker never matches
        {"a|b|c|", "|", "|", "abc"},    // same marker: one byte per pass
        {"a<<x>>b", "<<", ">>", "a>b"}, // longer markers keep the rest of the later one
    };
    for (const Case& c : cases)
        EXPECT_EQ(RemoveMarkedRanges(c.text, c.a, c.b), c.expected) << c.text;
}

TEST(StripTrackNumbers, Table)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"07 artist - song 2", "artist - song"},
        {"u2 - one", "u2 - one"},
        {"the b52s", "the b52s"},
        {"2pac - song", "pac - song"}, // leading digits always go
        {"a 12 b 34", "a  b 34"},      // only the first run counts
        {"01 - 03 song", "-  song"},
        {"song mp3", "song mp3"},
        {"song 3x", "song 3x"},
        {"123", ""},
        {"", ""},
        {"\t07\r\n", ""},
        {"\xC3\xA4"
         "12",
         "\xC3\xA4"}, // an umlaut is not a letter
        {"song", "song"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(StripTrackNumbers(text), expected) << '"' << text << '"';
}

TEST(TrimSplitterChar, Table)
{
    const std::vector<Case> cases = {
        {"-", "-", "", ""},
        {"- a -", "-", "", "a"},
        {"--a--", "-", "", "-a-"}, // at most one at each end
        {" -a- ", "-", "", "-a-"}, // the blanks stand at the ends
        {"-\t", "-", "", ""},
        {"", "-", "", ""},
        {"a", "-", "", "a"},
        {"\xC2\xB7"
         "a\xC2\xB7",
         "\xC2\xB7", "", "a"}, // a two-byte splitter (middle dot)
        {" a- ", "", "", "a-"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TrimSplitterChar(c.text, c.a), c.expected) << c.text;
}

TEST(FindSplitterPos, Table)
{
    const std::vector<std::tuple<std::string, std::string, std::ptrdiff_t>> cases = {
        {"-", "abc", -1},
        {"-", "a - b", 3},
        {"-", "jay-z - song", 7},
        {"-", "a-b-c", 4}, // only one occurrence is skipped
        {"-", "a--b", 3},
        {"-", "a-b", 2}, // glued, but no second one
        {"-", "a- b-c", 2},
        {"-", "-", 1},
        {"-", "a-", 2},
        {"-", "", -1},
        {"", "a-b", -1},
        {"\xC2\xB7",
         "a\xC2\xB7"
         "b \xC2\xB7 c",
         6}, // byte positions, needle as one unit
    };
    for (const auto& [needle, text, expected] : cases)
        EXPECT_EQ(FindSplitterPos(needle, text), expected) << '"' << text << '"';
}

TEST(CutBetween, Table)
{
    const std::string heading = "ENGLISCH DEUTSCH", legend = "Legende";
    const std::vector<Case> cases = {
        {"xx ENGLISCH DEUTSCH a b Legende yy", heading, legend, "ENGLISCH DEUTSCH a b "},
        {"xx ENGLISCH DEUTSCH a b", heading, legend, "ENGLISCH DEUTSCH a b"},
        {"a b Legende", heading, legend, "a b "},
        {"Legende x ENGLISCH DEUTSCH y", heading, legend, ""}, // end marker before the start
        {"english deutsch a legende", heading, legend, "english deutsch a legende"},
        {"ABA", "AB", "A", ""}, // end marker at the start
        {"", heading, legend, ""},
        {"abc", "", "", "abc"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CutBetween(c.text, c.a, c.b), c.expected) << c.text;
}
