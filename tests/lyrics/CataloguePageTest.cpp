// The catalogue site's addresses and the pieces cut from its pages.

#include "lyrics/CataloguePage.h"
#include "support/HostilePages.h"

#include <gtest/gtest.h>

using namespace larkspur;

namespace {

// One hit as the site marks it: 29 characters between the row marker and the link.
std::string row(const std::string& link, const std::string& title, const std::string& text)
{
    return "<div style=\"margin-left:5px\"><font face=\"Arial\"><a href=\"" + link + "\">" + title +
           "</a></font><br><font size=\"2\">" + text + "</div>\n";
}

} // namespace

TEST(CataloguePage, SearchUrlKeepsItsOrderAndEncodesLatin1)
{
    struct Case
    {
        std::string text;
        bool byTitle;
        int offset, perPage;
        std::string query; // after "/suche.php?sid=ab12"
    };
    const Case cases[] = {
        {"Ärger im Paradies", true, 0, 10,
         "&query=%C4rger+im+Paradies&search=title&offset=0&viewperpage=10"},
        {"größe über Öl Üb äß", false, 20, 25,
         "&query=gr%F6%DFe+%FCber+%D6l+%DCb+%E4%DF&search=body&offset=20&viewperpage=25"},
        // Other letters as their Latin-1 bytes; ASCII signs go out as they are.
        {"café & 50%", true, 10, 10, "&query=caf%E9+&+50%&search=title&offset=10&viewperpage=10"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(
            catalogueSearchUrl("http://h:81", "sid=ab12", c.text, c.byTitle, c.offset, c.perPage),
            "http://h:81/suche.php?sid=ab12" + c.query)
            << c.text;
}

TEST(CataloguePage, SessionComesFromTheMenuFrame)
{
    EXPECT_EQ(sessionFromFrontPage("<frameset><frame name=\"top\" src=\"top.php?x=1\">"
                                   "<frame name=\"menu\" src=\"menu.php?PHPSESSID=9f3a&l=de\">"
                                   "<frame name=\"menu\" src=\"menu.php?second\">"),
              "PHPSESSID=9f3a&l=de");
    EXPECT_EQ(sessionFromFrontPage("<frame name=\"menu\" src=\"menu.php?\">"), "");
    EXPECT_EQ(sessionFromFrontPage("<frame name=\"Menu\" src=\"menu.php?x\">"), std::nullopt);
    EXPECT_EQ(sessionFromFrontPage(""), std::nullopt);
}

TEST(CataloguePage, KindOfPageAndHitCount)
{
    using Kind = CataloguePage::Kind;
    struct Case
    {
        std::string page;
        Kind kind;
        int count;
        std::string range;
    };
    const std::string rows = row("a.php", "A", "x");
    const Case cases[] = {
        {"Ergebnisse <b>1-10</b> von insgesamt <b>25</b>" + rows, Kind::Rows, 25, "1-10"},
        {"von insgesamt <b>0</b>", Kind::Rows, 0, ""}, // no range marker: empty range
        {"von insgesamt <b>99999</b> Ergebnisse <b>11-20</b>", Kind::Rows, 99999, "11-20"},
        {"von insgesamt <b>1.234</b>", Kind::BadCount, 0, ""},
        {"von insgesamt <b></b>", Kind::BadCount, 0, ""},
        {"von insgesamt <b>12a</b>", Kind::BadCount, 0, ""},
        {"von insgesamt <b>123456</b>", Kind::CountTooLong, 0, ""},
        {"von insgesamt <b>12", Kind::Rows, 12, ""}, // the count runs to the page's end
        {"von insgesamt <b>12 and then a long page", Kind::CountTooLong, 0, ""},
        {"Ergebnisse <b>1-10</b>" + rows, Kind::NoCount, 0, ""},
        {"leider kein Ergebnis von insgesamt <b>5</b>", Kind::NoResult, 0, ""},
        {"Die Session ist abgelaufen. kein Ergebnis", Kind::Expired, 0, ""},
        // A range without its end marker is cut for its label, at a character boundary.
        {"von insgesamt <b>7</b> Ergebnisse <b>" + std::string(299, 'r') + "\xC3\xA4" +
             std::string(1 << 20, 'r'),
         Kind::Rows, 7, std::string(299, 'r') + "..."},
    };
    for (const auto& c : cases) {
        const CataloguePage page = parseCataloguePage(c.page);
        EXPECT_EQ(page.kind, c.kind) << c.page;
        if (c.kind != Kind::Rows) continue;
        EXPECT_EQ(page.count, c.count) << c.page;
        EXPECT_EQ(page.range, c.range) << c.page;
    }
    EXPECT_EQ(parseCataloguePage("von insgesamt <b>1.234</b>").countText, "1.234");
}

TEST(CataloguePage, RowsAreCutAtTheirMarkers)
{
    struct Case
    {
        std::string page;
        std::vector<CatalogueRow> rows;
    };
    const Case cases[] = {
        {"head" + row("songtext.php?id=1&sid=x", "<b>One</b>", "first &amp; line") +
             row("s2.php", "Two", "second"),
         {{"songtext.php?id=1&sid=x", "<b>One</b>", "first &amp; line"},
          {"s2.php", "Two", "second"}}},
        // A link without its opening quote keeps its first letter.
        {"<p style=\"margin-left:5px\"><font face=\"Arial\"><a href=x.php\">X</a><font "
         "size=\"2\">t</div>",
         {{"x.php", "X", "t"}}},
        // Broken rows give empty pieces and the loop still ends.
        {"margin-left:5px", {{"", "", ""}}},
        {"margin-left:5px" + std::string(29, '.') + "\"l\">T</a> no text marker", {{"l", "T", ""}}},
        {"no rows at all", {}},
    };
    for (const auto& c : cases) {
        const auto rows = parseCatalogueRows(c.page);
        ASSERT_EQ(rows.size(), c.rows.size()) << c.page;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(rows[i].link, c.rows[i].link) << c.page;
            EXPECT_EQ(rows[i].title, c.rows[i].title) << c.page;
            EXPECT_EQ(rows[i].text, c.rows[i].text) << c.page;
        }
    }
}

TEST(CataloguePage, MoreThan1024RowsAreAllKept)
{
    std::string page = "von insgesamt <b>2000</b>";
    for (int i = 0; i < 1500; ++i)
        page += row(std::to_string(i) + ".php", "T", "x");
    const CataloguePage parsed = parseCataloguePage(page);
    ASSERT_EQ(parsed.rows.size(), 1500u);
    EXPECT_EQ(parsed.rows[1024].link, "1024.php");
    EXPECT_EQ(parsed.rows.back().link, "1499.php");
}

TEST(CataloguePage, SongTextFromItsBlock)
{
    struct Case
    {
        std::string page;
        std::optional<std::string> text;
    };
    const Case cases[] = {
        {"<div class=\"song\">\nLine one<br>\nLine <BR>two<Br>\n</div><div>tail</div>",
         "Line one\nLine two\n"},
        {"<div class=\"song\">\r\nKeep &amp; <br/> as is</div>", "\nKeep &amp; <br/> as is"},
        {"<div class=\"song\">", ""},
        {"<div class=song>x</div>", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(songTextFromPage(c.page), c.text) << c.page;
}

TEST(CataloguePage, HostileRowsStayBoundedInNumberAndSize)
{
    struct Case
    {
        const char* why;
        std::string page;
        std::size_t rows;
    };
    const std::string marker = "margin-left:5px" + std::string(29, '.');
    const Case cases[] = {
        {"a million rows without any end", testpages::repeat(marker, 1000000), kMaxCatalogueRows},
        {"rows whose ends all come at the end of the page",
         testpages::repeat(marker + "\"l\">T", 100000) + "</a>\"2\">x</div>", kMaxCatalogueRows},
        {"a few rows whose ends come only after the last",
         testpages::repeat(marker + "\"l\">T", 3) + "</a>\"2\">x</div>", 3},
    };
    for (const Case& c : cases) {
        const auto rows = parseCatalogueRows(c.page);
        EXPECT_EQ(rows.size(), c.rows) << c.why;
        std::size_t bytes = 0;
        for (const CatalogueRow& r : rows)
            bytes += r.link.size() + r.title.size() + r.text.size();
        EXPECT_LE(bytes, c.page.size()) << c.why;
        ASSERT_FALSE(rows.empty()) << c.why;
        EXPECT_EQ(rows.back().text, c.rows == 3 ? "x" : "") << c.why;
    }
    // A title and an excerpt of megabytes are shown cut; the link stays whole.
    const std::string link(5000, 'l'), huge(5 << 20, 't');
    const auto rows = parseCatalogueRows(marker + "\"" + link + "\">" + huge + "</a>\"2\">" + huge + "</div>");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].link, link);
    EXPECT_EQ(rows[0].title, huge.substr(0, kMaxCatalogueShownBytes) + "...");
    EXPECT_EQ(rows[0].text, rows[0].title);
}
