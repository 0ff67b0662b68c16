// dictd dictionaries read from real files. Input: the index, a NUL, a word to look up, a
// NUL, then the data (plain, or gzip/dictzip when it starts with the gzip magic).

#include "dictionary/DictdDictionary.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzFiles.h"

#include <string>

using namespace larkspur;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto f = fuzz::fields(fuzz::bytesOf(data, size), 3);
    const std::string_view index = f[0], word = f[1], dict = f[2];

    // A key of well-formed text is its own key (stray bytes are dropped, so a key of
    // broken text may join its neighbours into a character).
    if (fuzz::isUtf8(word)) {
        for (const bool allChars : {false, true}) {
            const std::string key = dictdKey(word, allChars);
            FUZZ_CHECK(dictdKey(key, allChars) == key);
        }
    }

    const auto base = fuzz::scratch() / "dict";
    const bool zipped = dict.starts_with("\x1f\x8b");
    std::error_code error;
    std::filesystem::remove(fuzz::scratch() / (zipped ? "dict.dict" : "dict.dict.dz"), error);
    fuzz::writeFile(fuzz::scratch() / "dict.index", index);
    fuzz::writeFile(fuzz::scratch() / (zipped ? "dict.dict.dz" : "dict.dict"), dict);

    const auto dictionary = DictdDictionary::open(base);
    if (!dictionary) {
        FUZZ_CHECK(zipped);
        return 0;
    }
    // The word typed, and the first headwords of the index as they stand.
    std::vector<std::string_view> words{word};
    std::string_view rest = index;
    while (!rest.empty() && words.size() < 8) {
        const auto nl = rest.find('\n');
        const std::string_view line = rest.substr(0, nl);
        words.push_back(line.substr(0, line.find('\t')));
        rest.remove_prefix(nl == std::string_view::npos ? rest.size() : nl + 1);
    }
    for (const std::string_view w : words) {
        const std::vector<std::string> entries = dictionary->lookup(w);
        FUZZ_CHECK(dictionary->lookup(w) == entries);
        if (!zipped)
            for (const std::string& entry : entries)
                FUZZ_CHECK(entry.size() <= dict.size());
    }
    return 0;
}
