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

void skipBlanks(std::string_view s, std::size_t& p)
{
    while (p < s.size() && isBlank(s[p]))
        ++p;
}

// A stamp at `pos` between `open` and `close`: "[m:ss]", "[mmm:ss.xxx]", "[h:mm:ss.xx]",
// "[mm:ss:xx]" (a colon before the hundredths, as karaoke files write them), seconds alone
// with a fraction ("[52.78]"), or, when `bare` (right after another stamp), seconds alone
// without one ("[35]"). A leading "-" counts back from the start; blanks inside are allowed,
// as some writers put them. Its time, and `pos` moved past it; anything else leaves `pos`.
std::optional<std::int64_t> readStamp(std::string_view s, std::size_t& pos, bool bare = false,
                                      char open = '[', char close = ']')
{
    std::size_t p = pos;
    if (p >= s.size() || s[p] != open) return std::nullopt;
    ++p;
    skipBlanks(s, p);
    const bool negative = p < s.size() && s[p] == '-';
    if (negative) ++p;
    std::array<std::int64_t, 3> parts{};
    std::array<int, 3> digits{};
    std::size_t n = 0;
    for (;;) {
        skipBlanks(s, p);
        parts[n] = readDigits(s, p, 5, digits[n]);
        if (digits[n] == 0) return std::nullopt;
        ++n;
        skipBlanks(s, p);
        if (n == parts.size() || p >= s.size() || s[p] != ':') break;
        ++p;
    }
    // Up to milliseconds; further digits of a fraction only add precision nobody hears.
    const auto fractionMs = [](std::int64_t value, int count) {
        for (; count < 3; ++count)
            value *= 10;
        return value;
    };
    std::int64_t ms = 0;
    bool fraction = false;
    if (p < s.size() && s[p] == '.') {
        ++p;
        skipBlanks(s, p);
        int count = 0;
        const std::int64_t digitsRead = readDigits(s, p, 3, count);
        ms = fractionMs(digitsRead, count);
        if (count == 0) return std::nullopt;
        while (p < s.size() && isDigit(s[p]))
            ++p;
        fraction = true;
        skipBlanks(s, p);
    }
    if (p >= s.size() || s[p] != close) return std::nullopt;
    if (n == 3 && !fraction) { // "[00:10:16]": minutes, seconds, hundredths
        if (digits[2] > 3) return std::nullopt;
        ms = fractionMs(parts[2], digits[2]);
        n = 2;
    }
    // The last part is the seconds; the parts before them minutes, then hours.
    const auto sixty = [&](std::size_t i) { return digits[i] == 2 && parts[i] < 60; };
    std::int64_t seconds = 0;
    if (n == 1) {
        if (!fraction && !bare) return std::nullopt;
        seconds = parts[0];
    } else if (n == 2) {
        // Seconds past 59 ("[00:60.00]", "[01:010.010]") count on, as most readers take them.
        if (digits[0] > 3) return std::nullopt;
        seconds = parts[0] * 60 + parts[1];
    } else {
        if (digits[0] > 2 || !sixty(1) || !sixty(2)) return std::nullopt;
        seconds = (parts[0] * 60 + parts[1]) * 60 + parts[2];
    }
    pos = p + 1;
    const std::int64_t time = seconds * 1000 + ms;
    return negative ? -time : time;
}

