#pragma once
// Which character set a page is in, and its conversion to the program's encoding (UTF-8).

#include <cstdint>
#include <string>
#include <string_view>

namespace larkspur {

// The charset parameter of a Content-Type header value ("text/html; charset=ISO-8859-1"),
// unquoted and without surrounding blanks; empty when there is none.
std::string charsetFromContentType(std::string_view contentType);

// The charset named by the first <meta charset=...> or <meta http-equiv=content-type
// content="...charset=..."> before the body starts; empty when there is none.
std::string charsetFromMetaTags(std::string_view html);

// The character set to decode a page with, as a canonical name ("UTF-8", "windows-1252",
// "UTF-16LE", ... or another name iconv knows). Order: a byte order mark, the header's
// charset, the page's meta tag, UTF-16 by its pattern of zero bytes, valid UTF-8, else
// windows-1252. Unknown names are skipped.
std::string detectHtmlCharset(std::string_view bytes, std::string_view headerCharset = {});

// The page's bytes in UTF-8, without a byte order mark. Bytes that are not valid in the
// charset become U+FFFD. An unknown charset is treated as windows-1252.
std::string decodeToUtf8(std::string_view bytes, std::string_view charset);

// A fetched page's bytes in UTF-8, decoded by the charset of the answer's Content-Type
// value (`contentType`, "text/html; charset=windows-1251"), else the page's meta tag, else as
// UTF-8 when they are valid UTF-8, else as windows-1252; a byte order mark wins over all
// (detectHtmlCharset). Convert before anything cuts the page's head away.
std::string htmlPageToUtf8(std::string_view bytes, std::string_view contentType);

// True when the bytes are well-formed UTF-8 (no overlongs, surrogates or values past U+10FFFF).
bool isValidUtf8(std::string_view bytes);

// Appends the code point as UTF-8.
void appendUtf8(std::string& out, uint32_t cp);

} // namespace larkspur
