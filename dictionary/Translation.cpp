#include "dictionary/Translation.h"

#include "dictionary/DictdDictionary.h"
#include "dictionary/WordLookup.h"
#include "lyrics/LyricsState.h"
#include "web/BrowserDocument.h"

#include <cstdlib>
#include <exception>
#include <stdexcept>

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

std::filesystem::path dictdFolder()
{
    const char* env = std::getenv("LARKSPUR_DICTD_DIR");
    return env && *env ? env : "/usr/share/dictd";
}

std::optional<std::string> offlineTranslation(const std::string& word, std::string* problems)
{
    if (problems) problems->clear();
    // No word at the caret: a headword made only of punctuation would match it.
    if (word.find_first_not_of(" \t\r\n") == std::string::npos) return std::nullopt;
    return lookupEnglishGerman(word, dictdFolder(), problems);
}

std::string translationOf(const BrowserDocument& browser, const std::string& word)
{
    return translationOf(browser, word, [](const std::string& w) { return offlineTranslation(w); });
}

std::string translationOf(const BrowserDocument& browser, const std::string& word,
                          const OfflineLookup& offline)
{
    std::string text;
    std::exception_ptr noDocument;
    try {
        text = browser.innerText();
    } catch (const std::runtime_error&) {
        // Kept for later: the lookup may run a nested event loop.
        noDocument = std::current_exception();
    }
    if (noDocument) {
        if (auto entries = offline(word)) return *entries;
        std::rethrow_exception(noDocument);
    }
    // An unreachable dictionary leaves an empty page; an unexpected page has no markers.
    if (text.find(kTranslationStart) == std::string::npos &&
        text.find(kTranslationEnd) == std::string::npos) {
        if (auto entries = offline(word)) return *entries;
    }
    return translationSection(text);
}

} // namespace larkspur
