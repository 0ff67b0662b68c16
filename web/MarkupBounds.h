#pragma once
// Bounds on the markup handed to the HTML parser. gumbo keeps no limits of its own, and some
// of its steps take time in proportion to the open elements or to the attributes already
// read on a tag, so a page nested a hundred thousand deep takes minutes. A quick scan of
// the source cuts what lies past bounds that real pages stay far below.

#include <cstddef>
#include <string>

namespace larkspur {

struct MarkupBounds
{
    // Browsers stop nesting at about 512 as well; lyrics and dictionary pages stay under 60.
    unsigned maxDepth = 512;
    // Real tags carry a few dozen at most, data-* ones included.
    unsigned maxAttributes = 256;
    // Elements and comments of a whole page; large real pages have under 100,000.
    std::size_t maxNodes = 250000;
    // The page as received, and again its source in UTF-8; the largest real lyrics and
    // dictionary pages have one or two MB.
    std::size_t maxBytes = 8u * 1024 * 1024;
};

struct MarkupCuts
{
    std::size_t bytesCut = 0;
    std::size_t tagsDropped = 0;
    std::size_t attributesDropped = 0;
    bool any() const { return bytesCut || tagsDropped || attributesDropped; }
};

// Cuts UTF-8 source in place to fit the bounds, leaving it untouched when it fits:
// - bytes past maxBytes go (at a character boundary);
// - a start tag that would open an element deeper than maxDepth is dropped with its end
//   tag; its content stays, inside the deepest element kept;
// - after maxNodes elements and comments every further start tag and comment is dropped,
//   and every end tag but those closing an open element; the text between them stays;
//   script and style elements go whole, so their code never turns into text;
// - attributes past maxAttributes are dropped from their tag.
// The depth is followed as the parser builds it for ordinary pages: end tags close up to
// their element, and the usual implied ends (<p>, <li>, table parts) are kept.
MarkupCuts boundMarkup(std::string& source, const MarkupBounds& bounds = {});

} // namespace larkspur
