#pragma once
// Timing plain lyrics by hand: each press stamps the next line with the play position. Blank
// lines (between verses) get no stamp; they stay where they stand in the timed text.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace larkspur {

class LyricsTiming
{
  public:
    // `text`: the lyrics as the memo holds them, one line per line.
    explicit LyricsTiming(std::string_view text);

    // Stamps the next line with `positionMs`; returns its index, nothing when all are done.
    // A position before the last stamp (the song went back) is taken as the last stamp's.
    std::optional<std::size_t> stamp(std::int64_t positionMs);
    // Takes the last stamp back; returns the line that is next again.
    std::optional<std::size_t> undo();
    // After a seek: stamps after `positionMs` are dropped, and the line after the last one
    // kept is next.
    void restartAt(std::int64_t positionMs);

    bool done() const { return !next(); }
    std::optional<std::size_t> next() const;
    std::optional<std::size_t> lastStamped() const;
    std::size_t lineCount() const { return m_lines.size(); }
    std::size_t stampedCount() const { return m_stamped.size(); }
    std::size_t stampableCount() const; // the lines that are not blank

    // The lines as LRC, CR LF after each: stamped ones with their stamp, the rest as text.
    std::string lrc() const;

  private:
    struct Line
    {
        std::string text;
        std::optional<std::int64_t> timeMs;
    };
    std::vector<Line> m_lines;
    std::vector<std::size_t> m_stamped; // in the order stamped
};

// Why timing ended before the user ended it.
enum class TimingCut {
    SongEnded,      // another song started: the stamps are of the song before
    LyricsReplaced, // other lyrics came (a lookup, a catalogue song)
};

// What the status line says then: how many of the lines were stamped, and that the stamps
// were dropped.
std::string timingCutText(const LyricsTiming& timing, TimingCut why);

} // namespace larkspur
