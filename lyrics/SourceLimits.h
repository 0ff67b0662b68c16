#pragma once
// How much the lyrics sources beside a song may cost at its start. Its files and its tag are
// read in full only within these bounds: a hostile or broken file (a huge sparse lyrics file,
// a tag frame that inflates to gigabytes) must not hold the memory or the song start.

#include <cstddef>

namespace larkspur {

// A lyrics file is read up to this many bytes: more than the memo shows (512 K characters
// take at most 1.5 MB of UTF-8), so a text that stops here is shown cut all the same.
inline constexpr std::size_t kLyricsFileMaxBytes = 2 * 1024 * 1024;

// Lyrics fetched for a whole song list are saved only up to this size (the longest real
// lyrics are tens of KB; a list of 10,000 songs must not fill a disk), and that run reads
// each of the database's answers only up to it.
inline constexpr std::size_t kFetchedLyricsMaxBytes = 512 * 1024;

// An ID3v2 tag larger than this is not read at all.
inline constexpr std::size_t kTagMaxBytes = 16 * 1024 * 1024;
// Nor one with a frame that inflates (or claims to) to more than this; nor one whose frames
// inflate to more than kTagMaxBytes together.
inline constexpr std::size_t kTagFrameMaxBytes = 8 * 1024 * 1024;
// Nor one with more frames than this: each costs TagLib an object of its own.
inline constexpr std::size_t kTagMaxFrames = 4096;

} // namespace larkspur
