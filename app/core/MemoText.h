#pragma once
// Text for the lyrics and translation memos. The text box lays out a line in time that grows
// with the square of its longest word, so a page that renders to one huge line would freeze
// the window for minutes; lyrics never come near these bounds.
#include <QString>
#include <string_view>

namespace larkspur {

constexpr qsizetype kMemoMaxChars = 512 * 1024;
constexpr qsizetype kMemoMaxLineChars = 4096;

// UTF-8 text with CR LF or LF line ends, as the memo shows it: LF line ends, lines longer
// than kMemoMaxLineChars broken (after their last blank within the bound, or at the bound),
// and text past kMemoMaxChars left out with a closing line that says so.
QString memoText(std::string_view utf8);
QString memoText(QString text);

} // namespace larkspur
