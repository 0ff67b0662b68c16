#pragma once
// The dictionary lookup of one lyrics word: which word, which URL, which part of the page.
// Pure functions on UTF-8 bytes; none throws (apart from std::bad_alloc).

#include <cstddef>
#include <string>
#include <string_view>

namespace larkspur {

// The dictionary's result page lists its entries between these two texts (case-sensitive).
inline constexpr std::string_view kTranslationStart = "ENGLISCH DEUTSCH";
inline constexpr std::string_view kTranslationEnd = "Legende";

// The run of ASCII letters that holds the byte just before `caret` (a byte offset into
// `text`, the memo's text with CR LF line breaks), trimmed. Any other byte ends the run,
// so every byte of a UTF-8 umlaut does: "Mädchen" with the caret at its end gives "dchen".
// Empty when that byte is no letter or the caret is at the start; a caret past the end
// counts as at the end.
std::string wordAtCaret(std::string_view text, std::size_t caret);

// The word as it goes into the query: blanks, "&", "#", "%", "+" and control characters
// become percent escapes, as they would otherwise end or change the query; every other byte
// stays as it is (the browser escapes bytes from 128 up itself).
std::string encodeDictionaryWord(std::string_view word);

// The built-in dictionary, or LARKSPUR_DICTIONARY_URL (scheme, host, optional port) when
// set; without a trailing slash.
std::string dictionaryHost();

// The result page's address for `word` at `host`.
std::string dictionaryUrl(std::string_view host, std::string_view word);

// What the translation frame shows of the page's rendered text: from the table heading up
// to just before the legend, as far as either marker is there.
std::string translationSection(std::string_view pageText);

} // namespace larkspur
