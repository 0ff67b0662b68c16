// Find and replace on plain texts: the searches, Replace All and the line-break positions.

#include "lyrics/FindReplace.h"

#include <gtest/gtest.h>

using namespace larkspur;

namespace {

QString q(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

enum class Op { Find, ReplaceAll };

struct Case
{
    const char* what;
    Op op;
    const char* text;
    const char* find; // as typed, escape codes and all
    FindOptions options;
    qsizetype selStart = 0, selLength = 0; // Find only
    qsizetype hit = -1;                    // Find: where, -1 for none
    const char* replacement = "";          // Replace All: typed, codes in both cases
    const char* replaced = "";             // Replace All: the text after
    qsizetype count = 0;
};

constexpr FindOptions kDown{true, false, false};
constexpr FindOptions kUp{false, false, false};
constexpr FindOptions kCase{true, true, false};
constexpr FindOptions kWord{true, false, true};
constexpr FindOptions kUpWord{false, false, true};

const Case kCases[] = {
    {"case ignored: Cat", Op::Find, "a Cat", "cat", kDown, 0, 0, 2},
    {"case ignored: CAT", Op::Find, "a CAT", "cat", kDown, 0, 0, 2},
    {"only a-z fold: ä is not Ä", Op::Find, "Ä", "ä", kDown, 0, 0, -1},
    {"match case skips Cat", Op::Find, "Cat cat", "cat", kCase, 0, 0, 4},
    {"whole word from the start", Op::Find, "concat cat cats", "cat", kWord, 0, 0, 7},
    {"whole word after the middle hit", Op::Find, "concat cat cats", "cat", kWord, 7, 3, -1},
    {"whole word, caret inside a word", Op::Find, "concat cat", "cat", kWord, 3, 0, 7},
    {"upward ignores whole word", Op::Find, "concat cat cats", "cat", kUpWord, 7, 0, 3},
    {"upward: hit must end before the selection", Op::Find, "abab", "ab", kUp, 3, 1, 0},
    {"upward from inside the first hit", Op::Find, "abab", "ab", kUp, 1, 0, -1},
    {"downward starts behind the selection", Op::Find, "abab", "ab", kDown, 0, 2, 2},
    {"^p is a line break", Op::Find, "a\r\nb", "^p", kDown, 0, 0, 1},
    {"^P too", Op::Find, "a\r\nb", "^P", kCase, 0, 0, 1},
    {"^a is the CR alone", Op::Find, "a\r\nb", "a^A", kDown, 0, 0, 0},
    {"^t is a tab", Op::Find, "xa\tb", "a^tb", kDown, 0, 0, 1},
    {"^^pp: the scan goes on behind a code", Op::Find, "^\r\np", "^^pp", kDown, 0, 0, 0},
    {"empty find text", Op::Find, "abc", "", kDown, 0, 0, -1},
    {"find text longer than the text", Op::Find, "ab", "abc", kDown, 0, 0, -1},
    {"underscore is no word character", Op::Find, "_cat_", "cat", kWord, 0, 0, 1},
    {"é is no word character", Op::Find, "écat", "cat", kWord, 0, 0, 1},
    {"ß is a word character", Op::Find, "ßcat cat", "cat", kWord, 0, 0, 5},
    {"the end of the text ends a word", Op::Find, "cats cat", "cat", kWord, 0, 0, 5},

    {"ab by xa in abb", Op::ReplaceAll, "abb", "ab", kDown, 0, 0, -1, "xa", "xab", 1},
    {"replacement holds the find text", Op::ReplaceAll, "aaa", "a", kDown, 0, 0, -1, "aa", "aaaaaa",
     3},
    {"deleting", Op::ReplaceAll, "a-b-c", "-", kDown, 0, 0, -1, "", "abc", 2},
    {"^P in the replacement is a break", Op::ReplaceAll, "a b", " ", kDown, 0, 0, -1, "^P",
     "a\r\nb", 1},
    {"line breaks by blanks", Op::ReplaceAll, "a\r\nb\r\nc", "^p", kDown, 0, 0, -1, " ", "a b c",
     2},
    {"whole word in Replace All", Op::ReplaceAll, "cat concat cat", "CAT", kWord, 0, 0, -1, "dog",
     "dog concat dog", 2},
    {"whole word sees the text as replaced", Op::ReplaceAll, "----", "--", kWord, 0, 0, -1, "b",
     "b--", 1},
    {"a replacement ending in a blank frees the next", Op::ReplaceAll, "-a-a", "-a", kWord, 0, 0,
     -1, "- ", "- - ", 2},
    {"nothing found leaves the count 0", Op::ReplaceAll, "abc", "x", kDown, 0, 0, -1, "y", "", 0},
    {"match case in Replace All", Op::ReplaceAll, "Ab ab", "ab", kCase, 0, 0, -1, "x", "Ab x", 1},
    {"umlauts are single characters", Op::ReplaceAll, "äää", "ä", kCase, 0, 0, -1, "ö", "ööö", 3},
};

} // namespace

TEST(FindReplace, EdgeCasesOfFindAndReplaceAll)
{
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        const QString text = q(c.text);
        const QString find = PrepareFindText(q(c.find), c.options.matchCase);
        if (c.op == Op::Find) {
            EXPECT_EQ(FindNext(text, find, c.selStart, c.selLength, c.options), c.hit);
        } else {
            const auto r =
                ReplaceAll(text, find, ExpandEscapeCodes(q(c.replacement), true), c.options);
            EXPECT_EQ(r.count, c.count);
            EXPECT_EQ(r.text, q(c.replaced));
        }
    }
}

