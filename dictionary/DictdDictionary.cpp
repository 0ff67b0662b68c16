#include "dictionary/DictdDictionary.h"

#include "dictionary/DictdData.h"
#include "dictionary/DictdFile.h"
#include "web/FetchLimits.h"
#include "web/HtmlCharset.h"

#include <algorithm>
#include <cstdint>
#include <set>
#include <tuple>
#include <utility>

namespace larkspur {

namespace {

// dictd writes numbers in base 64, most significant digit first.
std::optional<std::uint64_t> decodeBase64(std::string_view s)
{
    if (s.empty() || s.size() > 10) return std::nullopt;
    std::uint64_t v = 0;
    for (char c : s) {
        int d;
        if (c >= 'A' && c <= 'Z')
            d = c - 'A';
        else if (c >= 'a' && c <= 'z')
            d = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            d = c - '0' + 52;
        else if (c == '+')
            d = 62;
        else if (c == '/')
            d = 63;
        else
            return std::nullopt;
        v = v * 64 + static_cast<std::uint64_t>(d);
    }
    return v;
}

char32_t lowerCodePoint(char32_t c)
{
    if (c >= 'A' && c <= 'Z') return c + 32;
    if (c < 0x80) return c;
    if (c == 0x130) return 'i'; // dotted capital I, as the C library lowers it
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return c | 1;
    if (((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) && (c & 1)) return c + 1;
    if (c == 0x178) return 0xFF;
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 32;
    if (c >= 0x410 && c <= 0x42F) return c + 32;
    if (c >= 0x400 && c <= 0x40F) return c + 80;
    return c;
}

// Whether dictfmt keeps the character in a key when punctuation is ignored.
bool keptInKey(char32_t c)
{
    if (c < 0x80) return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ';
    if (c < 0xC0) return c == 0xAA || c == 0xB5 || c == 0xBA;
    if (c == 0xD7 || c == 0xF7) return false;
    if (c >= 0x2000 && c <= 0x2BFF) return false; // punctuation, symbols, arrows
    if (c >= 0x3000 && c <= 0x303F) return false;
    if (c >= 0xFFF0 && c <= 0xFFFF) return false; // specials, e.g. the replacement character
    return true;
}

// One UTF-8 sequence at `i`; an invalid byte comes back as itself with `valid` false.
char32_t decodeAt(std::string_view s, std::size_t& i, bool& valid)
{
    const auto b = static_cast<unsigned char>(s[i]);
    const std::size_t extra = b >= 0xF0 && b < 0xF8 ? 3 : b >= 0xE0 ? 2 : b >= 0xC2 ? 1 : 0;
    valid = b < 0x80;
    if (extra == 0 || i + extra >= s.size()) {
        ++i;
        return b;
    }
    char32_t c = b & (0x3F >> extra);
    for (std::size_t k = 1; k <= extra; ++k) {
        const auto t = static_cast<unsigned char>(s[i + k]);
        if ((t & 0xC0) != 0x80) {
            ++i;
            return b;
        }
        c = (c << 6) | (t & 0x3F);
    }
    valid = true;
    i += extra + 1;
    return c;
}

} // namespace

std::string dictdKey(std::string_view word, bool allChars)
{
    std::string out;
    out.reserve(word.size());
    for (std::size_t i = 0; i < word.size();) {
        bool valid = true;
        char32_t c = decodeAt(word, i, valid);
        // dictd skips bytes that are no UTF-8 ("über\xff" finds "über").
        if (!valid) continue;
        c = lowerCodePoint(c);
        if (!allChars && (c == '\t' || c == '\n' || c == '\r')) c = ' ';
        if (allChars || keptInKey(c)) appendUtf8(out, c);
    }
    return out;
}

struct DictdDictionary::State
{
    std::filesystem::path base;
    DictdFile index;
    bool allChars = false;
    DictdData data;

    struct Line
    {
        std::uint64_t start = 0;
        std::uint64_t next = 0;
        std::string text;
        bool atEnd = true; // no line starts at or after the position asked for
    };

