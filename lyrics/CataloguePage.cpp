#include "lyrics/CataloguePage.h"

#include "lyrics/QueryEncoding.h"
#include "lyrics/TextRoutines.h"
#include "web/HttpUrl.h"

#include <charconv>
#include <cstdlib>

namespace larkspur {

namespace {

constexpr std::string_view kBuiltInHost = "http://www.lyrics-world.de";
constexpr std::string_view kFrameMarker = "<frame name=\"menu\" src=\"menu.php?";
constexpr std::string_view kExpired = "Die Session ist abgelaufen";
constexpr std::string_view kNoResult = "kein Ergebnis";
constexpr std::string_view kCountMarker = "von insgesamt <b>";
constexpr std::string_view kRangeMarker = "Ergebnisse <b>";
constexpr std::string_view kBold = "</b>";
constexpr std::string_view kRowMarker = "margin-left:5px";
constexpr std::size_t kRowSkip = 29; // the style's rest and the link's opening up to href=
constexpr std::string_view kLinkEnd = "\">";
constexpr std::string_view kTitleEnd = "</a>";
constexpr std::string_view kTextStart = "\"2\">";
constexpr std::string_view kTextEnd = "</div";
constexpr std::string_view kSongStart = "<div class=\"song\">";

// The text after `start` up to `end` (to the page's end when `end` is missing); nullopt
// when `start` is missing.
std::optional<std::string_view> after(std::string_view page, std::string_view start,
                                      std::string_view end)
{
    const std::size_t at = page.find(start);
    if (at == std::string_view::npos) return std::nullopt;
    const std::string_view rest = page.substr(at + start.size());
    return rest.substr(0, rest.find(end));
}

// The text before `end` (empty when `end` is missing, so a broken row gives empty pieces
// instead of the rest of the page).
std::string_view before(std::string_view page, std::string_view end)
{
    const std::size_t at = page.find(end);
    return at == std::string_view::npos ? std::string_view() : page.substr(0, at);
}

// `page` from just past `marker`, or unchanged when it is missing.
std::string_view past(std::string_view page, std::string_view marker)
{
    const std::size_t at = page.find(marker);
    return at == std::string_view::npos ? page : page.substr(at + marker.size());
}

} // namespace

std::string shownPiece(std::string_view piece)
{
    if (piece.size() <= kMaxCatalogueShownBytes) return std::string(piece);
    std::size_t end = kMaxCatalogueShownBytes;
    while (end > 0 && (static_cast<unsigned char>(piece[end]) & 0xC0) == 0x80)
        --end; // not inside a UTF-8 sequence
    return std::string(piece.substr(0, end)) + "...";
}

std::string catalogueHost() { return siteHost("LARKSPUR_CATALOGUE_URL", kBuiltInHost); }

std::optional<std::string> sessionFromFrontPage(std::string_view page)
{
    auto session = after(page, kFrameMarker, "\"");
    if (!session) return std::nullopt;
    return std::string(*session);
}

std::string catalogueSearchUrl(std::string_view host, std::string_view session,
                               std::string_view text, bool byTitle, int offset, int perPage,
                               std::string* lacking)
{
    std::string url = std::string(host) + "/suche.php?" + std::string(session);
    url += "&query=" + ReplaceAllNoCase(std::string(text), " ", "+");
    url += byTitle ? "&search=title" : "&search=body";
    url += "&offset=" + std::to_string(offset);
    url += "&viewperpage=" + std::to_string(perPage);
    return EncodeLatin1Query(url, lacking);
}

std::string catalogueSongUrl(std::string_view host, std::string_view link)
{
    const bool absolute = link.starts_with("http://") || link.starts_with("https://");
    std::string url = absolute ? std::string() : std::string(host) + "/";
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char c : link) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            url += c;
            continue;
        }
        url += '%';
        url += kHex[b >> 4];
        url += kHex[b & 0x0F];
    }
    return url;
}

bool isExpiredSessionPage(std::string_view page)
{
    return page.find(kExpired) != page.npos;
}

std::vector<CatalogueRow> parseCatalogueRows(std::string_view page)
{
    std::vector<CatalogueRow> rows;
    std::size_t at = page.find(kRowMarker);
    while (at != std::string_view::npos && rows.size() < kMaxCatalogueRows) {
        // A row's pieces end before the next row: on a broken page every row would otherwise
        // copy and search the rest of the page, which grows with the square of its size.
        const std::size_t next = page.find(kRowMarker, at + kRowMarker.size());
        std::string_view rest = page.substr(0, next).substr(
            std::min(page.substr(0, next).size(), at + kRowMarker.size() + kRowSkip));
        CatalogueRow row;
        std::string_view link = before(rest, kLinkEnd);
        if (!link.empty() && link.front() == '"') link.remove_prefix(1);
        row.link = link;
        rest = past(rest, kLinkEnd);
        row.title = shownPiece(before(rest, kTitleEnd));
        rest = past(rest, kTextStart);
        row.text = shownPiece(before(rest, kTextEnd));
        rows.push_back(std::move(row));
        at = next;
    }
    return rows;
}

CataloguePage parseCataloguePage(std::string_view page)
{
    CataloguePage result;
    using Kind = CataloguePage::Kind;
    if (isExpiredSessionPage(page)) {
        result.kind = Kind::Expired;
        return result;
    }
    if (page.find(kNoResult) != page.npos) {
        result.kind = Kind::NoResult;
        return result;
    }
    const auto count = after(page, kCountMarker, kBold);
    if (!count) return result;
    result.countText = shownPiece(*count);
    if (count->size() > 5) {
        result.kind = Kind::CountTooLong;
        return result;
    }
    const char* end = count->data() + count->size();
    const auto [stop, ec] = std::from_chars(count->data(), end, result.count);
    if (count->empty() || ec != std::errc() || stop != end) {
        result.kind = Kind::BadCount;
        return result;
    }
    result.kind = Kind::Rows;
    result.range = shownPiece(after(page, kRangeMarker, kBold).value_or(std::string_view()));
    result.rows = parseCatalogueRows(page);
    return result;
}

std::optional<std::string> songTextFromPage(std::string_view page)
{
    const std::size_t at = page.find(kSongStart);
    if (at == std::string_view::npos) return std::nullopt;
    std::string_view rest = page.substr(std::min(page.size(), at + kSongStart.size() + 1));
    rest = rest.substr(0, rest.find("</div>"));
    return RemoveAllNoCase(std::string(rest), "<br>");
}

} // namespace larkspur
