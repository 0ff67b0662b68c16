#pragma once
// The lyrics side's share of the window's state variables. Texts are UTF-8 bytes.

#include <string>

namespace larkspur {

struct LyricsState
{
    std::string Preamble = "lyrics"; // first quoted phrase of the search
    std::string Appendix;            // last quoted phrase, left out when empty
    std::string SplitterChar = "-";  // between artist and title in file names
    std::string SongArtist;  // artist words of the last lookup ("+" for blanks once searched)
    std::string SongTitle;   // title words of the last lookup
    std::string SearchTerm;  // SongArtist + " " + SongTitle, with blanks
    bool AutoLyricsPending = true;   // a song start: a lyrics file found ends the lookup
    bool TranslationPending = false; // the next completed document is the dictionary page
    bool LyricsPagePending = false;  // the next completed document is the staging page
    std::string ResultsRemainder;    // the rest of the last result page after the link taken
};

} // namespace larkspur
