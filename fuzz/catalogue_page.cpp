// The catalogue site's pages: the hit count, the result rows, a song's text, the session
// from the front page and the search address built from typed text.

#include "fuzz/FuzzCheck.h"
#include "lyrics/CataloguePage.h"

#include <string>

using namespace larkspur;

namespace {

std::size_t occurrences(std::string_view text, std::string_view marker)
{
    std::size_t n = 0;
    for (auto at = text.find(marker); at != std::string_view::npos; at = text.find(marker, at + 1))
        ++n;
    return n;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view page = fuzz::bytesOf(data, size);

    const std::vector<CatalogueRow> rows = parseCatalogueRows(page);
    FUZZ_CHECK(rows.size() <= occurrences(page, "margin-left:5px"));
    // Shown pieces come from the page, cut with "..." past their bound.
    const auto fromPage = [&](const std::string& piece) {
        if (page.find(piece) != std::string_view::npos) return true;
        return piece.size() <= kMaxCatalogueShownBytes + 3 && piece.ends_with("...") &&
               page.find(std::string_view(piece).substr(0, piece.size() - 3)) != std::string_view::npos;
    };
    for (const CatalogueRow& row : rows) {
        FUZZ_CHECK(page.find(row.link) != std::string_view::npos);
        FUZZ_CHECK(fromPage(row.title));
        FUZZ_CHECK(fromPage(row.text));
    }

    const CataloguePage parsed = parseCataloguePage(page);
    FUZZ_CHECK((parsed.kind == CataloguePage::Kind::Expired) == isExpiredSessionPage(page));
    if (parsed.kind == CataloguePage::Kind::Rows) {
        FUZZ_CHECK(!parsed.countText.empty() && parsed.countText.size() <= 5);
        FUZZ_CHECK(parsed.countText == std::to_string(parsed.count) ||
                   parsed.countText.starts_with('0') || parsed.countText.starts_with("-0"));
        FUZZ_CHECK(parsed.rows.size() == rows.size());
    } else {
        FUZZ_CHECK(parsed.rows.empty());
    }

    if (const auto text = songTextFromPage(page)) FUZZ_CHECK(!fuzz::containsNoCase(*text, "<br>"));
    if (const auto session = sessionFromFrontPage(page)) {
        FUZZ_CHECK(session->find('"') == std::string::npos);
        FUZZ_CHECK(page.find(*session) != std::string_view::npos);
    }

    const std::string host = "http://127.0.0.1:9";
    const std::string url = catalogueSearchUrl(host, "PHPSESSID=1", page, true, 20, 10);
    FUZZ_CHECK(url.starts_with(host + "/suche.php?PHPSESSID=1&query="));
    FUZZ_CHECK(url.ends_with("&search=title&offset=20&viewperpage=10"));
    FUZZ_CHECK(url.find(' ') == std::string::npos);
    return 0;
}
