#pragma once
// Offline lookups in dictionaries in the dictd format: a sorted "<name>.index" of headword,
// offset and length, and the entries in "<name>.dict.dz" (dictzip), a plain gzip or an
// uncompressed "<name>.dict". The index is binary-searched on disk and only the compressed
// chunks holding an entry are inflated, so a lookup costs a few small reads. What one lookup
// may read, inflate and return is bounded (DictdLimits.h). Blocking file I/O: callers on the
// interface thread run it aside (web/RunAside.h).

#include "dictionary/DictdLimits.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace larkspur {

// What one lookup found, and why anything was left out.
struct DictdEntries
{
    std::vector<std::string> texts;    // in index order; a repeated index line counts once
    std::string cut;                   // empty, or why the last text is cut short or the
                                       // entries after it are left out
    std::vector<std::string> problems; // one sentence per kind of entry left out
};

class DictdDictionary
{
  public:
    // `basePath` is the path without extension, e.g. ".../freedict-eng-deu". Nothing when the
    // index or the data file is missing or is no regular file, cannot be read, or the data
    // header is broken; `why` then gets a sentence on the file that is there but unusable
    // (none when there is no index: the dictionary is not installed). Never blocks on a
    // FIFO or a device.
    static std::optional<DictdDictionary> open(const std::filesystem::path& basePath,
                                               std::string* why = nullptr);

    // The entries whose headword is `word`, compared as the index was sorted
    // (case-insensitive; punctuation ignored unless the index keeps all characters). At most
    // `maxText` bytes of text in all (kDictdMaxLookupText at most in any case), from at most
    // kDictdMaxHeadwordLines index lines; entries whose data cannot be read are left out and
    // told of in `problems`.
    DictdEntries find(std::string_view word, std::size_t maxText = kDictdMaxLookupText) const;

    // The texts of find(word).
    std::vector<std::string> lookup(std::string_view word) const { return find(word).texts; }

    struct State;

  private:
    explicit DictdDictionary(std::shared_ptr<const State> state) : m_state(std::move(state)) {}
    std::shared_ptr<const State> m_state;
};

// The key dictd compares headwords by: lower case (ASCII and the common European letters of
// UTF-8) and, unless `allChars`, only letters, digits, spaces and non-ASCII letters kept.
std::string dictdKey(std::string_view word, bool allChars);

// Looks `word` up in the English-German and then the German-English dictionary under
// `folder`; the entries found, separated by blank lines and ending in a bracketed line when
// the bounds cut them, or nothing when neither dictionary is installed or has the word.
// At most kDictdMaxLookupText bytes of entries in all. Why a dictionary that is there was
// skipped, or entries were left out, goes to `problems` (sentences joined by blanks) when
// given.
std::optional<std::string>
lookupEnglishGerman(std::string_view word, const std::filesystem::path& folder = "/usr/share/dictd",
                    std::string* problems = nullptr);

} // namespace larkspur
