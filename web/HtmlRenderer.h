#pragma once
// A page's rendered text, as a browser with scripting switched off gives it for the body's
// innerText.
//
// Rules: no script, style, template or head content; nothing the page's own styles hide
// (display:none or visibility:hidden through simple selectors, also inside @media blocks that
// apply to a 1280 x 1024 window, or the style attribute) or the hidden attribute hides;
// <noscript> content shows. Block elements stand on lines of their own, <p> is set off by an
// empty line, <br> breaks the line, table cells are separated by tabs and rows by line
// breaks; a display the page's styles give an element counts as that element's own. White
// space collapses except where it is preserved (<pre>, white-space: pre...). text-transform
// changes letter case. Entities are decoded. Line breaks are CR LF; the text is UTF-8.

#include <string>
#include <string_view>

namespace larkspur {

class HtmlDocument;

// Parses bytes (charset from headerCharset, else the page, else sniffed) and renders them.
std::string renderInnerText(std::string_view bytes, std::string_view headerCharset = {});

// The rendered text of an already parsed document's body; empty without a body.
std::string renderBodyText(const HtmlDocument& document);

} // namespace larkspur
