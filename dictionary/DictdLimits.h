#pragma once
// How much one lookup in a local dictd dictionary may take. A hostile or broken dictionary
// (a gzip bomb, an index that repeats a line thousands of times, entries that claim
// gigabytes) must not hold the memory or the time of a lookup beyond these.

#include <cstddef>
#include <cstdint>

namespace larkspur {

// The text of all entries of one lookup together; what passes it is cut, with a word.
inline constexpr std::size_t kDictdMaxLookupText = 1u << 20;

// Index lines of one headword read in one lookup, repeated ones included; the rest are cut
// like text past kDictdMaxLookupText.
inline constexpr std::size_t kDictdMaxHeadwordLines = 1000;

// Of a plain gzip data file (one without dictzip's chunk table) no lookup inflates more than
// this; an entry that lies further in is refused.
inline constexpr std::uint64_t kDictdMaxInflated = 64u << 20;

// One line of the index; a longer one ends there.
inline constexpr std::size_t kDictdMaxIndexLine = 64u << 10;

} // namespace larkspur
