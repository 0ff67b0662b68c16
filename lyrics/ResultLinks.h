#pragma once
// Links out of a search engine's result page, read the way the harvest reads them: markers
// matched in a lower-case copy, "href=" with exact case, no HTML parsing.

#include <optional>
#include <string>
#include <string_view>

namespace larkspur {

inline constexpr std::string_view kResultMarker = "<p class=g>";
inline constexpr std::string_view kSecondResultMarker = "<p class=fl>";
inline constexpr std::string_view kLinkEnd = "</a>";
// A fallback page's banner ends here; what follows is the page's own text.
inline constexpr std::string_view kBannerEnd = "</td></tr></table></td></tr></table>";

// The text from just after the "<" of the first `marker` (ASCII case ignored); nothing
// when the marker is missing or empty.
std::optional<std::string> textAfterMarker(std::string_view text, std::string_view marker);

// True when the link end occurs in the text (ASCII case ignored).
bool hasLinkEnd(std::string_view text);

// The first result's link: the text up to the "<" of the first "</a>", from 6 characters
// past "href=" (past the quote after it), cut at the first ">"; a final double quote
// becomes a blank, so a quoted href that ends its anchor gives the address and one blank.
std::string resultLinkA(std::string_view text);

// The next result's link: as above up to the href, then cut at the first double quote and
// at the first backslash.
std::string resultLinkB(std::string_view text);

// Drops everything through the first banner end marker (a page without it keeps the text
// from its 36th character on).
std::string dropThroughBannerEnd(std::string_view page);

} // namespace larkspur
