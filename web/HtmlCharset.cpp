#include "web/HtmlCharset.h"
#include "web/HtmlText.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <iconv.h>

namespace larkspur {

namespace {

using htmltext::isBlank;
using htmltext::lower;
using htmltext::lowered;
using htmltext::trimmed;

bool startsWithNoCase(std::string_view text, size_t pos, std::string_view word)
{
    if (pos > text.size() || text.size() - pos < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i)
        if (lower(text[pos + i]) != word[i]) return false;
    return true;
}

// The value after "charset" and "=" in a header or a meta content attribute.
std::string charsetParameter(std::string_view text)
{
    const std::string low = lowered(text);
    size_t from = 0;
    while (true) {
        const size_t at = low.find("charset", from);
        if (at == std::string::npos) return {};
        size_t pos = at + 7;
        while (pos < low.size() && isBlank(low[pos]))
            ++pos;
        if (pos >= low.size() || low[pos] != '=') {
            from = at + 7;
            continue;
        }
        ++pos;
        while (pos < low.size() && isBlank(low[pos]))
            ++pos;
        if (pos >= low.size()) return {};
        if (text[pos] == '"' || text[pos] == '\'') {
            const char quote = text[pos];
            const size_t end = text.find(quote, pos + 1);
            if (end == std::string_view::npos) return {};
            return std::string(trimmed(text.substr(pos + 1, end - pos - 1)));
        }
        size_t end = pos;
        while (end < text.size() && !isBlank(text[end]) && text[end] != ';')
            ++end;
        return std::string(text.substr(pos, end - pos));
    }
}

bool iconvKnows(const std::string& name)
{
    iconv_t cd = iconv_open("UTF-8", name.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    iconv_close(cd);
    return true;
}

// The canonical name for a charset label, or empty when nothing can decode it.
std::string canonicalCharset(std::string_view label)
{
    const std::string name = lowered(trimmed(label));
    if (name.empty()) return {};
    if (name == "utf-8" || name == "utf8" || name == "unicode-1-1-utf-8") return "UTF-8";
    // Browsers read all of these as windows-1252; it is a superset of Latin-1 and ASCII.
    static constexpr std::array<std::string_view, 16> western = {
        "windows-1252", "cp1252",      "x-cp1252",        "iso-8859-1",
        "iso8859-1",    "iso_8859-1",  "latin1",          "l1",
        "us-ascii",     "ascii",       "cp819",           "ibm819",
        "iso-ir-100",   "csisolatin1", "iso_8859-1:1987", "ansi_x3.4-1968"};
    for (std::string_view w : western)
        if (name == w) return "windows-1252";
    if (name == "utf-16" || name == "utf-16le") return "UTF-16LE";
    if (name == "utf-16be") return "UTF-16BE";
    if (iconvKnows(name)) return name;
    return {};
}


constexpr uint32_t kReplacement = 0xFFFD;

// Length of the well-formed UTF-8 sequence at pos, or 0 when it is not one.
size_t utf8SequenceLength(std::string_view s, size_t pos)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char b0 = byte(pos);
    if (b0 < 0x80) return 1;
    size_t len = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        if (b0 == 0xE0) lo = 0xA0;
        if (b0 == 0xED) hi = 0x9F; // no surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        if (b0 == 0xF0) lo = 0x90;
        if (b0 == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (s.size() - pos < len) return 0;
    if (byte(pos + 1) < lo || byte(pos + 1) > hi) return 0;
    for (size_t i = 2; i < len; ++i)
        if ((byte(pos + i) & 0xC0) != 0x80) return 0;
    return len;
}

std::string fromUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    size_t pos = 0;
    while (pos < bytes.size()) {
        // Copy runs of ASCII at once: most pages are mostly ASCII.
        size_t run = pos;
        while (run < bytes.size() && static_cast<unsigned char>(bytes[run]) < 0x80)
            ++run;
        out.append(bytes.substr(pos, run - pos));
        pos = run;
        if (pos >= bytes.size()) break;
        const size_t len = utf8SequenceLength(bytes, pos);
        if (len == 0) {
            appendUtf8(out, kReplacement);
            ++pos;
        } else {
            out.append(bytes.substr(pos, len));
            pos += len;
        }
    }
    return out;
}

// Code points of windows-1252 bytes 0x80-0x9F; the undefined five map to C1 controls as in
// browsers.
constexpr std::array<uint16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::string fromWindows1252(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80)
            out += c;
        else if (b < 0xA0)
            appendUtf8(out, kCp1252High[b - 0x80]);
        else
            appendUtf8(out, b);
    }
    return out;
}

