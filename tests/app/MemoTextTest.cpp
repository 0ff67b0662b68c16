#include "app/core/MemoText.h"

#include <gtest/gtest.h>

#include <string>

using namespace larkspur;

TEST(MemoText, LongLinesAreShortenedAndHugeTextsCut)
{
    EXPECT_EQ(memoText(std::string("a\r\nb\nc\r\n")).shown, QStringLiteral("a\nb\nc\n"));

    // A character outside the BMP at the bound stays whole.
    const std::string pair = std::string(kMemoMaxLineChars - 1, 'y') + "\xF0\x9F\x8E\xB5" + "z";
    EXPECT_EQ(memoText(pair + "\nb").shown.toStdString(),
              pair.substr(0, kMemoMaxLineChars - 1) + " [\xE2\x80\xA6]\nb"); // not broken

    // Past the total bound the rest is left out, and the memo says so.
    std::string huge;
    while (huge.size() < 2u * kMemoMaxChars)
        huge += "a line of lyrics\r\n";
    const QString cut = memoText(huge).shown;
    EXPECT_LT(cut.size(), kMemoMaxChars + 100);
    EXPECT_TRUE(cut.startsWith(QStringLiteral("a line of lyrics\na line")));
    EXPECT_TRUE(cut.endsWith(QStringLiteral("the rest is not shown.]")));
}