    // The first line starting at or after `pos`, read in blocks from `pos - 1`.
    Line lineFrom(std::uint64_t pos) const
    {
        Line line;
        std::string buf;
        const std::uint64_t bufStart = pos > 0 ? pos - 1 : 0;
        const auto more = [&] {
            const std::string block = index.readAt(bufStart + buf.size(), 512);
            buf += block;
            return !block.empty();
        };
        std::size_t lineStart = 0;
        if (pos > 0) {
            std::size_t nl;
            while ((nl = buf.find('\n')) == std::string::npos)
                if (buf.size() > kDictdMaxIndexLine || !more()) return line;
            lineStart = nl + 1;
        }
        std::size_t end;
        while ((end = buf.find('\n', lineStart)) == std::string::npos) {
            if (buf.size() - lineStart > kDictdMaxIndexLine || !more()) {
                end = buf.size();
                break;
            }
        }
        if (lineStart >= buf.size()) return line;
        line.start = bufStart + lineStart;
        line.text = buf.substr(lineStart, end - lineStart);
        line.next = bufStart + std::min(end + 1, buf.size());
        line.atEnd = false;
        return line;
    }

    std::string keyOf(const std::string& line) const
    {
        return dictdKey(std::string_view(line).substr(0, line.find('\t')), allChars);
    }

    // Start of the first line whose key is not less than `key`, or the index size.
    std::uint64_t lowerBound(const std::string& key) const
    {
        std::uint64_t lo = 0, hi = index.size();
        while (lo < hi) {
            const std::uint64_t mid = lo + (hi - lo) / 2;
            const Line line = lineFrom(mid);
            if (line.atEnd || keyOf(line.text) >= key)
                hi = mid;
            else
                lo = mid + 1;
        }
        const Line line = lineFrom(lo);
        return line.atEnd ? index.size() : line.start;
    }