std::string fromUtf16(std::string_view bytes, bool bigEndian)
{
    std::string out;
    out.reserve(bytes.size());
    const auto unit = [&](size_t i) -> uint32_t {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        return bigEndian ? (a << 8 | b) : (b << 8 | a);
    };
    size_t pos = 0;
    while (pos + 1 < bytes.size()) {
        const uint32_t u = unit(pos);
        pos += 2;
        if (u >= 0xD800 && u <= 0xDBFF && pos + 1 < bytes.size()) {
            const uint32_t v = unit(pos);
            if (v >= 0xDC00 && v <= 0xDFFF) {
                pos += 2;
                appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
                continue;
            }
        }
        appendUtf8(out, (u >= 0xD800 && u <= 0xDFFF) ? kReplacement : u);
    }
    if (pos < bytes.size()) appendUtf8(out, kReplacement);
    return out;
}

std::string fromIconv(std::string_view bytes, const std::string& charset)
{
    iconv_t cd = iconv_open("UTF-8", charset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return fromWindows1252(bytes);
    std::string out;
    std::array<char, 16384> buffer{};
    std::string input(bytes);
    char* in = input.data();
    size_t inLeft = input.size();
    while (inLeft > 0) {
        char* outPtr = buffer.data();
        size_t outLeft = buffer.size();
        const size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer.data(), buffer.size() - outLeft);
        if (rc != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) continue;
        // A byte the charset does not allow, or a sequence cut off at the end.
        appendUtf8(out, kReplacement);
        ++in;
        --inLeft;
    }
    iconv_close(cd);
    // Some of iconv's names for UTF-8 ("utf%8") reach its own decoder, which lets through
    // the old five- and six-byte forms; the page's text must still be UTF-8.
    return isValidUtf8(out) ? out : fromUtf8(out);
}

std::string_view withoutBom(std::string_view bytes, std::string_view charset)
{
    if (charset == "UTF-8" && bytes.starts_with("\xEF\xBB\xBF")) return bytes.substr(3);
    if (charset == "UTF-16LE" && bytes.starts_with("\xFF\xFE")) return bytes.substr(2);
    if (charset == "UTF-16BE" && bytes.starts_with("\xFE\xFF")) return bytes.substr(2);
    return bytes;
}

// Reads one tag's attributes starting after its name; stops after the closing '>'.
template <typename Visit> size_t readAttributes(std::string_view html, size_t pos, Visit visit)
{
    while (pos < html.size()) {
        while (pos < html.size() && (isBlank(html[pos]) || html[pos] == '/'))
            ++pos;
        if (pos >= html.size()) break;
        if (html[pos] == '>') return pos + 1;
        const size_t nameStart = pos;
        while (pos < html.size() && !isBlank(html[pos]) && html[pos] != '=' && html[pos] != '>' &&
               html[pos] != '/')
            ++pos;
        const std::string name = lowered(html.substr(nameStart, pos - nameStart));
        while (pos < html.size() && isBlank(html[pos]))
            ++pos;
        std::string_view value;
        if (pos < html.size() && html[pos] == '=') {
            ++pos;
            while (pos < html.size() && isBlank(html[pos]))
                ++pos;
            if (pos < html.size() && (html[pos] == '"' || html[pos] == '\'')) {
                const char quote = html[pos];
                const size_t end = html.find(quote, pos + 1);
                const size_t stop = end == std::string_view::npos ? html.size() : end;
                value = html.substr(pos + 1, stop - pos - 1);
                pos = stop + 1;
            } else {
                const size_t start = pos;
                while (pos < html.size() && !isBlank(html[pos]) && html[pos] != '>')
                    ++pos;
                value = html.substr(start, pos - start);
            }
        }
        visit(name, value);
    }
    return html.size();
}

} // namespace

