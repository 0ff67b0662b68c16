// The demo library's lyrics files, as scripts/make-demo.sh writes them.

#include "lyrics/LrcLyrics.h"
#include "support/TestFiles.h"

#include <QProcess>
#include <QString>
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

using namespace larkspur;
using larkspur::test::readFile;
using larkspur::test::TempDir;
using larkspur::test::writeFile;

namespace {

int makeDemo(const std::string& dir)
{
    QProcess p;
    p.start(QStringLiteral("bash"), {QStringLiteral(LARKSPUR_SOURCE_DIR "/scripts/make-demo.sh"),
                                     QString::fromStdString(dir)});
    if (!p.waitForFinished(120000)) return -1;
    return p.exitCode();
}

// The songs of the demo list, in list order.
std::vector<std::string> songsOf(const std::string& list)
{
    std::vector<std::string> songs;
    std::istringstream in(readFile(list));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        songs.push_back(line.substr(line.find('|') + 1));
    }
    return songs;
}

} // namespace

// One song has plain lyrics, another timed ones across its 20 seconds; a second run keeps
// them (and any edit) as they are.
TEST(DemoWords, OneSongHasLyricsAnotherTimedLyrics)
{
    TempDir dir;
    ASSERT_EQ(makeDemo(dir.path()), 0);
    std::string lyr, lrc;
    for (const std::string& song : songsOf(dir.file("demo.txt"))) {
        ASSERT_TRUE(std::filesystem::exists(song)) << song;
        const std::string base = song.substr(0, song.size() - 4);
        if (std::filesystem::exists(base + ".lyr")) lyr = base + ".lyr";
        if (std::filesystem::exists(base + ".lrc")) lrc = base + ".lrc";
    }
    ASSERT_FALSE(lyr.empty());
    ASSERT_FALSE(lrc.empty());
    EXPECT_NE(lyr.substr(0, lyr.size() - 4), lrc.substr(0, lrc.size() - 4));

    for (const std::string& file : {lyr, lrc}) {
        const std::string text = readFile(file);
        // Every line break is CR LF and the bytes are UTF-8 throughout.
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << file;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\n') {
                EXPECT_EQ(text[i - 1], '\r') << file << " at " << i;
            }
        }
        EXPECT_EQ(QString::fromUtf8(text).toUtf8().toStdString(), text) << file;
        EXPECT_FALSE(QString::fromUtf8(text).contains(QChar::ReplacementCharacter)) << file;
    }
    // A few verses: blank lines between them.
    EXPECT_GE(QString::fromStdString(readFile(lyr)).count(QStringLiteral("\r\n\r\n")), 2);

    const auto timed = LrcLyrics::parse(readFile(lrc));
    ASSERT_GE(timed.lines().size(), 6u);
    std::int64_t last = -1;
    for (const auto& line : timed.lines()) {
        ASSERT_TRUE(line.timeMs) << line.text;
        EXPECT_GT(*line.timeMs, last) << line.text;
        EXPECT_FALSE(line.text.empty());
        last = *line.timeMs;
    }
    EXPECT_LT(*timed.lines().front().timeMs, 3000);
    EXPECT_GT(last, 15000);
    EXPECT_LT(last, 20000);

    writeFile(lyr, "edited\r\n");
    const std::string lrcBefore = readFile(lrc);
    ASSERT_EQ(makeDemo(dir.path()), 0);
    EXPECT_EQ(readFile(lyr), "edited\r\n");
    EXPECT_EQ(readFile(lrc), lrcBefore);
}
