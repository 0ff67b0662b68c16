#pragma once
// Umlaut entities in rendered page text and percent escapes for search queries.
//
// Encoding: text in and out is UTF-8, the program's encoding. The entity and UTF-8 query
// tables below are tables of letters, each matched as its two UTF-8 bytes; any other byte,
// valid UTF-8 or not, passes through them unchanged. None of these routines throws.

#include <string>
#include <string_view>

namespace larkspur {

// Replaces the entities &auml; &ouml; &uuml; &Auml; &Ouml; &Uuml; &szlig; (exact case, as
// HTML entity names are case-sensitive) by their letters in UTF-8. Every other entity, such
// as &amp;, &AUML; or &#228;, is left as it is.
std::string DecodeUmlautEntities(std::string_view text);

// For the catalogue site, which reads its queries as Latin-1: every character beyond ASCII
// that Latin-1 has becomes the percent escape of its Latin-1 byte (Größe gives Gr%F6%DFe,
// Beyoncé gives Beyonc%E9). A character Latin-1 lacks, or a byte that is no UTF-8, becomes
// "?", as 8-bit text holds it, and is appended to `lacking` when given. ASCII passes
// unchanged: blanks, "&", "%", "+".
std::string EncodeLatin1Query(std::string_view text, std::string* lacking = nullptr);

// For the web search, which reads UTF-8 queries: 27 letters (ä ö ü ß Ä Ö Ü and a e i o u
// with acute or grave accent in both cases) become the percent escapes of their UTF-8 bytes,
// "%C3%" and two upper-case hex digits (Café gives Caf%C3%A9). Nothing else is escaped:
// other accented letters (â, ç, ñ, ...), blanks and punctuation pass unchanged.
std::string EncodeUtf8Query(std::string_view text);

} // namespace larkspur
