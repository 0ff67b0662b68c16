#pragma once
// Text for the lyrics and translation memos. The text box lays out a line in time that grows
// with the square of its longest word, so a page that renders to one huge line would freeze
// the window for minutes; lyrics never come near these bounds.
#include <QString>
#include <string_view>

namespace larkspur {

constexpr qsizetype kMemoMaxChars = 512 * 1024;
constexpr qsizetype kMemoMaxLineChars = 4096;

// What a memo shows of a text.
struct MemoText
{
    QString shown;
    // False when a line was shortened or the end left out: the memo does not hold the text,
    // so what it shows must not be saved in its place.
    bool whole = true;
};

// UTF-8 text with CR LF or LF line ends, as the memo shows it: LF line ends, each line of
// the text one line of the memo, lines longer than kMemoMaxLineChars shortened with a mark,
// and text past kMemoMaxChars left out with a closing line that says so.
MemoText memoText(std::string_view utf8);
MemoText memoText(QString text);

// The beginning of a text whose rest was never read (a file too large to read whole): shown
// as memoText shows it, never whole, and closed by a line that says the rest is left out.
MemoText memoTextOfPart(std::string_view utf8);

} // namespace larkspur
