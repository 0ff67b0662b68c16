// Rendering real saved lyrics pages: the lyrics lines must come out as lines of the text.

#include "support/TestFiles.h"
#include "web/HtmlDocument.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

using namespace larkspur;

namespace {

const std::string kCorpus = LARKSPUR_SOURCE_DIR "/../shared/corpus/html/";

bool corpusPresent()
{
    return QFileInfo::exists(QString::fromStdString(kCorpus + "MANIFEST.md"));
}

// White space runs (no-break spaces included) become one space; ends trimmed.
std::string normalised(const std::string& line)
{
    static const std::regex blanks("(\\s|\xC2\xA0|\xE2\x80\x85)+");
    std::string out = std::regex_replace(line, blanks, " ");
    if (!out.empty() && out.front() == ' ') out.erase(0, 1);
    if (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

std::vector<std::string> splitLines(const std::string& text, const std::string& separator)
{
    std::vector<std::string> lines;
    size_t pos = 0;
    while (true) {
        const size_t end = text.find(separator, pos);
        lines.push_back(text.substr(pos, end == std::string::npos ? end : end - pos));
        if (end == std::string::npos) break;
        pos = end + separator.size();
    }
    return lines;
}

// The expected lyrics, one normalised non-empty line each; <br> counts as a line end.
std::vector<std::string> expectedLines(const std::string& file)
{
    std::string text = test::readFile(file);
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
    text = std::regex_replace(text, std::regex("<br\\s*/?>", std::regex::icase), "\n");
    std::vector<std::string> lines;
    for (const std::string& line : splitLines(text, "\n"))
        if (std::string n = normalised(line); !n.empty()) lines.push_back(n);
    return lines;
}

struct LyricsPage
{
    const char* page;
    const char* expected;
};

const LyricsPage kLyricsPages[] = {
    {"lyricsscrapernet__AZLyrics_Lyrics_HtmlPage_01.html", "AZLyrics_Lyrics_Result_01.txt"},
    {"lyricsscrapernet__KPopLyrics_Lyrics_HtmlPage_01.html", "KPopLyrics_Lyrics_Result_01.txt"},
    {"lyricsscrapernet__LyricsFreak_Lyrics_HtmlPage_02.html", "LyricsFreak_Lyrics_Result_01.txt"},
    {"lyricsscrapernet__SongLyrics_Lyrics_HtmlPage_01.html", "SongLyrics_Lyrics_Result_01.txt"},
};

} // namespace

TEST(RenderCorpus, LyricsLinesAppearAsLinesInOrder)
{
    if (!corpusPresent()) GTEST_SKIP() << "lyrics page corpus not found";
    for (const LyricsPage& p : kLyricsPages) {
        const HtmlDocument document(test::readFile(kCorpus + p.page));
        const std::string text = document.bodyInnerText();
        std::vector<std::string> rendered;
        for (const std::string& line : splitLines(text, "\r\n"))
            rendered.push_back(normalised(line));

        const std::vector<std::string> lyrics =
            expectedLines(kCorpus + "expected/lyricsscrapernet/" + p.expected);
        ASSERT_GT(lyrics.size(), 20u) << p.expected;
        // Each lyrics line is a whole line of the text, after the previous one.
        size_t at = 0;
        for (const std::string& line : lyrics) {
            while (at < rendered.size() && rendered[at] != line)
                ++at;
            ASSERT_LT(at, rendered.size()) << p.page << ": missing or out of order: " << line;
            ++at;
        }
    }
}

TEST(RenderCorpus, ExamplePageShowsItsTextAndNoScriptOrStyle)
{
    if (!corpusPresent()) GTEST_SKIP() << "lyrics page corpus not found";
    const HtmlDocument document(test::readFile(kCorpus + "beets__examplecom_beetssong.html"));
    std::string text = document.bodyInnerText();
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_NE(text.find("via plugins, beets becomes a panacea"), std::string::npos);
    // Its scripts set "e9.size" and its styles "font-family"; neither is text.
    EXPECT_EQ(text.find("e9.size"), std::string::npos);
    EXPECT_EQ(text.find("font-family"), std::string::npos);
}

TEST(RenderCorpus, LyricsInsideAScriptStayHidden)
{
    if (!corpusPresent()) GTEST_SKIP() << "lyrics page corpus not found";
    // This site ships its lyrics only as data in a script block; without scripts a browser
    // shows the page around them but not the lyrics.
    const std::string source =
        test::readFile(kCorpus + "lyricsscrapernet__LyricFind_Lyrics_HtmlPage_01.html");
    const std::string line = "The seas are rising";
    ASSERT_NE(source.find(line), std::string::npos);
    const std::string text = HtmlDocument(source).bodyInnerText();
    EXPECT_EQ(text.find(line), std::string::npos);
    EXPECT_NE(text.find("Idols And Anchors"), std::string::npos);
}

TEST(RenderCorpus, BodySourceIsTheBytesBetweenTheBodyTags)
{
    if (!corpusPresent()) GTEST_SKIP() << "lyrics page corpus not found";
    const QStringList pages =
        QDir(QString::fromStdString(kCorpus)).entryList({QStringLiteral("*.html")}, QDir::Files);
    ASSERT_GE(pages.size(), 12);
    for (const QString& page : pages) {
        const std::string bytes = test::readFile(kCorpus + page.toStdString());
        std::string lower = bytes;
        for (char& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const size_t start = lower.find('>', lower.find("<body")) + 1;
        const size_t end = lower.find("</body>");
        const HtmlDocument document(bytes);
        EXPECT_EQ(document.charset(), "UTF-8") << page.toStdString();
        const std::string body = document.bodyInnerHtml();
        const std::string tagged = bytes.substr(start, end - start);
        // A head's <noscript> holding body content starts the body early (scripts are off),
        // so the source may begin before the body tag; it still ends at "</body>".
        ASSERT_GE(body.size(), tagged.size()) << page.toStdString();
        EXPECT_TRUE(body.compare(body.size() - tagged.size(), tagged.size(), tagged) == 0)
            << page.toStdString();
        EXPECT_NE(bytes.find(body), std::string::npos) << page.toStdString();
        const std::string text = document.bodyInnerText();
        EXPECT_FALSE(text.empty()) << page.toStdString();
        EXPECT_EQ(std::regex_search(text, std::regex("[^\r]\n")), false) << page.toStdString();
    }
}
