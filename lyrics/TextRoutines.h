#pragma once
// Text routines that turn song file names into search words and cut sections out of page
// text. Pure functions on bytes: every one takes its inputs by value, returns a new text,
// keeps no state and never throws for any input (apart from std::bad_alloc).
//
// Encoding: these routines work byte by byte and only ever look at ASCII bytes (letters,
// digits, brackets, blanks), so they serve UTF-8 text (the program's encoding on Linux) as
// well as any single-byte code page. "Letter" means A-Z and a-z only; bytes from 128 up
// (including every byte of a UTF-8 umlaut) are never letters and are never case-folded.

#include <cstddef>
#include <string>
#include <string_view>

namespace larkspur {

// A-Z become a-z, every other byte stays: the length never changes.
std::string FoldAsciiLowercase(std::string text);

// Removes every leading and trailing byte whose code is 32 or less (blanks, tabs, CR, LF and
// the other control characters). Bytes from 128 up are kept.
std::string TrimControls(std::string text);

// Replaces `pattern` (ASCII case ignored) by `replacement`.
// A replacement shorter than the pattern: the first occurrence is replaced and the search
// starts over from the beginning of the text, until the pattern no longer occurs, so that
// "  " by " " collapses a run of blanks of any length and "aaa" with "aa" by "a" gives "a".
// A replacement as long as the pattern or longer is never searched again: every occurrence
// in the original text is replaced once, left to right ("aab" with "ab" by "bbaa" gives
// "abbaa"), since a rescan could grow the text without end.
// An empty pattern, or one longer than the text, leaves the text unchanged.
// Time: linear in the text plus the bytes inserted.
std::string ReplaceAllNoCase(std::string text, std::string_view pattern,
                             std::string_view replacement);

// ReplaceAllNoCase with an empty replacement: "Song.MP3" without ".mp3" is "Song".
std::string RemoveAllNoCase(std::string text, std::string_view pattern);

// Cuts bracketed parts out of a name, one range per pass: each pass finds the first
// `opening` and the first `closing` marker (case-sensitive) and deletes from the earlier to
// the later one inclusive, whichever is which ("a) b (c" gives "ac", "((x))" gives ")").
// Stops when either marker is missing or empty. Meant for one-character markers; with
// longer ones only the first byte of the later marker is deleted.
std::string RemoveMarkedRanges(std::string text, std::string_view opening,
                               std::string_view closing);

// Drops the track number from a song name: all leading digits, then the first run of
// digits elsewhere unless a letter touches it ("mp3", "u2", "b52s" stay), then trims.
// "07 artist - song 2" gives "artist - song"; only the first run is looked at.
std::string StripTrackNumbers(std::string text);

// Deletes at most one `splitter` (the artist/title separator setting, one character,
// possibly several bytes in UTF-8) at the start and one at the end, then trims.
// "- a -" gives "a". An empty splitter only trims.
std::string TrimSplitterChar(std::string text, std::string_view splitter);

// Where to split "artist - title": the 1-based byte position of the first `needle` (the
// splitter), or of the second one when the first is glued to the next character, as the
// hyphen in "jay-z - song" is (gives 7). At most one occurrence is skipped ("a-b-c" gives 4).
// -1 when the needle or the text is empty or the needle does not occur. The needle is
// treated as one unit: the character checked is the one right after it.
std::ptrdiff_t FindSplitterPos(std::string_view needle, std::string_view text);

// The part of `text` from the first `start` marker up to just before the first `end` marker
// (both case-sensitive, both searched from the beginning). A missing or empty start marker
// means from the beginning, a missing or empty end marker means to the end; empty when the
// end marker stands at or before the start.
std::string CutBetween(std::string_view text, std::string_view start, std::string_view end);

} // namespace larkspur
