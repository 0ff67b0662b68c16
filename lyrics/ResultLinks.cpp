#include "lyrics/ResultLinks.h"

#include "lyrics/TextRoutines.h"

namespace larkspur {

namespace {

std::size_t findNoCase(std::string_view text, std::string_view marker)
{
    return FoldAsciiLowercase(std::string(text)).find(FoldAsciiLowercase(std::string(marker)));
}

// Steps shared by both rules: up to the link end, then from past "href=" and its quote.
std::string linkStart(std::string_view text)
{
    const std::size_t end = findNoCase(text, kLinkEnd);
    std::string s(text.substr(0, end == std::string_view::npos ? text.size() : end + 1));
    const std::size_t href = s.find("href=");
    const std::size_t from = href == std::string::npos ? 5 : href + 6;
    return from < s.size() ? s.substr(from) : std::string();
}

void cutAt(std::string& s, char c)
{
    const std::size_t at = s.find(c);
    if (at != std::string::npos) s.erase(at);
}

} // namespace

std::optional<std::string> textAfterMarker(std::string_view text, std::string_view marker)
{
    // An empty marker marks nothing (and "just after" it would lie past an empty text).
    if (marker.empty()) return std::nullopt;
    const std::size_t at = findNoCase(text, marker);
    if (at == std::string_view::npos) return std::nullopt;
    return std::string(text.substr(at + 1));
}

bool hasLinkEnd(std::string_view text) { return findNoCase(text, kLinkEnd) != std::string_view::npos; }

std::string resultLinkA(std::string_view text)
{
    std::string s = linkStart(text);
    cutAt(s, '>');
    if (!s.empty() && s.back() == '"') s.back() = ' ';
    return s;
}

std::string resultLinkB(std::string_view text)
{
    std::string s = linkStart(text);
    cutAt(s, '"');
    cutAt(s, '\\');
    return s;
}

std::string dropThroughBannerEnd(std::string_view page)
{
    const std::size_t at = page.find(kBannerEnd);
    const std::size_t from = at == std::string_view::npos ? 35 : at + kBannerEnd.size();
    return from < page.size() ? std::string(page.substr(from)) : std::string();
}

} // namespace larkspur
