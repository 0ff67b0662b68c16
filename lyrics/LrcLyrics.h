#pragma once
// Timed lyrics in the LRC format: "[mm:ss.xx]text" lines, parsed into the lines to show, their
// times and the line being sung at a play position. Pure functions on UTF-8 bytes.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace larkspur {

// Repeated lines (one text behind several stamps) may copy their text at most this many
// times the file's size plus these bytes in all; further stamps of a line are dropped.
inline constexpr std::size_t kLrcCopyBudgetFactor = 2;
inline constexpr std::size_t kLrcCopyBudgetBytes = 1024 * 1024;

// The reader takes an [offset:] of up to nine digits, so no offset goes past this.
inline constexpr std::int64_t kMaxLrcOffsetMs = 999'999'999;

// One word of enhanced LRC ("<mm:ss.xx>word"): when it is sung and where it stands in the
// line's text (bytes, blanks around it left out).
struct LrcWord
{
    std::int64_t timeMs = 0;
    std::size_t begin = 0;
    std::size_t end = 0;
    std::int64_t stampMs = 0; // as written, before the offset
};

struct LrcLine
{
    std::optional<std::int64_t> timeMs; // nothing for a line without a time stamp
    std::string text;                   // without its stamps
    std::vector<LrcWord> words;         // in time order; empty without word stamps
    std::int64_t stampMs = 0;           // as written, before the offset
};

class LrcLyrics
{
  public:
    // Never throws for any input (apart from std::bad_alloc): what is not a valid stamp or a
    // known metadata tag stays text. A byte order mark is skipped at the start of any line.
    static LrcLyrics parse(std::string_view text);

    // In display order: timed lines sorted by time (stably) in the places timed lines held,
    // untimed lines where they stood. A line with several stamps appears once per stamp,
    // within the copy budget above.
    const std::vector<LrcLine>& lines() const { return m_lines; }

    // The lines' texts joined with CR LF, as the lyrics memo holds its text.
    std::string plainText() const;

    // The index in lines() of the line being sung: the last timed line whose time is at or
    // before the position. Nothing before the first timed line or when no line is timed.
    std::optional<std::size_t> lineAt(std::int64_t positionMs) const;
    // In that line, the index in its words of the word being sung at the position: the last
    // word whose time is at or before it; nothing before the first word or without words.
    std::optional<std::size_t> wordAt(std::size_t line, std::int64_t positionMs) const;

    // The text as parsed, stamps and tags included, to save an unedited .lrc file unchanged;
    // after setOffset, with its [offset:] tag set as lrcWithOffset does.
    std::string lrcText() const;

    // The [offset:] tag's milliseconds, already applied to every time (0 when there is none).
    std::int64_t offsetMs() const { return m_offsetMs; }
    // Moves every time to another offset without parsing again (linear in the lines and
    // words; nothing allocated): the lines keep their places. Held within kMaxLrcOffsetMs
    // either way; returns the offset set.
    std::int64_t setOffset(std::int64_t offsetMs);

  private:
    std::string m_source;
    std::vector<LrcLine> m_lines;
    std::vector<std::size_t> m_timed; // indices of timed lines, in the order of their stamps
    std::int64_t m_offsetMs = 0;
    std::int64_t m_sourceOffsetMs = 0; // the offset m_source holds
};

// True when some line starts with a valid time stamp (after blanks).
bool looksLikeLrc(std::string_view text);

// An [offset:] tag is read with at most nine digits: offsets within +-kLrcOffsetMaxMs.
inline constexpr std::int64_t kLrcOffsetMaxMs = 999'999'999;

// The LRC text with its [offset:] tag set to `offsetMs` (none for 0), kept within what the
// reader reads: earlier offset tags are taken out, the new one goes first; stamps, other tags
// and line breaks stay as they were.
std::string lrcWithOffset(std::string_view text, std::int64_t offsetMs);

// A shift of timed lyrics in words: "Lyrics 0.3 s earlier", "Lyrics 1.2 s later"; empty for 0.
std::string shiftWords(std::int64_t earlierMs);

// "[mm:ss.xx]" for a time, minutes widened past 99 when needed.
std::string lrcStamp(std::int64_t timeMs);

} // namespace larkspur
