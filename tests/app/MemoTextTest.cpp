#include "app/core/MemoText.h"

#include <gtest/gtest.h>

#include <string>

using namespace larkspur;

TEST(MemoText, EachLineStaysOneLineAndOnlyWholeTextsSayWhole)
{
    const std::string mark = " [\xE2\x80\xA6]";
    const std::string atBound(kMemoMaxLineChars, 'x');
    std::string huge;
    while (huge.size() < 2u * kMemoMaxChars)
        huge += "a line of lyrics\r\n";
    struct Case
    {
        const char* name;
        std::string text;
        bool whole;
        std::string shown; // empty: checked below
    } cases[] = {
        {"line ends", "a\r\nb\nc\r\n", true, "a\nb\nc\n"},
        {"line at the bound", atBound, true, atBound},
        {"long line among others", "one\n" + std::string(10000, 'x') + "\r\nthree", false,
         "one\n" + atBound + mark + "\nthree"},
        // A character outside the BMP across the bound is left out whole.
        {"pair at the bound", std::string(kMemoMaxLineChars - 1, 'y') + "\xF0\x9F\x8E\xB5z", false,
         std::string(kMemoMaxLineChars - 1, 'y') + mark},
        {"huge", huge, false, ""},
    };
    for (const Case& c : cases) {
        const MemoText memo = memoText(c.text);
        EXPECT_EQ(memo.whole, c.whole) << c.name;
        if (!c.shown.empty()) {
            EXPECT_EQ(memo.shown.toStdString(), c.shown) << c.name;
        }
    }

    // Past the total bound the rest is left out, and the memo says so.
    const QString cut = memoText(huge).shown;
    EXPECT_LT(cut.size(), kMemoMaxChars + 100);
    EXPECT_TRUE(cut.startsWith(QStringLiteral("a line of lyrics\na line")));
    EXPECT_TRUE(cut.endsWith(QStringLiteral("the rest is not shown.]")));
}
