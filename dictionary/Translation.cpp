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

PageTranslation readPageTranslation(const BrowserDocument& browser)
{
    PageTranslation page;
    try {
        page.text = browser.innerText();
    } catch (const std::runtime_error& e) {
        page.noDocument = e.what();
        page.needsOffline = true;
        return page;
    }
    // An unreachable dictionary leaves an empty page; an unexpected page has no markers.
    page.needsOffline = page.text.find(kTranslationStart) == std::string::npos &&
                        page.text.find(kTranslationEnd) == std::string::npos;
    return page;
}

std::string translationFrom(const PageTranslation& page,
                            const std::optional<std::string>& offlineEntries)
{
    if (page.needsOffline && offlineEntries) return *offlineEntries;
    if (!page.noDocument.empty()) throw std::runtime_error(page.noDocument);
    return translationSection(page.text);
}

std::string translationOf(const BrowserDocument& browser, const std::string& word,
                          const OfflineLookup& offline)
{
    const PageTranslation page = readPageTranslation(browser);
    return translationFrom(page, page.needsOffline ? offline(word) : std::nullopt);
}

} // namespace larkspur
