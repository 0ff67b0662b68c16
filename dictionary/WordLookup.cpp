#include "dictionary/WordLookup.h"

#include "lyrics/AsciiText.h"
#include "lyrics/TextRoutines.h"
#include "web/HttpUrl.h"

#include <algorithm>
#include <cstdlib>

namespace larkspur {

namespace {

constexpr std::string_view kBuiltInHost = "http://dict.leo.org";
constexpr std::string_view kQueryTail =
    "&searchLoc=0&relink=on&spellToler=std&sectHdr=on&tableBorder=1&cmpType=relaxed&lang=de";

} // namespace

std::string wordAtCaret(std::string_view text, std::size_t caret)
{
    const std::size_t c = std::min(caret, text.size());
    if (c == 0) return {};
    // Positions count from 1: text[p - 1] is the byte at position p.
    std::size_t i = c;
    while (i > 0 && isAsciiLetter(text[i - 1]))
        --i;
    std::size_t j = c;
    while (j <= text.size() && isAsciiLetter(text[j - 1]))
        ++j;
    if (j <= i + 1) return {};
    return TrimControls(std::string(text.substr(i, j - 1 - i)));
}

std::string encodeDictionaryWord(std::string_view word)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(word.size());
    for (const char ch : word) {
        const auto b = static_cast<unsigned char>(ch);
        if (b <= 0x20 || b == 0x7F || ch == '&' || ch == '#' || ch == '%' || ch == '+') {
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

std::string dictionaryHost() { return siteHost("LARKSPUR_DICTIONARY_URL", kBuiltInHost); }

std::string dictionaryUrl(std::string_view host, std::string_view word)
{
    return std::string(host) + "/?search=" + encodeDictionaryWord(word) + std::string(kQueryTail);
}

std::string translationSection(std::string_view pageText)
{
    return CutBetween(pageText, kTranslationStart, kTranslationEnd);
}

} // namespace larkspur
