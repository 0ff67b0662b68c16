#pragma once
// The song list: an ordered sequence of "count|path" entries, held as bytes in the
// system encoding. Positions count from 0. No size limit beyond memory.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace larkspur {

// One entry split at its first "|". A line without "|" is all count text, empty path.
struct SongEntry
{
    std::string_view countText;
    std::string_view path;
};

SongEntry splitEntry(std::string_view line);

// Strict integer: optional leading blanks, an optional sign, decimal digits, nothing else.
// Returns nothing for anything else, an empty text and an out-of-range number included.
std::optional<int> parseCount(std::string_view text);

// "count|path"
std::string makeEntry(long long count, std::string_view path);

// A path holding CR or LF cannot be part of an entry: the next save would split it into
// several lines, each read back as an entry of its own.
bool holdsLineBreak(std::string_view path);

// What the user is told about paths left out for holding a line break; empty for none.
std::string lineBreakNotice(std::size_t skipped);

// Entries live in one text arena, addressed by spans, so a list of a million songs loads
// with two allocations instead of a million. Replaced and removed entries leave garbage in
// the arena, reclaimed once it makes up half of it.
class SongList
{
public:
    std::size_t count() const { return m_spans.size(); }
    bool empty() const { return m_spans.empty(); }
    // Valid until the list is next changed.
    std::string_view get(std::size_t i) const;
    void put(std::size_t i, std::string_view text);
    void add(std::string_view text);
    void remove(std::size_t i);
    void clear();

    // Every entry followed by CR LF.
    std::string text() const;
    // Replaces the list with the lines of the text. CR LF, lone LF and lone CR all end a
    // line; a final line break adds no entry.
    void setText(std::string text);

    // Changes with every change, to a value no list held before (in this process), so a
    // saver can tell whether anything changed since it saved, a list assigned over it included.
    std::uint64_t version() const { return m_version; }

private:
    struct Span
    {
        std::size_t offset;
        std::size_t length;
    };
    void append(std::string_view text);
    void compactIfWasteful();

    std::string m_arena;
    std::vector<Span> m_spans;
    std::size_t m_garbage = 0;
    void changed();
    std::uint64_t m_version = 0;
};

} // namespace larkspur
