#include "lyrics/CleanLyricsPage.h"

#include "lyrics/AsciiText.h"

#include <algorithm>
#include <cstring>

namespace larkspur {

namespace {

constexpr auto npos = std::string_view::npos;

// How many leading bytes of `opener` the end of `text` matches, short of the whole.
std::size_t partialMatchAtEnd(std::string_view text, std::string_view opener)
{
    for (std::size_t k = std::min(opener.size() - 1, text.size()); k > 0; --k) {
        std::size_t i = 0;
        while (i < k && foldAscii(text[text.size() - k + i]) == opener[i])
            ++i;
        if (i == k) return k;
    }
    return 0;
}

// Deletes the first `opener` (lowercase, first byte not a letter and not repeated in it)
// together with what follows it up to `endOfRange(page, afterOpener)`, again and again,
// always taking the first occurrence left in the page, until none is left.
//
// A deletion leaves the page before the removed opener unchanged, and that part held no
// opener, so the page is streamed once into `out`: whenever `out` ends with the opener it
// is taken back off and the input skips to the end of its range. The bytes that a later
// deletion joins to the end of `out` are still matched against the opener, since the match
// state after a deletion is recomputed from the tail of `out`.
template <typename EndOfRange>
std::string deleteRanges(std::string_view page, std::string_view opener, EndOfRange endOfRange)
{
    const char lead = opener[0];
    std::string out;
    out.reserve(page.size());
    std::size_t matched = 0; // bytes of the opener that the end of `out` matches
    std::size_t next = 0;
    while (next < page.size()) {
        if (matched == 0) {
            const void* hit = std::memchr(page.data() + next, lead, page.size() - next);
            const std::size_t at =
                hit ? std::size_t(static_cast<const char*>(hit) - page.data()) : page.size();
            out.append(page, next, at - next);
            next = at;
            if (next == page.size()) break;
            out += page[next++];
            matched = 1;
        } else {
            const char c = page[next++];
            out += c;
            if (foldAscii(c) == opener[matched])
                ++matched;
            else
                matched = c == lead ? 1 : 0; // the lead byte occurs only at the opener's start
        }
        if (matched == opener.size()) {
            out.resize(out.size() - opener.size());
            next = endOfRange(page, next);
            matched = partialMatchAtEnd(out, opener);
        }
    }
    return out;
}

std::string_view cutToBody(std::string_view page)
{
    const std::size_t body = findNoCase(page, "<body");
    if (body == npos) return page;
    const std::size_t bodyEnd = findNoCase(page, "</body>");
    if (bodyEnd == npos) return page;
    if (bodyEnd < body) return {};
    return page.substr(body, bodyEnd - body);
}

} // namespace

std::string CleanLyricsPage(std::string_view page)
{
    const std::string withoutClassTags =
        deleteRanges(cutToBody(page), "<class", [](std::string_view text, std::size_t from) {
            const std::size_t close = text.find('>', from);
            return close == npos ? text.size() : close + 1;
        });
    constexpr std::string_view kScriptEnd = "/script>";
    return deleteRanges(withoutClassTags, "<script", [&](std::string_view text, std::size_t from) {
        const std::size_t close = findNoCase(text, kScriptEnd, from);
        return close == npos ? text.size() : close + kScriptEnd.size();
    });
}

} // namespace larkspur
