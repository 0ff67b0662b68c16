#include "web/TextTransform.h"

#include "web/HtmlCharset.h"

namespace larkspur {

namespace {

// Length of the valid UTF-8 sequence at s[i] and its code point; 0 when invalid.
size_t decode(std::string_view s, size_t i, char32_t& cp)
{
    const auto b = static_cast<unsigned char>(s[i]);
    size_t len;
    if (b >= 0xF0 && b <= 0xF4) {
        len = 4;
        cp = b & 0x07;
    } else if (b >= 0xE0) {
        len = 3;
        cp = b & 0x0F;
    } else if (b >= 0xC2 && b < 0xE0) {
        len = 2;
        cp = b & 0x1F;
    } else {
        return 0;
    }
    if (i + len > s.size()) return 0;
    for (size_t k = 1; k < len; ++k) {
        const auto c = static_cast<unsigned char>(s[i + k]);
        if ((c & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (c & 0x3F);
    }
    const char32_t least = len == 2 ? 0x80 : len == 3 ? 0x800 : 0x10000;
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}


bool isAsciiWordChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '\'';
}

bool isWordChar(char32_t cp)
{
    if (cp < 0x80) return isAsciiWordChar(static_cast<char>(cp));
    if (cp < 0xC0) return cp == 0xAA || cp == 0xB5 || cp == 0xBA; // ª µ º; the rest is symbols
    if (cp == 0xD7 || cp == 0xF7) return false;
    if (cp == 0x2019) return true;                  // the typographic apostrophe
    if (cp >= 0x2000 && cp <= 0x2BFF) return false; // punctuation, arrows, symbols
    if (cp >= 0x2E00 && cp <= 0x2E7F) return false;
    if (cp >= 0x3000 && cp <= 0x303F) return false; // CJK punctuation
    if (cp >= 0xFF01 && cp <= 0xFF0F) return false;
    return true;
}

// Latin Extended-A pairs an upper- and a lower-case letter on neighbouring code points; in
// these stretches the upper one is even, elsewhere odd.
bool upperIsEven(char32_t c)
{
    return c <= 0x137 || (c >= 0x14A && c <= 0x177);
}

char32_t upperOf(char32_t c)
{
    if (c >= 'a' && c <= 'z') return c - 32;
    if (c < 0xB5) return c;
    if (c == 0xB5) return 0x39C;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
    if (c == 0xFF) return 0x178;
    if (c >= 0x100 && c <= 0x17F) {
        if (c == 0x131) return 'I';
        if (c == 0x17F) return 'S';
        if (c == 0x130 || c == 0x138 || c == 0x149 || c == 0x178) return c;
        const bool isUpper = upperIsEven(c) == (c % 2 == 0);
        return isUpper ? c : c - 1;
    }
    if ((c >= 0x3B1 && c <= 0x3CB) && c != 0x3C2) return c - 32;
    if (c == 0x3C2) return 0x3A3; // final sigma
    if (c == 0x3AC) return 0x386;
    if (c >= 0x3AD && c <= 0x3AF) return c - 37;
    if (c == 0x3CC) return 0x38C;
    if (c == 0x3CD || c == 0x3CE) return c - 63;
    if (c >= 0x430 && c <= 0x44F) return c - 32;
    if (c >= 0x450 && c <= 0x45F) return c - 80;
    return c;
}

char32_t lowerOf(char32_t c)
{
    if (c >= 'A' && c <= 'Z') return c + 32;
    if (c < 0xC0) return c;
    if (c <= 0xDE && c != 0xD7) return c + 32;
    if (c == 0x178) return 0xFF;
    if (c >= 0x100 && c <= 0x17F) {
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
        const bool isUpper = upperIsEven(c) == (c % 2 == 0);
        return isUpper ? c + 1 : c;
    }
    if ((c >= 0x391 && c <= 0x3AB) && c != 0x3A2) return c + 32;
    if (c == 0x386) return 0x3AC;
    if (c >= 0x388 && c <= 0x38A) return c + 37;
    if (c == 0x38C) return 0x3CC;
    if (c == 0x38E || c == 0x38F) return c + 63;
    if (c >= 0x410 && c <= 0x42F) return c + 32;
    if (c >= 0x400 && c <= 0x40F) return c + 80;
    if (c == 0x1E9E) return 0xDF;
    return c;
}

// The letters whose case change is more than one code point.
void appendUpper(std::string& out, char32_t cp, bool title)
{
    if (cp == 0xDF)
        out += title ? "Ss" : "SS";
    else if (cp == 0x149)
        out += "\xCA\xBCN"; // the apostrophe stays, then N
    else
        appendUtf8(out, upperOf(cp));
}

void appendLower(std::string& out, char32_t cp)
{
    if (cp == 0x130)
        out += "i\xCC\x87"; // i and a combining dot above
    else
        appendUtf8(out, lowerOf(cp));
}

} // namespace

bool endsInWord(std::string_view text)
{
    if (text.empty()) return false;
    size_t i = text.size() - 1;
    if (static_cast<unsigned char>(text[i]) < 0x80) return isAsciiWordChar(text[i]);
    while (i > 0 && text.size() - i < 4 && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
        --i;
    char32_t cp;
    const size_t len = decode(text, i, cp);
    return len == 0 || i + len != text.size() || isWordChar(cp);
}

void appendTransformed(std::string& out, std::string_view run, TextTransformKind kind,
                       bool& wordStart)
{
    if (run.empty()) return;
    if (kind != TextTransformKind::Uppercase && kind != TextTransformKind::Lowercase &&
        kind != TextTransformKind::Capitalize) {
        out.append(run);
        wordStart = !endsInWord(run);
        return;
    }
    size_t i = 0;
    while (i < run.size()) {
        char c = run[i];
        if (static_cast<unsigned char>(c) < 0x80) {
            if (kind == TextTransformKind::Uppercase ||
                (kind == TextTransformKind::Capitalize && wordStart)) {
                if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
            } else if (kind == TextTransformKind::Lowercase) {
                if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
            }
            out += c;
            wordStart = !isAsciiWordChar(c);
            ++i;
            continue;
        }
        char32_t cp;
        const size_t len = decode(run, i, cp);
        if (len == 0) {
            out += c; // not UTF-8: copied as it is
            wordStart = false;
            ++i;
            continue;
        }
        if (kind == TextTransformKind::Uppercase)
            appendUpper(out, cp, false);
        else if (kind == TextTransformKind::Lowercase)
            appendLower(out, cp);
        else if (wordStart)
            appendUpper(out, cp, true);
        else
            out.append(run.substr(i, len));
        wordStart = !isWordChar(cp);
        i += len;
    }
}

} // namespace larkspur
