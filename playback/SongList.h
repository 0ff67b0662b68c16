#pragma once
// The song list: an ordered sequence of "count|path" entries, held as bytes in the
// system encoding. Positions count from 0. No size limit beyond memory.

#include <cstddef>
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

class SongList
{
public:
    std::size_t count() const { return m_entries.size(); }
    bool empty() const { return m_entries.empty(); }
    const std::string& get(std::size_t i) const { return m_entries.at(i); }
    void put(std::size_t i, std::string text) { m_entries.at(i) = std::move(text); }
    void add(std::string text) { m_entries.push_back(std::move(text)); }
    void remove(std::size_t i);
    void clear() { m_entries.clear(); }
    const std::vector<std::string>& entries() const { return m_entries; }

    // Every entry followed by CR LF.
    std::string text() const;
    // Replaces the list with the lines of the text. CR LF, lone LF and lone CR all end a
    // line; a final line break adds no entry.
    void setText(std::string_view text);

private:
    std::vector<std::string> m_entries;
};

// Replaces the list with the file's lines. False (list untouched) when the file cannot be
// read.
bool loadSongList(const std::string& fileName, SongList& list);

// Writes the list to a new file beside fileName and renames it over fileName, so a crash or
// a full disk never leaves a truncated list. False when anything failed; the old file is
// then untouched.
bool saveSongList(const std::string& fileName, const SongList& list);

} // namespace larkspur
