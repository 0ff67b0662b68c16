#include "dictionary/Translation.h"

#include "dictionary/WordLookup.h"
#include "lyrics/LyricsState.h"
#include "web/BrowserDocument.h"

namespace larkspur {

void requestTranslation(LyricsState& state, BrowserDocument& browser, const std::string& word)
{
    state.TranslationPending = true;
    try {
        browser.Navigate(dictionaryUrl(dictionaryHost(), word));
    } catch (...) {
        // Nothing loads, so the next page to complete is not the dictionary's.
        state.TranslationPending = false;
        throw;
    }
}

std::string translationOf(const BrowserDocument& browser)
{
    return translationSection(browser.innerText());
}

} // namespace larkspur
