#include "lyrics/LyricsTiming.h"

#include "lyrics/LrcLyrics.h"

#include <algorithm>

namespace larkspur {

namespace {

bool blank(std::string_view s)
{
    return std::all_of(s.begin(), s.end(), [](char c) { return c == ' ' || c == '\t'; });
}

} // namespace

LyricsTiming::LyricsTiming(std::string_view text)
{
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        m_lines.push_back({std::string(text.substr(start, end - start)), std::nullopt});
        start = end;
        if (start < text.size()) start += text.compare(start, 2, "\r\n") == 0 ? 2 : 1;
    }
}

std::optional<std::size_t> LyricsTiming::next() const
{
    const std::size_t from = m_stamped.empty() ? 0 : m_stamped.back() + 1;
    for (std::size_t i = from; i < m_lines.size(); ++i)
        if (!blank(m_lines[i].text)) return i;
    return std::nullopt;
}

std::size_t LyricsTiming::stampableCount() const
{
    return static_cast<std::size_t>(std::count_if(m_lines.begin(), m_lines.end(),
                                                  [](const Line& l) { return !blank(l.text); }));
}

std::optional<std::size_t> LyricsTiming::lastStamped() const
{
    if (m_stamped.empty()) return std::nullopt;
    return m_stamped.back();
}

std::optional<std::size_t> LyricsTiming::stamp(std::int64_t positionMs)
{
    const auto line = next();
    if (!line) return std::nullopt;
    if (!m_stamped.empty()) positionMs = std::max(positionMs, *m_lines[m_stamped.back()].timeMs);
    m_lines[*line].timeMs = std::max<std::int64_t>(0, positionMs);
    m_stamped.push_back(*line);
    return line;
}

std::optional<std::size_t> LyricsTiming::undo()
{
    if (!m_stamped.empty()) {
        m_lines[m_stamped.back()].timeMs.reset();
        m_stamped.pop_back();
    }
    return next();
}

void LyricsTiming::restartAt(std::int64_t positionMs)
{
    while (!m_stamped.empty() && *m_lines[m_stamped.back()].timeMs > positionMs)
        undo();
}

std::string LyricsTiming::lrc() const
{
    std::string out;
    for (const Line& line : m_lines)
        out += (line.timeMs ? lrcStamp(*line.timeMs) : std::string()) + line.text + "\r\n";
    return out;
}

std::string timingCutText(const LyricsTiming& timing, TimingCut why)
{
    // Short enough for the status line of a window of the usual width.
    const std::size_t lines = timing.stampableCount();
    return std::string(why == TimingCut::SongEnded ? "Timing ended with the song: "
                                                   : "Timing ended by new lyrics: ") +
           std::to_string(timing.stampedCount()) + " of " + std::to_string(lines) +
           (lines == 1 ? " line" : " lines") + ", not kept.";
}

} // namespace larkspur
