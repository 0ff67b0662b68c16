#include "app/core/MemoText.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <string>

using namespace larkspur;

TEST(MemoText, LongLinesAreBrokenAndHugeTextsCut)
{
    EXPECT_EQ(memoText(std::string("a\r\nb\nc\r\n")), QStringLiteral("a\nb\nc\n"));

    // One word longer than the bound: hard breaks at the bound.
    const QString word = memoText(std::string(10000, 'x'));
    const QStringList wordLines = word.split(QLatin1Char('\n'));
    ASSERT_EQ(wordLines.size(), 3);
    EXPECT_EQ(wordLines[0].size(), kMemoMaxLineChars);
    EXPECT_EQ(wordLines[2].size(), 10000 - 2 * kMemoMaxLineChars);

    // Words: the break takes the place of the last blank within the bound, nothing is lost.
    std::string words;
    while (words.size() < 9000)
        words += "lyrics ";
    const QString broken = memoText(words);
    EXPECT_EQ(QString(broken).replace(QLatin1Char('\n'), QLatin1Char(' ')),
              QString::fromStdString(words));
    for (const QString& line : broken.split(QLatin1Char('\n')))
        EXPECT_LE(line.size(), kMemoMaxLineChars);

    // A character outside the BMP at the bound stays whole.
    const std::string pair = std::string(kMemoMaxLineChars - 1, 'y') + "\xF0\x9F\x8E\xB5" + "z";
    const QString kept = memoText(pair);
    EXPECT_EQ(kept.split(QLatin1Char('\n')).size(), 2);
    EXPECT_EQ(QString(kept).remove(QLatin1Char('\n')), QString::fromStdString(pair));

    // Past the total bound the rest is left out, and the memo says so.
    std::string huge;
    while (huge.size() < 2u * kMemoMaxChars)
        huge += "a line of lyrics\r\n";
    const QString cut = memoText(huge);
    EXPECT_LT(cut.size(), kMemoMaxChars + 100);
    EXPECT_TRUE(cut.startsWith(QStringLiteral("a line of lyrics\na line")));
    EXPECT_TRUE(cut.endsWith(QStringLiteral("the rest is not shown.]")));
}