std::string lowerAscii(std::string_view s)
{
    std::string lower(s);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

struct Tag
{
    std::string_view key, value;
};

// A "[name:value]" tag at `pos` whose name is one word of letters, digits, "_" or "#" and not
// a number ("[ar:Artist]", "[t_time:(2:57)]", "[ ti : Title ]"); "[Verse 1: Ann]" is no tag.
// Moves `pos` past it.
std::optional<Tag> readTag(std::string_view s, std::size_t& pos)
{
    if (pos >= s.size() || s[pos] != '[') return std::nullopt;
    const std::size_t close = s.find(']', pos);
    const std::size_t colon = s.find(':', pos);
    if (close == std::string_view::npos || colon == std::string_view::npos || colon > close)
        return std::nullopt;
    const std::string_view key = trimBlanks(s.substr(pos + 1, colon - pos - 1));
    const auto isNameChar = [](char c) {
        return isDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
               c == '#';
    };
    if (key.empty() || !std::all_of(key.begin(), key.end(), isNameChar) ||
        std::all_of(key.begin(), key.end(), isDigit))
        return std::nullopt;
    pos = close + 1;
    return Tag{key, trimBlanks(s.substr(colon + 1, close - colon - 1))};
}

// What a line starts with: tags (only before any stamp, as in "[offset:+102][00:00.17]"),
// then stamps; `pos` ends behind them.
struct Lead
{
    std::vector<Tag> tags;
    std::vector<std::int64_t> times;
    std::size_t pos = 0;
};

Lead readLead(std::string_view line)
{
    Lead lead;
    skipBlanks(line, lead.pos);
    for (;;) {
        if (const auto time = readStamp(line, lead.pos, !lead.times.empty())) {
            lead.times.push_back(*time);
            // "[00:21.10] [00:45.10]Chorus": stamps apart are still the line's stamps.
            skipBlanks(line, lead.pos);
        } else if (const auto tag = lead.times.empty() ? readTag(line, lead.pos) : std::nullopt) {
            lead.tags.push_back(*tag);
            skipBlanks(line, lead.pos);
        } else {
            break;
        }
    }
    return lead;
}

// A timed line's text without the word stamps of enhanced LRC ("<00:02.50>") and stamps
// inside it; a stamp with blanks beside it leaves one blank. Word stamps go to `words`, each
// starting where its word will stand in the text.
std::string withoutInnerStamps(std::string_view body, std::vector<LrcWord>& words)
{
    std::string out;
    bool blank = false;
    for (std::size_t i = 0; i < body.size();) {
        std::size_t p = i;
        const auto word = readStamp(body, p, false, '<', '>');
        if (word || readStamp(body, p)) {
            if (word) {
                std::size_t at = out.size();
                while (at > 0 && isBlank(out[at - 1]))
                    --at;
                words.push_back({*word, at, 0}); // moved behind the blank that may come here
            }
            blank = blank || (!out.empty() && isBlank(out.back())) ||
                    (p < body.size() && isBlank(body[p]));
            while (!out.empty() && isBlank(out.back()))
                out.pop_back();
            skipBlanks(body, p);
            i = p;
            continue;
        }
        if (blank && !out.empty()) {
            out += ' ';
            // The words stamped where this blank now stands start behind it.
            for (auto w = words.rbegin(); w != words.rend() && w->begin == out.size() - 1; ++w)
                ++w->begin;
        }
        blank = false;
        out += body[i++];
    }
    return out;
}

// Words measured in the trimmed text (`cut` bytes were trimmed off its front): each runs to
// the next one's start, blanks left out; empty words and words out of time order are dropped.
void wordRanges(std::vector<LrcWord>& words, std::size_t cut, std::string_view text)
{
    for (std::size_t k = 0; k < words.size(); ++k) {
        const auto inText = [cut](std::size_t at) { return at > cut ? at - cut : 0; };
        std::size_t begin = inText(words[k].begin);
        // A next word in the trimmed front starts at 0 too: this one is empty.
        std::size_t end = k + 1 < words.size() ? inText(words[k + 1].begin) : text.size();
        begin = std::min(begin, text.size());
        end = std::clamp(end, begin, text.size());
        while (end > begin && isBlank(text[end - 1]))
            --end;
        words[k].begin = begin;
        words[k].end = end;
    }
    std::vector<LrcWord> kept;
    for (const LrcWord& w : words)
        if (w.end > w.begin && (kept.empty() || w.timeMs >= kept.back().timeMs)) kept.push_back(w);
    words = std::move(kept);
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
    const std::int64_t ms = readDigits(value, pos, 9, count); // kLrcOffsetMaxMs
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

// Every mark: a file saved twice with one ahead may have two.
std::string_view withoutBom(std::string_view text)
{
    while (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
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
    // A byte order mark may start any line: files joined one after the other.
    for (std::string_view line : splitLines(withoutBom(text))) {
        line = withoutBom(line);
        const Lead lead = readLead(line);
        if (!lead.times.empty() || lead.pos == line.size()) {
            for (const Tag& tag : lead.tags) {
                if (lowerAscii(tag.key) != "offset") continue;
                if (const auto offset = readOffset(tag.value)) lyrics.m_offsetMs = *offset;
            }
        }
        if (!lead.times.empty()) {
            std::vector<LrcWord> words;
            const std::string raw = withoutInnerStamps(line.substr(lead.pos), words);
            const std::string_view trimmed = trimBlanks(raw);
            const std::string body(trimmed);
            wordRanges(words, static_cast<std::size_t>(trimmed.data() - raw.data()), body);
            for (std::size_t k = 0; k < lead.times.size(); ++k) {
                if (k > 0) {
                    if (body.size() > copyBudget) break;
                    copyBudget -= body.size();
                }
                lyrics.m_lines.push_back({lead.times[k], body, words});
            }
        } else if (lead.tags.empty() || lead.pos != line.size()) {
            // Tags with text behind them are no tags: "[Verse: Ann] la la" is sung.
            lyrics.m_lines.push_back({std::nullopt, std::string(line), {}});
        }
    }

    // Sorted by their stamps as written, so any offset keeps them in time order.
    std::vector<LrcLine> timed;
    for (std::size_t i = 0; i < lyrics.m_lines.size(); ++i) {
        LrcLine& line = lyrics.m_lines[i];
        if (!line.timeMs) continue;
        line.stampMs = *line.timeMs;
        for (LrcWord& w : line.words)
            w.stampMs = w.timeMs;
        lyrics.m_timed.push_back(i);
        timed.push_back(std::move(line));
    }
    std::stable_sort(timed.begin(), timed.end(),
                     [](const LrcLine& a, const LrcLine& b) { return a.stampMs < b.stampMs; });
    for (std::size_t k = 0; k < timed.size(); ++k)
        lyrics.m_lines[lyrics.m_timed[k]] = std::move(timed[k]);
    lyrics.m_sourceOffsetMs = lyrics.setOffset(lyrics.m_offsetMs);
    return lyrics;
}

std::int64_t LrcLyrics::setOffset(std::int64_t offsetMs)
{
    m_offsetMs = std::clamp(offsetMs, -kMaxLrcOffsetMs, kMaxLrcOffsetMs);
    // A positive offset shows the lyrics earlier; none starts before the song.
    const auto shown = [this](std::int64_t stampMs) {
        return std::max<std::int64_t>(0, stampMs - m_offsetMs);
    };
    for (const std::size_t i : m_timed) {
        LrcLine& line = m_lines[i];
        line.timeMs = shown(line.stampMs);
        for (LrcWord& w : line.words)
            w.timeMs = shown(w.stampMs);
    }
    return m_offsetMs;
}

std::string LrcLyrics::lrcText() const
{
    return m_offsetMs == m_sourceOffsetMs ? m_source : lrcWithOffset(m_source, m_offsetMs);
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

std::optional<std::size_t> LrcLyrics::wordAt(std::size_t line, std::int64_t positionMs) const
{
    if (line >= m_lines.size()) return std::nullopt;
    const auto& words = m_lines[line].words;
    const auto after =
        std::upper_bound(words.begin(), words.end(), positionMs,
                         [](std::int64_t pos, const LrcWord& w) { return pos < w.timeMs; });
    if (after == words.begin()) return std::nullopt;
    return static_cast<std::size_t>(after - words.begin() - 1);
}

bool looksLikeLrc(std::string_view text)
{
    for (const std::string_view line : splitLines(withoutBom(text)))
        if (!readLead(withoutBom(line)).times.empty()) return true;
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

std::string lrcWithOffset(std::string_view text, std::int64_t offsetMs)
{
    offsetMs = std::clamp(offsetMs, -kLrcOffsetMaxMs, kLrcOffsetMaxMs);
    const std::string_view bom = text.starts_with("\xEF\xBB\xBF") ? text.substr(0, 3) : "";
    text.remove_prefix(bom.size());
    std::string rest;
    std::string_view firstBreak;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        std::size_t next = end;
        if (next < text.size()) next += text.compare(next, 2, "\r\n") == 0 ? 2 : 1;
        const std::string_view whole = text.substr(start, end - start);
        const std::string_view line = withoutBom(whole);
        const std::string_view lineBreak = text.substr(end, next - end);
        if (firstBreak.empty()) firstBreak = lineBreak;
        start = next;
        // Offset tags sit among the tags that lead a line; cut each one out of that lead.
        const Lead lead = readLead(line);
        bool hasOffset = false;
        for (const Tag& tag : lead.tags)
            hasOffset = hasOffset || lowerAscii(tag.key) == "offset";
        if (!hasOffset || (lead.times.empty() && lead.pos != line.size())) {
            rest.append(whole).append(lineBreak);
            continue;
        }
        std::string kept(whole.substr(0, whole.size() - line.size()));
        std::size_t pos = 0;
        skipBlanks(line, pos);
        kept.append(line.substr(0, pos));
        while (pos < lead.pos) {
            const std::size_t from = pos;
            const auto tag = readTag(line, pos);
            if (!tag) { // the stamps and what follows them
                kept.append(line.substr(from));
                break;
            }
            if (lowerAscii(tag->key) != "offset") kept.append(line.substr(from, pos - from));
            skipBlanks(line, pos);
        }
        if (pos >= lead.pos && pos < line.size()) kept.append(line.substr(pos));
        if (!trimBlanks(withoutBom(kept)).empty()) rest.append(kept).append(lineBreak);
    }
    std::string out(bom);
    if (offsetMs != 0)
        out += "[offset:" + std::string(offsetMs > 0 ? "+" : "") + std::to_string(offsetMs) + "]" +
               std::string(firstBreak.empty() ? std::string_view("\r\n") : firstBreak);
    return out + rest;
}

std::string shiftWords(std::int64_t earlierMs)
{
    if (earlierMs == 0) return {};
    const std::int64_t tenths = (earlierMs < 0 ? -earlierMs : earlierMs) / 100;
    return "Lyrics " + std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " s " +
           (earlierMs > 0 ? "earlier" : "later");
}

} // namespace larkspur
