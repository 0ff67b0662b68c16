#include "lyrics/LrcLyrics.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace larkspur {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}
bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trimBlanks(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// Reads up to `most` digits at `pos`; how many were read goes to `count`.
std::int64_t readDigits(std::string_view s, std::size_t& pos, int most, int& count)
{
    std::int64_t value = 0;
    count = 0;
    while (pos < s.size() && isDigit(s[pos]) && count < most) {
        value = value * 10 + (s[pos] - '0');
        ++pos;
        ++count;
    }
    return value;
}

// "[m:ss]", "[mm:ss.x]", "[mm:ss.xx]" or "[mmm:ss.xxx]" at `pos`: its time, and `pos` moved
// past it. Anything else leaves `pos` alone.
std::optional<std::int64_t> readStamp(std::string_view s, std::size_t& pos)
{
    std::size_t p = pos;
    if (p >= s.size() || s[p] != '[') return std::nullopt;
    ++p;
    int count = 0;
    const std::int64_t minutes = readDigits(s, p, 3, count);
    if (count == 0 || p >= s.size() || s[p] != ':') return std::nullopt;
    ++p;
    const std::int64_t seconds = readDigits(s, p, 2, count);
    if (count != 2 || seconds >= 60) return std::nullopt;
    std::int64_t ms = 0;
    if (p < s.size() && s[p] == '.') {
        ++p;
        ms = readDigits(s, p, 3, count);
        if (count == 0) return std::nullopt;
        for (; count < 3; ++count)
            ms *= 10;
    }
    if (p >= s.size() || s[p] != ']') return std::nullopt;
    pos = p + 1;
    return (minutes * 60 + seconds) * 1000 + ms;
}

std::string lowerAscii(std::string_view s)
{
    std::string lower(s);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

// Tags taggers write at the top of a file; only [offset:] changes anything.
bool isMetadataKey(std::string_view key)
{
    static constexpr std::array<std::string_view, 13> keys = {
        "ar", "al", "ti", "au", "by", "length", "offset", "re", "ve", "tool", "la", "id", "#"};
    return std::find(keys.begin(), keys.end(), lowerAscii(key)) != keys.end();
}

struct Tag
{
    std::string_view key, value;
};

// A line made only of "[key:value]" tags with known keys: the tags. Nothing otherwise, so
// "[Chorus]" or "[Verse 1: Ann]" stay lyrics.
std::optional<std::vector<Tag>> readMetadataLine(std::string_view line)
{
    std::vector<Tag> tags;
    std::string_view rest = trimBlanks(line);
    while (!rest.empty()) {
        if (rest.front() != '[') return std::nullopt;
        const std::size_t close = rest.find(']');
        const std::size_t colon = rest.find(':');
        if (close == std::string_view::npos || colon == std::string_view::npos || colon > close)
            return std::nullopt;
        const std::string_view key = rest.substr(1, colon - 1);
        if (!isMetadataKey(key)) return std::nullopt;
        tags.push_back({key, trimBlanks(rest.substr(colon + 1, close - colon - 1))});
        rest = trimBlanks(rest.substr(close + 1));
    }
    if (tags.empty()) return std::nullopt;
    return tags;
}

std::optional<std::int64_t> readOffset(std::string_view value)
{
    bool negative = false;
    std::size_t pos = 0;
    if (!value.empty() && (value[0] == '+' || value[0] == '-')) {
        negative = value[0] == '-';
        ++pos;
    }
    int count = 0;
    const std::int64_t ms = readDigits(value, pos, 9, count);
    if (count == 0 || pos != value.size()) return std::nullopt;
    return negative ? -ms : ms;
}

// Splits at CR LF, LF or lone CR; a final line break opens no empty line.
std::vector<std::string_view> splitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

std::string_view withoutBom(std::string_view text)
{
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    return text;
}

} // namespace

LrcLyrics LrcLyrics::parse(std::string_view text)
{
    LrcLyrics lyrics;
    lyrics.m_source = std::string(text);
    // A line is copied once per stamp in front of it: a chorus sung three times. Copies
    // beyond this budget drop their stamps, so a long line behind thousands of stamps costs
    // memory in proportion to the file, not to their product.
    std::size_t copyBudget = kLrcCopyBudgetFactor * text.size() + kLrcCopyBudgetBytes;
    for (const std::string_view line : splitLines(withoutBom(text))) {
        std::size_t pos = 0;
        while (pos < line.size() && isBlank(line[pos]))
            ++pos;
        std::vector<std::int64_t> times;
        while (const auto time = readStamp(line, pos))
            times.push_back(*time);
        if (!times.empty()) {
            const std::string body(trimBlanks(line.substr(pos)));
            for (std::size_t k = 0; k < times.size(); ++k) {
                if (k > 0) {
                    if (body.size() > copyBudget) break;
                    copyBudget -= body.size();
                }
                lyrics.m_lines.push_back({times[k], body});
            }
        } else if (const auto tags = readMetadataLine(line)) {
            for (const Tag& tag : *tags) {
                if (lowerAscii(tag.key) != "offset") continue;
                if (const auto offset = readOffset(tag.value)) lyrics.m_offsetMs = *offset;
            }
        } else {
            lyrics.m_lines.push_back({std::nullopt, std::string(line)});
        }
    }

    // A positive offset shows the lyrics earlier; none starts before the song.
    std::vector<LrcLine> timed;
    for (std::size_t i = 0; i < lyrics.m_lines.size(); ++i) {
        LrcLine& line = lyrics.m_lines[i];
        if (!line.timeMs) continue;
        line.timeMs = std::max<std::int64_t>(0, *line.timeMs - lyrics.m_offsetMs);
        lyrics.m_timed.push_back(i);
        timed.push_back(std::move(line));
    }
    std::stable_sort(timed.begin(), timed.end(),
                     [](const LrcLine& a, const LrcLine& b) { return *a.timeMs < *b.timeMs; });
    for (std::size_t k = 0; k < timed.size(); ++k)
        lyrics.m_lines[lyrics.m_timed[k]] = std::move(timed[k]);
    return lyrics;
}

std::string LrcLyrics::plainText() const
{
    std::string out;
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (i > 0) out += "\r\n";
        out += m_lines[i].text;
    }
    return out;
}

std::optional<std::size_t> LrcLyrics::lineAt(std::int64_t positionMs) const
{
    // m_timed is in time order after parse(), so the sung line is found by bisection.
    const auto after = std::upper_bound(
        m_timed.begin(), m_timed.end(), positionMs,
        [this](std::int64_t pos, std::size_t index) { return pos < *m_lines[index].timeMs; });
    if (after == m_timed.begin()) return std::nullopt;
    return *(after - 1);
}

bool looksLikeLrc(std::string_view text)
{
    for (const std::string_view line : splitLines(withoutBom(text))) {
        std::size_t pos = 0;
        while (pos < line.size() && isBlank(line[pos]))
            ++pos;
        if (readStamp(line, pos)) return true;
    }
    return false;
}

std::string lrcStamp(std::int64_t timeMs)
{
    timeMs = std::max<std::int64_t>(0, timeMs);
    char buf[32];
    std::snprintf(buf, sizeof buf, "[%02lld:%02lld.%02lld]", static_cast<long long>(timeMs / 60000),
                  static_cast<long long>(timeMs / 1000 % 60),
                  static_cast<long long>(timeMs % 1000 / 10));
    return buf;
}

} // namespace larkspur
