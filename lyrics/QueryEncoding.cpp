#include "lyrics/QueryEncoding.h"

#include <algorithm>
#include <array>

namespace larkspur {

namespace {

// Letters are listed by their Latin-1 code, which is also their code point. All of them lie
// in U+00C0..U+00FF, which UTF-8 writes as 0xC3 followed by (code - 0x40).
constexpr unsigned char kUtf8Lead = 0xC3;

constexpr std::array<unsigned char, 27> kUtf8QueryLetters = {
    0xE4, 0xF6, 0xFC, 0xDF, 0xC4, 0xD6, 0xDC,             // ä ö ü ß Ä Ö Ü
    0xE1, 0xE0, 0xE9, 0xE8, 0xED, 0xEC, 0xF3, 0xF2, 0xFA, // á à é è í ì ó ò ú
    0xF9, 0xC1, 0xC0, 0xC9, 0xC8, 0xCD, 0xCC, 0xD3, 0xD2, // ù Á À É È Í Ì Ó Ò
    0xDA, 0xD9,                                           // Ú Ù
};

struct Entity
{
    std::string_view name;
    unsigned char letter;
};

constexpr std::array<Entity, 7> kUmlautEntities = {{
    {"&auml;", 0xE4},
    {"&ouml;", 0xF6},
    {"&uuml;", 0xFC},
    {"&Auml;", 0xC4},
    {"&Ouml;", 0xD6},
    {"&Uuml;", 0xDC},
    {"&szlig;", 0xDF},
}};

void appendUtf8(std::string& out, unsigned char latin1)
{
    out += char(kUtf8Lead);
    out += char(latin1 - 0x40);
}

void appendEscape(std::string& out, unsigned char byte)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += '%';
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
}

// The Latin-1 code of the UTF-8 letter at `i` if it is one of `letters`, else 0.
template <std::size_t N>
unsigned char letterAt(std::string_view text, std::size_t i,
                       const std::array<unsigned char, N>& letters)
{
    if (i + 1 >= text.size() || static_cast<unsigned char>(text[i]) != kUtf8Lead) return 0;
    const unsigned char code = static_cast<unsigned char>(text[i + 1]) + 0x40;
    return std::find(letters.begin(), letters.end(), code) != letters.end() ? code : 0;
}

// One left-to-right scan does what a replace-all pass per table row would: the rows never
// overlap one another, and what they insert is ASCII that no row can match.
template <std::size_t N, typename Emit>
std::string encodeLetters(std::string_view text, const std::array<unsigned char, N>& letters,
                          Emit emit)
{
    std::string out;
    out.reserve(text.size() + text.size() / 4);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (const unsigned char code = letterAt(text, i, letters)) {
            emit(out, code);
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

std::string DecodeUmlautEntities(std::string_view text)
{
    // Entity names are ASCII and the letters put in are not, and no two entities can overlap
    // (each holds one '&'), so one scan equals a replace-all pass per entity.
    std::string out;
    out.reserve(text.size());
    std::size_t from = 0;
    for (std::size_t amp = text.find('&'); amp != std::string_view::npos;
         amp = text.find('&', amp + 1)) {
        const std::string_view rest = text.substr(amp);
        const auto entity = std::find_if(kUmlautEntities.begin(), kUmlautEntities.end(),
                                         [&](const Entity& e) { return rest.starts_with(e.name); });
        if (entity == kUmlautEntities.end()) continue;
        out.append(text, from, amp - from);
        appendUtf8(out, entity->letter);
        from = amp + entity->name.size();
        amp = from - 1;
    }
    out.append(text, from);
    return out;
}

std::string EncodeLatin1Query(std::string_view text, std::string* lacking)
{
    const auto continuation = [&](std::size_t i) {
        return i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80;
    };
    std::string out;
    out.reserve(text.size() + text.size() / 4);
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            out += text[i++];
            continue;
        }
        // U+0080..U+00FF is C2 or C3 and one continuation byte.
        if ((b == 0xC2 || b == kUtf8Lead) && continuation(i + 1)) {
            appendEscape(out,
                         static_cast<unsigned char>(
                             ((b & 0x03) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3F)));
            i += 2;
            continue;
        }
        // Anything else is one "?": a whole sequence, or one byte that starts none.
        std::size_t length = b >= 0xF0 && b <= 0xF4  ? 4
                             : b >= 0xE0 && b < 0xF0 ? 3
                             : b >= 0xC4 && b < 0xE0 ? 2
                                                     : 1;
        for (std::size_t k = 1; k < length; ++k)
            if (!continuation(i + k)) length = 1;
        if (lacking) lacking->append(text.substr(i, length));
        out += '?';
        i += length;
    }
    return out;
}

std::string EncodeUtf8Query(std::string_view text)
{
    return encodeLetters(text, kUtf8QueryLetters, [](std::string& out, unsigned char code) {
        appendEscape(out, kUtf8Lead);
        appendEscape(out, code - 0x40);
    });
}

} // namespace larkspur