    bool hasHeadword(std::string_view raw) const
    {
        const std::string key = dictdKey(raw, allChars);
        const Line line = lineFrom(lowerBound(key));
        return !line.atEnd && keyOf(line.text) == key;
    }
};

std::optional<DictdDictionary> DictdDictionary::open(const std::filesystem::path& basePath,
                                                     std::string* why)
{
    std::string reason;
    if (why) why->clear();
    try {
        auto state = std::make_shared<State>();
        state->base = basePath;
        std::filesystem::path indexPath = basePath;
        indexPath += ".index";
        if (state->index.open(indexPath, reason)) {
            std::filesystem::path zipped = basePath, plain = basePath;
            zipped += ".dict.dz";
            plain += ".dict";
            std::string plainReason;
            if (state->data.open(zipped, reason) || state->data.open(plain, plainReason)) {
                // dictfmt --allchars keeps the header's headwords whole, punctuation included.
                state->allChars = true;
                state->allChars = state->hasHeadword("00-database-allchars");
                return DictdDictionary(std::move(state));
            }
            if (reason.empty()) reason = plainReason;
            if (reason.empty())
                reason = "Cannot use the dictionary \"" + basePath.string() +
                         "\": it has no data file (.dict.dz or .dict).";
        }
    } catch (const std::exception&) {
        reason = "Cannot use the dictionary \"" + basePath.string() + "\": out of memory.";
    }
    if (why) *why = reason;
    return std::nullopt;
}

namespace {

struct IndexEntry
{
    std::string_view headword;
    std::uint64_t offset = 0, length = 0;
};

// Headword, offset and length of an index line; nothing when a field is missing or broken.
std::optional<IndexEntry> parseIndexLine(std::string_view text)
{
    const auto tab1 = text.find('\t');
    if (tab1 == std::string_view::npos) return std::nullopt;
    const auto tab2 = text.find('\t', tab1 + 1);
    if (tab2 == std::string_view::npos) return std::nullopt;
    const auto off = decodeBase64(text.substr(tab1 + 1, tab2 - tab1 - 1));
    const auto len = decodeBase64(text.substr(tab2 + 1, text.find('\t', tab2 + 1) - tab2 - 1));
    if (!off || !len) return std::nullopt;
    return IndexEntry{text.substr(0, tab1), *off, *len};
}

std::string entriesOf(std::size_t n)
{
    return n == 1 ? "1 entry" : std::to_string(n) + " entries";
}

} // namespace

DictdEntries DictdDictionary::find(std::string_view word, std::size_t maxText) const
{
    using Piece = DictdData::Piece;
    DictdEntries found;
    const State& s = *m_state;
    std::size_t broken = 0;
    std::vector<Piece> pieces;
    try {
        const std::string key = dictdKey(word, s.allChars);
        if (key.empty()) return found;
        std::size_t left = std::min(maxText, kDictdMaxLookupText), lines = 0;
        // dictd shows a repeated index line once.
        std::set<std::tuple<std::string, std::uint64_t, std::uint64_t>> seen;
        std::uint64_t pos = s.lowerBound(key);
        for (;;) {
            const State::Line line = s.lineFrom(pos);
            if (line.atEnd || s.keyOf(line.text) != key) break;
            pos = line.next;
            if (++lines > kDictdMaxHeadwordLines) {
                found.cut = "more than " + std::to_string(kDictdMaxHeadwordLines) +
                            " index lines for the word";
                break;
            }
            const auto entry = parseIndexLine(line.text);
            if (!entry) {
                ++broken;
                continue;
            }
            if (!seen.emplace(entry->headword, entry->offset, entry->length).second) continue;
            if (!s.data.mayHold(entry->offset, entry->length)) {
                ++broken;
                continue;
            }
            if (left == 0 && entry->length > 0) {
                found.cut = "more than " + limitText(kDictdMaxLookupText) + " of entries";
                break;
            }
            Piece piece;
            piece.offset = entry->offset;
            piece.length = static_cast<std::size_t>(std::min<std::uint64_t>(entry->length, left));
            left -= piece.length;
            pieces.push_back(std::move(piece));
            if (pieces.back().length < entry->length) {
                found.cut = "more than " + limitText(kDictdMaxLookupText) + " of entries";
                break;
            }
        }
        s.data.read(pieces);
    } catch (const std::exception&) {
        // A failed allocation: nothing read is shown, and the user is told.
        pieces.clear();
        found.problems.push_back("The dictionary \"" + s.base.string() +
                                 "\" ran out of memory in a lookup.");
    }
    std::size_t pastBound = 0;
    for (Piece& piece : pieces) {
        if (piece.outcome == Piece::Outcome::Read)
            found.texts.push_back(std::move(piece.text));
        else if (piece.outcome == Piece::Outcome::PastInflateBound)
            ++pastBound;
        else
            ++broken;
    }
    const std::string leftOut =
        " of \"" + std::string(word) + "\" in \"" + s.base.string() + "\": ";
    if (pastBound > 0)
        found.problems.push_back("Left out " + entriesOf(pastBound) + leftOut + "past the first " +
                                 limitText(static_cast<std::size_t>(kDictdMaxInflated)) +
                                 " that are unpacked of its plain gzip data (not dictzip).");
    if (broken > 0)
        found.problems.push_back("Left out " + entriesOf(broken) + leftOut +
                                 "a broken index line or broken data.");
    return found;
}

std::optional<std::string> lookupEnglishGerman(std::string_view word,
                                               const std::filesystem::path& folder,
                                               std::string* problems)
{
    std::string text, why;
    const auto tell = [&](const std::string& sentence) {
        if (!problems || sentence.empty()) return;
        if (!problems->empty()) *problems += ' ';
        *problems += sentence;
    };
    if (problems) problems->clear();
    for (const char* name : {"freedict-eng-deu", "freedict-deu-eng"}) {
        const auto dictionary = DictdDictionary::open(folder / name, &why);
        tell(why);
        if (!dictionary) continue;
        DictdEntries found = dictionary->find(word, kDictdMaxLookupText -
                                                        std::min(text.size(), kDictdMaxLookupText));
        for (const std::string& sentence : found.problems)
            tell(sentence);
        for (std::string& entry : found.texts) {
            while (!entry.empty() && (entry.back() == '\n' || entry.back() == ' '))
                entry.pop_back();
            if (entry.empty()) continue;
            if (!text.empty()) text += "\n\n";
            text += entry;
        }
        if (!found.cut.empty()) {
            text += "\n\n[The rest is cut: " + found.cut + ".]";
            break;
        }
    }
    if (text.empty()) return std::nullopt;
    return text;
}

} // namespace larkspur
