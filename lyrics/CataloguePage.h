#pragma once
// The catalogue site's addresses and the pieces cut out of its pages. Pure functions on
// UTF-8 text (decode the page first); none throws apart from std::bad_alloc.

#include "lyrics/CatalogueState.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace larkspur {

// Scheme and host (and port) of the site: LARKSPUR_CATALOGUE_URL when set, else built in.
std::string catalogueHost();

// The session parameter from the front page's menu frame; nullopt without that frame.
std::optional<std::string> sessionFromFrontPage(std::string_view page);

// host + "/suche.php?" + session, query, search, offset and viewperpage, blanks of the text
// as "+" and the whole address through EncodeLatin1Query (which appends the characters sent
// as "?" to `lacking`).
std::string catalogueSearchUrl(std::string_view host, std::string_view session,
                               std::string_view text, bool byTitle, int offset, int perPage,
                               std::string* lacking = nullptr);

// `link` as the address to request: bytes beyond ASCII percent-escaped as they are, so a
// link cut from a Latin-1 page asks for the bytes it had there.
std::string catalogueSongUrl(std::string_view host, std::string_view link);

struct CataloguePage
{
    enum class Kind {
        Expired,      // the site forgot the session
        NoResult,     // "kein Ergebnis"
        NoCount,      // no hit count marker
        CountTooLong, // a count text over 5 characters
        BadCount,     // a count text that is no whole number
        Rows,         // count, range and rows below
    };
    Kind kind = Kind::NoCount;
    std::string countText;
    int count = 0;
    std::string range;
    std::vector<CatalogueRow> rows;
};

CataloguePage parseCataloguePage(std::string_view page);

// What a label or a list cell shows of a piece cut from a page (a hit count, a range, a
// title, an excerpt): a broken page without its end marker would put megabytes there. Longer
// pieces end in "..." at a character boundary. Links stay whole: they are requested.
inline constexpr std::size_t kMaxCatalogueShownBytes = 300;
std::string shownPiece(std::string_view piece);

// The rows alone, in page order, at most kMaxCatalogueRows of them; a row's pieces end
// before the next row's marker. A results page has ten: many thousands would only fill the
// list for seconds.
inline constexpr std::size_t kMaxCatalogueRows = 10000;
std::vector<CatalogueRow> parseCatalogueRows(std::string_view page);

// The song's text from its page, "<br>" removed in any letter case; nullopt without the
// song's block.
std::optional<std::string> songTextFromPage(std::string_view page);

// Whether a page holds the expired-session answer.
bool isExpiredSessionPage(std::string_view page);

} // namespace larkspur
