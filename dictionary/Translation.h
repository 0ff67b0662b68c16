#pragma once
// The request and the answer of a word translation, shared by the window and the tool. The
// dictionary page is loaded into the browser document; the lyrics harvest recognises it by
// TranslationPending and hands it to the dictionary branch (LyricsView::dictionaryPage).

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace larkspur {

class BrowserDocument;
struct LyricsState;

// Sets TranslationPending and starts loading the word's page from dictionaryHost(). Throws
// std::runtime_error, with the flag cleared again, when the navigation cannot start.
void requestTranslation(LyricsState& state, BrowserDocument& browser, const std::string& word);

// Where the local dictd dictionaries are looked for: LARKSPUR_DICTD_DIR when set, else
// /usr/share/dictd.
std::filesystem::path dictdFolder();

// The entries of `word` in the local English-German dictionaries (lookupEnglishGerman in
// dictdFolder()), with "\n" line breaks; nothing when none is installed or knows the word.
// Why a dictionary or entries were left out goes to `problems` when given. Blocking file
// I/O of bounded size (DictdLimits.h): the interface thread runs it aside.
std::optional<std::string> offlineTranslation(const std::string& word,
                                              std::string* problems = nullptr);

// How the caller asks the local dictionaries: offlineTranslation, or a wrapper that runs it
// aside or keeps its problems.
using OfflineLookup = std::function<std::optional<std::string>(const std::string& word)>;

// What the translation frame shows for `word` once the dictionary page has completed: the
// page's section (translationSection), or, when the page is empty or holds neither marker,
// the word's offline entries as far as there are any. Throws std::runtime_error when the
// browser holds no document and the word has no offline entries.
std::string translationOf(const BrowserDocument& browser, const std::string& word);

// translationOf in two steps, for a caller that asks the local dictionaries aside: what the
// page says, then (when `needsOffline`) the text once the offline entries are known.
struct PageTranslation
{
    std::string text;       // the page's rendered text
    std::string noDocument; // why there is no page to read, when there is none
    bool needsOffline = false;
};
PageTranslation readPageTranslation(const BrowserDocument& browser);
// Throws std::runtime_error (noDocument) when there is no page and no entries.
std::string translationFrom(const PageTranslation& page,
                            const std::optional<std::string>& offlineEntries);
std::string translationOf(const BrowserDocument& browser, const std::string& word,
                          const OfflineLookup& offline);

} // namespace larkspur
