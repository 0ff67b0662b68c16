#pragma once
// CSS text-transform on UTF-8 text, as a browser applies it to rendered text.

#include <cstdint>
#include <string>
#include <string_view>

namespace larkspur {

// Unset: no rule says anything; Inherit: a rule says "inherit" (or "unset"/"revert"), which
// still beats an earlier rule that named a value.
enum class TextTransformKind : uint8_t { Unset, Inherit, None, Uppercase, Lowercase, Capitalize };

// Appends run to out with the case change applied. Letters of ASCII, Latin-1, Latin
// Extended-A, basic Greek and Cyrillic change case; others pass unchanged, as do invalid
// bytes. Uppercase turns "ß" into "SS"; capitalize changes only the first letter of each word
// ("ß" into "Ss"). A word is a run of letters, digits and apostrophes: "don't" stays one
// word, "rock-n-roll" is three. wordStart says whether the text before run ended a word (the
// start of a line, white space, punctuation); it is left saying the same for the end of run,
// so that a word split over runs is capitalized once.
void appendTransformed(std::string& out, std::string_view run, TextTransformKind kind,
                       bool& wordStart);

// Whether a word may go on after this text: it ends in a letter, digit or apostrophe.
bool endsInWord(std::string_view text);

} // namespace larkspur
