#pragma once
// The request and the answer of a word translation, shared by the window and the tool. The
// dictionary page is loaded into the browser document; the lyrics harvest recognises it by
// TranslationPending and hands it to the dictionary branch (LyricsView::dictionaryPage).

#include <string>

namespace larkspur {

class BrowserDocument;
struct LyricsState;

// Sets TranslationPending and starts loading the word's page from dictionaryHost(). Throws
// std::runtime_error, with the flag cleared again, when the navigation cannot start.
void requestTranslation(LyricsState& state, BrowserDocument& browser, const std::string& word);

// What the translation frame shows of the completed dictionary page. Throws
// std::runtime_error when the browser holds no document.
std::string translationOf(const BrowserDocument& browser);

} // namespace larkspur