TEST(FindReplace, ReplaceAllInASelectionTakesItsEdgesAsTheTextsEnds)
{
    const QString text = q("concat cats");
    const QString find = PrepareFindText(u"cat", false);
    // The selection "cat" of "concat", and "cat" of "cats".
    EXPECT_EQ(ReplaceAll(QStringView(text).mid(3, 3), find, u"dog", kWord).count, 1);
    EXPECT_EQ(ReplaceAll(QStringView(text).mid(7, 3), find, u"dog", kWord).count, 1);
    EXPECT_EQ(ReplaceAll(QStringView(text).mid(7, 4), find, u"dog", kWord).count, 0);
}

TEST(FindReplace, EscapeCodesInTheReplaceTextOfReplaceAreSmallOnly)
{
    EXPECT_EQ(ExpandEscapeCodes(u"^P^T^A", false), q("^P^T^A"));
    EXPECT_EQ(ExpandEscapeCodes(u"^p^t^a^x^", false), q("\r\n\t\r^x^"));
    EXPECT_EQ(ExpandEscapeCodes(u"^P^T^A", true), q("\r\n\t\r"));
}

TEST(FindReplace, WordCharacters)
{
    for (QChar c : q("09AZaz\u00e4\u00f6\u00fc\u00c4\u00d6\u00dc\u00df"))
        EXPECT_TRUE(IsWordChar(c)) << int(c.unicode());
    for (QChar c : q("/:@[`{_ \t\u00e9\u00c9\u00e0\u1e9e"))
        EXPECT_FALSE(IsWordChar(c)) << int(c.unicode());
}

TEST(FindReplace, LineBreakPositionsMapOntoTheEditorsText)
{
    // Editor: "ä" "b" break "c" break break "d": one character per break.
    const CrLfText t(q("\u00e4b\u2029c\u2029\u2028d"));
    EXPECT_EQ(t.text(), q("\u00e4b\r\nc\r\n\r\nd"));
    struct Pos
    {
        qsizetype editor, crlf;
    };
    for (const Pos p : {Pos{0, 0}, {2, 2}, {3, 4}, {4, 5}, {5, 7}, {6, 9}, {7, 10}}) {
        EXPECT_EQ(t.fromEditor(p.editor), p.crlf) << p.editor;
        EXPECT_EQ(t.toEditorStart(p.crlf), p.editor) << p.crlf;
        EXPECT_EQ(t.toEditorEnd(p.crlf), p.editor) << p.crlf;
    }
    // Between CR and LF: before the break for a start, behind it for an end.
    EXPECT_TRUE(t.insideBreak(3));
    EXPECT_EQ(t.toEditorStart(3), 2);
    EXPECT_EQ(t.toEditorEnd(3), 3);
    EXPECT_EQ(t.toEditorStart(8), 5);
    EXPECT_EQ(t.toEditorEnd(8), 6);
    EXPECT_FALSE(t.insideBreak(4));

    EXPECT_EQ(CrLfText::toEditorText(u"a\r\nb\rc\nd\r"), q("a\nb\nc\nd\n"));
}
