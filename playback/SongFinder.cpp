#include "playback/SongFinder.h"

#include <array>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace larkspur {

namespace {

constexpr std::array<unsigned char, 256> makeFoldTable()
{
    std::array<unsigned char, 256> t{};
    for (int i = 0; i < 256; ++i)
        t[static_cast<std::size_t>(i)] =
            static_cast<unsigned char>(i >= 'A' && i <= 'Z' ? i + 32 : i);
    return t;
}

constexpr std::array<unsigned char, 256> kFold = makeFoldTable();

inline unsigned char fold(char c)
{
    return kFold[static_cast<unsigned char>(c)];
}

bool isLowerLetter(unsigned char c)
{
    return c >= 'a' && c <= 'z';
}

// piece is in lower case; text at least piece.size() long.
inline bool equalFolded(const char* text, std::string_view piece)
{
    for (std::size_t i = 0; i < piece.size(); ++i)
        if (fold(text[i]) != static_cast<unsigned char>(piece[i])) return false;
    return true;
}

bool containsFoldedScalar(std::string_view text, std::size_t from, std::string_view piece)
{
    const std::size_t m = piece.size();
    const unsigned char first = static_cast<unsigned char>(piece[0]);
    const unsigned char last = static_cast<unsigned char>(piece[m - 1]);
    for (std::size_t i = from; i + m <= text.size(); ++i) {
        if (fold(text[i]) != first || fold(text[i + m - 1]) != last) continue;
        if (equalFolded(text.data() + i + 1, piece.substr(1))) return true;
    }
    return false;
}

// Case-folded substring search. On x86 sixteen start positions are screened at once by
// their first and last byte, and only the candidates are compared in full.
bool containsFolded(std::string_view text, std::string_view piece)
{
    const std::size_t m = piece.size();
    if (m > text.size()) return false;
    std::size_t i = 0;
#if defined(__SSE2__)
    const unsigned char first = static_cast<unsigned char>(piece[0]);
    const unsigned char last = static_cast<unsigned char>(piece[m - 1]);
    // Setting bit 5 folds exactly the two cases of a letter onto its lower case.
    const __m128i firstCase = _mm_set1_epi8(static_cast<char>(isLowerLetter(first) ? 0x20 : 0));
    const __m128i lastCase = _mm_set1_epi8(static_cast<char>(isLowerLetter(last) ? 0x20 : 0));
    const __m128i firstByte = _mm_set1_epi8(static_cast<char>(first));
    const __m128i lastByte = _mm_set1_epi8(static_cast<char>(last));
    const char* p = text.data();
    for (; i + m - 1 + 16 <= text.size(); i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + m - 1));
        const __m128i hit = _mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(a, firstCase), firstByte),
                                          _mm_cmpeq_epi8(_mm_or_si128(b, lastCase), lastByte));
        unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(hit));
        while (bits != 0) {
            const unsigned k = static_cast<unsigned>(__builtin_ctz(bits));
            if (m <= 2 || equalFolded(p + i + k + 1, piece.substr(1, m - 2))) return true;
            bits &= bits - 1;
        }
    }
#endif
    return containsFoldedScalar(text, i, piece);
}

} // namespace

SearchPattern::SearchPattern(std::string_view pattern)
{
    if (pattern.empty()) {
        m_matchesNothing = true;
        return;
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t star = pattern.find('*', start);
        const std::string_view piece = pattern.substr(start, star - start);
        if (piece.empty()) {
            m_matchesNothing = true;
            return;
        }
        std::string folded(piece);
        for (char& c : folded)
            c = static_cast<char>(fold(c));
        m_pieces.push_back(std::move(folded));
        if (star == std::string_view::npos) break;
        start = star + 1;
    }
}

bool SearchPattern::matches(std::string_view entry) const
{
    if (m_matchesNothing || entry.empty()) return false;
    for (const std::string& piece : m_pieces)
        if (!containsFolded(entry, piece)) return false;
    return true;
}

bool MatchesSearch(std::string_view Entry, std::string_view Pattern)
{
    return SearchPattern(Pattern).matches(Entry);
}

std::vector<std::size_t> findSongs(const SongList& list, std::string_view pattern)
{
    const SearchPattern search(pattern);
    std::vector<std::size_t> rows;
    for (std::size_t i = 0; i < list.count(); ++i)
        if (search.matches(list.get(i))) rows.push_back(i);
    return rows;
}

} // namespace larkspur
