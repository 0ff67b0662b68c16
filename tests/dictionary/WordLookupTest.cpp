// The word at the caret, the query it becomes and the host it goes to.

#include "dictionary/WordLookup.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace larkspur;

TEST(WordLookup, WordAtCaretCountsAsciiLettersInBytes)
{
    struct Case
    {
        std::string text;
        std::size_t caret; // bytes before the caret
        std::string word;
    };
    const std::string song = "so wonderful\r\nMädchen don't x-ray 4you";
    const std::size_t afterMaedchen = song.find(" don't");
    const Case cases[] = {
        {song, 4, "wonderful"},  // inside, after its first letter
        {song, 8, "wonderful"},  // in the middle
        {song, 12, "wonderful"}, // right after its last letter, before the line break
        {song, 3, ""},           // right before it, after a blank
        {song, 13, ""},          // between CR and LF
        {song, 14, ""},          // at the start of the next line
        {song, 15, "M"},         // the umlaut's bytes end the run
        {song, afterMaedchen, "dchen"},
        {song, song.find("'t") + 2, "t"},  // the apostrophe ends a word
        {song, song.find("-ray"), "x"},    // so does a hyphen
        {song, song.size(), "you"},        // last word, no line break after it
        {song, song.size() + 5, "you"},    // a caret past the end counts as at the end
        {song, song.find("4you") + 1, ""}, // digits are no letters
        {"wonderful", 9, "wonderful"},
        {"wonderful", 0, ""}, // caret at the start
        {"", 0, ""},
        {"Größe", 7, "e"}, // ö and ß are two bytes each
    };
    for (const auto& c : cases)
        EXPECT_EQ(wordAtCaret(c.text, c.caret), c.word) << c.text << " @" << c.caret;
}

TEST(WordLookup, QueryKeepsLettersAndEscapesWhatWouldBreakIt)
{
    struct Case
    {
        std::string word;
        std::string query;
    };
    const Case cases[] = {
        {"wonderful", "wonderful"},
        {"dog ", "dog%20"},
        {"rock & roll", "rock%20%26%20roll"},
        {"C#", "C%23"},
        {"50%", "50%25"},
        {"a+b", "a%2Bb"},
        {"line\r\nbreak\ttab\x7F", "line%0D%0Abreak%09tab%7F"},
        {"Größe", "Größe"},               // the browser escapes these bytes itself
        {"don't-stop?=", "don't-stop?="}, // nothing else changes the query's meaning
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(encodeDictionaryWord(c.word), c.query) << c.word;

    EXPECT_EQ(dictionaryUrl("http://h:1", "a b"),
              "http://h:1/?search=a%20b&searchLoc=0&relink=on&spellToler=std&sectHdr=on"
              "&tableBorder=1&cmpType=relaxed&lang=de");
}

TEST(WordLookup, HostIsBuiltInUnlessTheEnvironmentNamesOne)
{
    ::unsetenv("LARKSPUR_DICTIONARY_URL");
    const std::string builtIn = dictionaryHost();
    EXPECT_EQ(builtIn.rfind("http://", 0), 0u) << builtIn;
    EXPECT_NE(builtIn.back(), '/');
    ::setenv("LARKSPUR_DICTIONARY_URL", "http://127.0.0.1:8081//", 1);
    EXPECT_EQ(dictionaryHost(), "http://127.0.0.1:8081");
    ::setenv("LARKSPUR_DICTIONARY_URL", "", 1);
    EXPECT_EQ(dictionaryHost(), builtIn);
    ::unsetenv("LARKSPUR_DICTIONARY_URL");
}