void appendUtf8(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string charsetFromContentType(std::string_view contentType)
{
    return charsetParameter(contentType);
}

std::string charsetFromMetaTags(std::string_view html)
{
    // Meta tags belong in the head; past this much the page is not going to name its charset.
    constexpr size_t kScanLimit = 256 * 1024;
    const std::string_view scan = html.substr(0, std::min(html.size(), kScanLimit));
    size_t pos = 0;
    while ((pos = scan.find('<', pos)) != std::string_view::npos) {
        if (scan.substr(pos, 4) == "<!--") {
            const size_t end = scan.find("-->", pos + 4);
            if (end == std::string_view::npos) return {};
            pos = end + 3;
            continue;
        }
        if (startsWithNoCase(scan, pos, "<body")) return {};
        if (startsWithNoCase(scan, pos, "<meta") && pos + 5 < scan.size() &&
            (isBlank(scan[pos + 5]) || scan[pos + 5] == '/')) {
            std::string charset, content;
            bool contentType = false;
            pos = readAttributes(scan, pos + 5, [&](const std::string& name, std::string_view v) {
                if (name == "charset" && charset.empty()) charset = trimmed(v);
                if (name == "content" && content.empty()) content = v;
                if (name == "http-equiv") contentType = lowered(trimmed(v)) == "content-type";
            });
            if (charset.empty() && contentType) charset = charsetParameter(content);
            if (!charset.empty()) return charset;
            continue;
        }
        ++pos;
    }
    return {};
}

std::string htmlPageToUtf8(std::string_view bytes, std::string_view contentType)
{
    return decodeToUtf8(bytes, detectHtmlCharset(bytes, charsetFromContentType(contentType)));
}

bool isValidUtf8(std::string_view bytes)
{
    size_t pos = 0;
    while (pos < bytes.size()) {
        if (static_cast<unsigned char>(bytes[pos]) < 0x80) {
            ++pos;
            continue;
        }
        const size_t len = utf8SequenceLength(bytes, pos);
        if (len == 0) return false;
        pos += len;
    }
    return true;
}

namespace {

// UTF-16 without a byte order mark: markup is mostly ASCII, so nearly every other byte is
// zero. Read as UTF-8 it would be valid but give tags as text between NULs.
std::string sniffUtf16(std::string_view bytes)
{
    const size_t pairs = std::min<size_t>(bytes.size(), 1024) / 2;
    if (pairs < 8) return {};
    size_t zeroHigh[2] = {0, 0}; // pairs whose second (LE) or first (BE) byte alone is zero
    for (size_t i = 0; i < pairs; ++i) {
        const bool first = bytes[2 * i] == 0;
        const bool second = bytes[2 * i + 1] == 0;
        if (second && !first) ++zeroHigh[0];
        if (first && !second) ++zeroHigh[1];
    }
    if (zeroHigh[0] * 10 >= pairs * 9) return "UTF-16LE";
    if (zeroHigh[1] * 10 >= pairs * 9) return "UTF-16BE";
    return {};
}

} // namespace

std::string detectHtmlCharset(std::string_view bytes, std::string_view headerCharset)
{
    // A byte order mark is the strongest sign there is; browsers let it win over the header.
    if (bytes.starts_with("\xEF\xBB\xBF")) return "UTF-8";
    if (bytes.starts_with("\xFF\xFE")) return "UTF-16LE";
    if (bytes.starts_with("\xFE\xFF")) return "UTF-16BE";
    if (std::string fromHeader = canonicalCharset(headerCharset); !fromHeader.empty())
        return fromHeader;
    if (std::string fromMeta = canonicalCharset(charsetFromMetaTags(bytes)); !fromMeta.empty()) {
        // A page read as ASCII-compatible bytes cannot really be UTF-16.
        if (fromMeta.starts_with("UTF-16")) return "UTF-8";
        return fromMeta;
    }
    if (std::string wide = sniffUtf16(bytes); !wide.empty()) return wide;
    return isValidUtf8(bytes) ? "UTF-8" : "windows-1252";
}

std::string decodeToUtf8(std::string_view bytes, std::string_view charset)
{
    std::string name = canonicalCharset(charset);
    if (name.empty()) name = "windows-1252";
    bytes = withoutBom(bytes, name);
    if (name == "UTF-8") return fromUtf8(bytes);
    if (name == "windows-1252") return fromWindows1252(bytes);
    if (name == "UTF-16LE") return fromUtf16(bytes, false);
    if (name == "UTF-16BE") return fromUtf16(bytes, true);
    return fromIconv(bytes, name);
}

} // namespace larkspur
