// Letter case changes of text-transform on UTF-8 text.

#include "web/TextTransform.h"

#include <gtest/gtest.h>

using larkspur::appendTransformed;
using larkspur::endsInWord;
using larkspur::TextTransformKind;

namespace {

std::string transformed(std::string_view text, TextTransformKind kind)
{
    std::string out;
    bool wordStart = true;
    appendTransformed(out, text, kind, wordStart);
    return out;
}

} // namespace

TEST(TextTransform, UpperAndLowerCase)
{
    struct Case
    {
        TextTransformKind kind;
        const char* text;
        const char* expected;
    };
    const auto up = TextTransformKind::Uppercase;
    const auto low = TextTransformKind::Lowercase;
    const Case cases[] = {
        {up, "abc xyz 123 !?", "ABC XYZ 123 !?"},
        {up, "\xC3\xA4\xC3\xB6\xC3\xBC \xC3\xA9\xC3\xA0\xC3\xA7\xC3\xBE \xC3\xBF",
         "\xC3\x84\xC3\x96\xC3\x9C \xC3\x89\xC3\x80\xC3\x87\xC3\x9E \xC5\xB8"},
        {up,
         "Stra\xC3\x9F"
         "e",
         "STRASSE"},
        {up, "\xC3\x97\xC3\xB7 \xC2\xB5", "\xC3\x97\xC3\xB7 \xCE\x9C"}, // × ÷ stay, µ is Greek
        {up,
         "\xC5\x82\xC3\xB3" // łódź żółć
         "d\xC5\xBA \xC5\xBC\xC3\xB3\xC5\x82\xC4\x87",
         "\xC5\x81\xC3\x93"
         "D\xC5\xB9 \xC5\xBB\xC3\x93\xC5\x81\xC4\x86"},
        {up, "\xD0\xBF\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xD1\x91", // привет ё
         "\xD0\x9F\xD0\xA0\xD0\x98\xD0\x92\xD0\x95\xD0\xA2 \xD0\x81"},
        {up, "\xCE\xB1\xCE\xB2\xCF\x82 \xCE\xAC", "\xCE\x91\xCE\x92\xCE\xA3 \xCE\x86"}, // αβς ά
        {up, "\xE4\xB8\xAD a", "\xE4\xB8\xAD A"},                                       // 中 a
        {up,
         "a\xFF"
         "b\xC3",
         "A\xFF"
         "B\xC3"}, // broken bytes pass through
        {low, "ABC Xyz", "abc xyz"},
        {low, "\xC3\x84\xC3\x96\xC3\x9C \xC3\x89T\xC3\x89 \xC5\xB8 \xC3\x97",
         "\xC3\xA4\xC3\xB6\xC3\xBC \xC3\xA9t\xC3\xA9 \xC3\xBF \xC3\x97"},
        {low,
         "\xC5\x81\xC3\x93" // ŁÓDŹ
         "D\xC5\xB9",
         "\xC5\x82\xC3\xB3"
         "d\xC5\xBA"},
        {low, "\xE1\xBA\x9E \xC4\xB0", "\xC3\x9F i\xCC\x87"}, // ẞ İ
        {TextTransformKind::None,
         "\xC3\x84"
         "bC",
         "\xC3\x84"
         "bC"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(transformed(c.text, c.kind), c.expected) << c.text;
}

TEST(TextTransform, CapitalizeChangesTheFirstLetterOfEachWord)
{
    struct Case
    {
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {"hello big world", "Hello Big World"},
        {"mIxEd cAsE", "MIxEd CAsE"}, // the other letters stay as they are
        {"don't stop", "Don't Stop"},
        {"don\xE2\x80\x99t", "Don\xE2\x80\x99t"},
        {"rock-n-roll", "Rock-N-Roll"},
        {"(live) version", "(Live) Version"},
        {"\xC2\xABoui\xC2\xBB", "\xC2\xABOui\xC2\xBB"},
        {"3am song", "3am Song"},
        {"\xC3\xA9lan \xC3\xBC"
         "ber",
         "\xC3\x89lan \xC3\x9C"
         "ber"},
        {"\xC3\x9F"
         "a",
         "Ssa"},
        {"a\xC2\xA0"
         "b",
         "A\xC2\xA0"
         "B"}, // a no-break space parts words
    };
    for (const Case& c : cases)
        EXPECT_EQ(transformed(c.text, TextTransformKind::Capitalize), c.expected) << c.text;
}

TEST(TextTransform, WordStateCarriesAcrossRuns)
{
    std::string out;
    bool wordStart = true;
    appendTransformed(out, "hel", TextTransformKind::Capitalize, wordStart);
    EXPECT_FALSE(wordStart);
    appendTransformed(out, "lo wor", TextTransformKind::Capitalize, wordStart);
    appendTransformed(out, "ld", TextTransformKind::Capitalize, wordStart);
    EXPECT_EQ(out, "Hello World");

    // An untransformed run still tells where its last word ends.
    out.clear();
    wordStart = true;
    appendTransformed(out, "foo", TextTransformKind::None, wordStart);
    appendTransformed(out, "bar", TextTransformKind::Capitalize, wordStart);
    appendTransformed(out, "(", TextTransformKind::None, wordStart);
    appendTransformed(out, "baz", TextTransformKind::Capitalize, wordStart);
    EXPECT_EQ(out, "foobar(Baz");

    struct Case
    {
        const char* text;
        bool inWord;
    };
    const Case ends[] = {
        {"", false},        {"abc", true},       {"abc ", false},          {"don'", true},
        {"\xC3\xA9", true}, {"\xC2\xBB", false}, {"x\xE2\x80\x94", false}, {"\xE4\xB8\xAD", true}};
    for (const Case& c : ends)
        EXPECT_EQ(endsInWord(c.text), c.inWord) << c.text;
}
