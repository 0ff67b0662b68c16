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
// together with what follows it up to `endOfRange(text, afterOpener)`, again and again,
// always taking the first occurrence left in the text, until none is left.
//
// A deletion leaves the text before the removed opener unchanged, and that part held no
// opener, so one forward pass does it: the kept bytes are moved down over the deleted ones,
// and whenever the kept part ends with the opener it is taken back off and reading skips to
// the end of its range. Bytes that a deletion joins to the kept part are still matched
// against the opener, since the match state is then recomputed from the kept tail.
// The kept part never overtakes the reading position, so the unread bytes stay intact.
template <typename EndOfRange>
void deleteRanges(std::string& text, std::string_view opener, EndOfRange endOfRange)
{
    const char lead = opener[0];
    char* const data = text.data();
    const std::string_view all(data, text.size());
    std::size_t kept = 0;    // data[0..kept) is the result so far
    std::size_t next = 0;    // data[next..) is unread; kept <= next
    std::size_t matched = 0; // bytes of the opener that the kept part ends with
    const auto keep = [&](std::size_t from, std::size_t count) {
        if (kept != from) std::memmove(data + kept, data + from, count);
        kept += count;
    };
    while (next < all.size()) {
        if (matched == 0) {
            const void* hit = std::memchr(data + next, lead, all.size() - next);
            if (!hit) {
                keep(next, all.size() - next);
                break;
            }
            const std::size_t through = std::size_t(static_cast<const char*>(hit) - data) + 1;
            keep(next, through - next);
            next = through;
            matched = 1;
        } else {
            const char c = data[next];
            keep(next++, 1);
            if (foldAscii(c) == opener[matched])
                ++matched;
            else
                matched = c == lead ? 1 : 0; // the lead byte occurs only at the opener's start
        }
        if (matched == opener.size()) {
            kept -= opener.size();
            next = endOfRange(all, next);
            matched = partialMatchAtEnd(std::string_view(data, kept), opener);
        }
    }
    text.resize(kept);
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
    std::string text(cutToBody(page));
    deleteRanges(text, "<class", [](std::string_view all, std::size_t from) {
        const std::size_t close = all.find('>', from);
        return close == npos ? all.size() : close + 1;
    });
    constexpr std::string_view kScriptEnd = "/script>";
    deleteRanges(text, "<script", [&](std::string_view all, std::size_t from) {
        std::size_t close = findNoCase(all, kScriptEnd, from);
        // "<\/script>" is how a script writes the tag inside one of its strings; it ends
        // nothing. The byte before `from` is the opener's last one, never a backslash.
        while (close != npos && close > from && all[close - 1] == '\\')
            close = findNoCase(all, kScriptEnd, close + 1);
        return close == npos ? all.size() : close + kScriptEnd.size();
    });
    return text;
}

} // namespace larkspur
