#include "lyrics/TextRoutines.h"

#include "lyrics/AsciiText.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace larkspur {

namespace {

constexpr auto npos = std::string::npos;

bool isBlankOrControl(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}

// KMP failure table: fail[k] is the length of the longest proper border of pattern[0..k].
std::vector<std::uint32_t> borderTable(std::string_view pattern)
{
    std::vector<std::uint32_t> fail(pattern.size(), 0);
    std::uint32_t k = 0;
    for (std::size_t i = 1; i < pattern.size(); ++i) {
        while (k > 0 && pattern[i] != pattern[k])
            k = fail[k - 1];
        if (pattern[i] == pattern[k]) ++k;
        fail[i] = k;
    }
    return fail;
}

// Every occurrence in the original text replaced once, left to right; the search goes on
// after each replaced occurrence, so inserted bytes are never matched.
std::string replaceEachOnce(const std::string& text, std::string_view folded,
                            std::string_view replacement)
{
    const std::vector<std::uint32_t> fail = borderTable(folded);
    const std::size_t m = folded.size();
    std::string out;
    out.reserve(text.size());
    std::size_t copied = 0; // text[0..copied) is in `out` already
    std::uint32_t k = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char f = foldAscii(text[i]);
        while (k > 0 && folded[k] != f)
            k = fail[k - 1];
        if (folded[k] == f) ++k;
        if (k == m) {
            out.append(text, copied, i + 1 - m - copied);
            out.append(replacement);
            copied = i + 1;
            k = 0;
        }
    }
    out.append(text, copied, npos);
    return out;
}

// Leftmost replacement with a restart from the beginning after each one. Everything before
// a replaced occurrence held no match, so a restart only has to look again at the last
// (pattern length - 1) bytes before it: the text is streamed into `out`, a KMP state is
// kept for every byte of `out`, and each replacement is pushed back in front of the unread
// input, where it is read again like the rest.
std::string replaceRescanning(const std::string& text, std::string_view folded,
                              std::string_view replacement)
{
    const std::vector<std::uint32_t> fail = borderTable(folded);
    const std::size_t m = folded.size();
    std::string out;
    out.reserve(text.size());
    std::vector<std::uint32_t> states; // states[i]: pattern bytes matched by out[0..i)
    states.reserve(text.size() + 1);
    states.push_back(0);
    std::string pushedBack; // replacement bytes still to be read, last byte first
    std::size_t next = 0;
    for (;;) {
        char c;
        if (!pushedBack.empty()) {
            c = pushedBack.back();
            pushedBack.pop_back();
        } else if (next < text.size()) {
            c = text[next++];
        } else {
            break;
        }
        const char f = foldAscii(c);
        std::uint32_t k = states.back();
        while (k > 0 && folded[k] != f)
            k = fail[k - 1];
        if (folded[k] == f) ++k;
        out.push_back(c);
        states.push_back(k);
        if (k == m) {
            out.resize(out.size() - m);
            states.resize(states.size() - m);
            pushedBack.append(replacement.rbegin(), replacement.rend());
        }
    }
    return out;
}

} // namespace

std::string FoldAsciiLowercase(std::string text)
{
    for (char& c : text)
        c = foldAscii(c);
    return text;
}

std::string TrimControls(std::string text)
{
    const auto first = std::find_if_not(text.begin(), text.end(), isBlankOrControl);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), isBlankOrControl).base();
    if (first >= last) return {};
    return std::string(first, last);
}

std::string ReplaceAllNoCase(std::string text, std::string_view pattern,
                             std::string_view replacement)
{
    if (pattern.empty() || pattern.size() > text.size()) return text;
    const std::string folded = FoldAsciiLowercase(std::string(pattern));
    // Only a shrinking replacement may be searched again: the text gets shorter with every
    // replacement, so the rescan ends. Any other could join its neighbours into new
    // occurrences without end ("aab" with "ab" by "bbaa").
    if (replacement.size() >= pattern.size()) return replaceEachOnce(text, folded, replacement);
    return replaceRescanning(text, folded, replacement);
}

std::string RemoveAllNoCase(std::string text, std::string_view pattern)
{
    return ReplaceAllNoCase(std::move(text), pattern, {});
}

std::string RemoveMarkedRanges(std::string text, std::string_view opening, std::string_view closing)
{
    if (text.empty() || opening.empty() || closing.empty()) return text;
    // Nothing before a deleted range holds a marker, except what the deletion joins up.
    const std::size_t reach = std::max(opening.size(), closing.size()) - 1;
    std::size_t from = 0;
    for (;;) {
        const std::size_t a = text.find(opening, from);
        const std::size_t b = text.find(closing, from);
        if (a == npos || b == npos) return text;
        const std::size_t start = std::min(a, b);
        const std::size_t end = std::max(a, b);
        text.erase(start, end - start + 1);
        from = start > reach ? start - reach : 0;
    }
}

std::string StripTrackNumbers(std::string text)
{
    if (text.empty()) return text;
    const auto firstNonDigit = std::find_if_not(text.begin(), text.end(), isAsciiDigit);
    std::string padded = " ";
    padded.append(firstNonDigit, text.end());
    padded += ' ';
    // The padding blanks guarantee a byte on both sides of any run.
    const auto runStart = std::find_if(padded.begin(), padded.end(), isAsciiDigit);
    if (runStart != padded.end()) {
        const auto runEnd = std::find_if_not(runStart, padded.end(), isAsciiDigit);
        if (!isAsciiLetter(*(runStart - 1)) && !isAsciiLetter(*runEnd))
            padded.erase(runStart, runEnd);
    }
    return TrimControls(std::move(padded));
}

std::string TrimSplitterChar(std::string text, std::string_view splitter)
{
    if (text.empty()) return text;
    if (!splitter.empty()) {
        if (text.starts_with(splitter)) text.erase(0, splitter.size());
        if (!text.empty() && text.ends_with(splitter)) text.resize(text.size() - splitter.size());
    }
    return TrimControls(std::move(text));
}

std::ptrdiff_t FindSplitterPos(std::string_view needle, std::string_view text)
{
    if (needle.empty() || text.empty()) return -1;
    const std::size_t first = text.find(needle);
    if (first == npos) return -1;
    const std::size_t after = first + needle.size();
    if (after < text.size() && text[after] != ' ') {
        const std::size_t second = text.find(needle, after);
        if (second != npos) return std::ptrdiff_t(second) + 1;
    }
    return std::ptrdiff_t(first) + 1;
}

std::string CutBetween(std::string_view text, std::string_view start, std::string_view end)
{
    std::size_t from = start.empty() ? npos : text.find(start);
    if (from == npos) from = 0;
    std::size_t to = end.empty() ? npos : text.find(end);
    if (to == npos) to = text.size();
    if (to <= from) return {};
    return std::string(text.substr(from, to - from));
}

} // namespace larkspur
