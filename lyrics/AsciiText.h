#pragma once
// Byte-level pieces that the lyrics text routines share. Only the ASCII letters count as letters
// and only they are folded; every byte from 128 up (UTF-8 sequences included) is left as it
// is, so folding never changes a length or a position.

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace larkspur {

constexpr bool isAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

constexpr bool isAsciiDigit(char c)
{
    return c >= '0' && c <= '9';
}

constexpr char foldAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

// Position of the first occurrence of `foldedNeedle` (already lowercase) in `haystack` at or
// after `from`, comparing with ASCII case ignored; npos when there is none. An empty needle
// is never found.
inline std::size_t findNoCase(std::string_view haystack, std::string_view foldedNeedle,
                              std::size_t from = 0)
{
    const std::size_t m = foldedNeedle.size();
    if (m == 0 || from > haystack.size() || haystack.size() - from < m)
        return std::string_view::npos;
    const char first = foldedNeedle[0];
    const std::size_t last = haystack.size() - m; // the last start that fits
    for (std::size_t i = from; i <= last; ++i) {
        if (!isAsciiLetter(first)) {
            // Markers mostly begin with '<' or '/': let memchr skip to the candidates.
            const void* hit = std::memchr(haystack.data() + i, first, last - i + 1);
            if (!hit) return std::string_view::npos;
            i = std::size_t(static_cast<const char*>(hit) - haystack.data());
        } else if (foldAscii(haystack[i]) != first) {
            continue;
        }
        std::size_t k = 1;
        while (k < m && foldAscii(haystack[i + k]) == foldedNeedle[k])
            ++k;
        if (k == m) return i;
    }
    return std::string_view::npos;
}

} // namespace larkspur
