#pragma once
// Offline lookups in dictionaries in the dictd format: a sorted "<name>.index" of headword,
// offset and length, and the entries in "<name>.dict.dz" (dictzip), a plain gzip or an
// uncompressed "<name>.dict". The index is binary-searched on disk and only the compressed
// chunks holding an entry are inflated, so a lookup costs a few small reads.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace larkspur {

class DictdDictionary
{
  public:
    // `basePath` is the path without extension, e.g. ".../freedict-eng-deu". Nothing when the
    // index or the data file is missing or unreadable, or the data header is broken.
    static std::optional<DictdDictionary> open(const std::filesystem::path& basePath);

    // The texts of every entry whose headword is `word`, compared as the index was sorted
    // (case-insensitive; punctuation ignored unless the index keeps all characters), in
    // index order. Empty when not found; entries whose data cannot be read are left out.
    std::vector<std::string> lookup(std::string_view word) const;

    struct State;

  private:
    explicit DictdDictionary(std::shared_ptr<const State> state) : m_state(std::move(state)) {}
    std::shared_ptr<const State> m_state;
};

// The key dictd compares headwords by: lower case (ASCII and the common European letters of
// UTF-8) and, unless `allChars`, only letters, digits, spaces and non-ASCII letters kept.
std::string dictdKey(std::string_view word, bool allChars);

// Looks `word` up in the English-German and then the German-English dictionary under
// `folder`; the entries found, separated by blank lines, or nothing when neither dictionary
// is installed or has the word.
std::optional<std::string>
lookupEnglishGerman(std::string_view word,
                    const std::filesystem::path& folder = "/usr/share/dictd");

} // namespace larkspur
