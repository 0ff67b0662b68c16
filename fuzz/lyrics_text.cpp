// The byte routines that turn file names into search words and cut links and sections out
// of result pages. Input: up to three fields split at NUL bytes (text, then the markers,
// patterns or splitters the routines take).

#include "fuzz/FuzzCheck.h"
#include "lyrics/LyricsFileNames.h"
#include "lyrics/QueryEncoding.h"
#include "lyrics/ResultLinks.h"
#include "lyrics/SongWords.h"
#include "lyrics/TextRoutines.h"

#include <algorithm>
#include <string>

using namespace larkspur;

namespace {

bool isControl(char c) { return static_cast<unsigned char>(c) <= 32; }

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool hasUpper(std::string_view s)
{
    for (const char c : s)
        if (c >= 'A' && c <= 'Z') return true;
    return false;
}

bool trimmed(std::string_view s) { return s.empty() || (!isControl(s.front()) && !isControl(s.back())); }

constexpr std::string_view kUmlauts[] = {"\xC3\xA4", "\xC3\xB6", "\xC3\xBC", "\xC3\x84",
                                         "\xC3\x96", "\xC3\x9C", "\xC3\x9F"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto f = fuzz::fields(fuzz::bytesOf(data, size), 3);
    const std::string a(f[0]);
    const std::string_view b = f[1], c = f[2];

    const std::string folded = FoldAsciiLowercase(a);
    FUZZ_CHECK(folded.size() == a.size() && !hasUpper(folded));

    const std::string trim = TrimControls(a);
    FUZZ_CHECK(trimmed(trim) && a.find(trim) != std::string::npos);

    const std::string replaced = ReplaceAllNoCase(a, b, c);
    if (!b.empty() && b.size() <= a.size()) {
        if (c.size() < b.size()) FUZZ_CHECK(!fuzz::containsNoCase(replaced, b));
        else FUZZ_CHECK(replaced.size() <= a.size() + (a.size() / b.size()) * (c.size() - b.size()));
    } else {
        FUZZ_CHECK(replaced == a);
    }
    const std::string removed = RemoveAllNoCase(a, b);
    FUZZ_CHECK(b.empty() || !fuzz::containsNoCase(removed, b));

    FUZZ_CHECK(RemoveMarkedRanges(a, b, c).size() <= a.size());
    const std::string stripped = StripTrackNumbers(a);
    FUZZ_CHECK(trimmed(stripped) && stripped.size() <= a.size());
    // Only digits go, and the blanks trimmed: the letters stay as they were.
    FUZZ_CHECK(std::count_if(stripped.begin(), stripped.end(), isLetter) ==
               std::count_if(a.begin(), a.end(), isLetter));
    FUZZ_CHECK(TrimSplitterChar(a, b).size() <= a.size());

    const std::ptrdiff_t at = FindSplitterPos(b, a);
    if (at != -1) {
        FUZZ_CHECK(at >= 1 && static_cast<std::size_t>(at) <= a.size());
        FUZZ_CHECK(std::string_view(a).substr(static_cast<std::size_t>(at - 1), b.size()) == b);
    }
    FUZZ_CHECK(a.find(CutBetween(a, b, c)) != std::string::npos);

    if (const auto words = songWordsFromFileName(a, b)) {
        for (const std::string* part : {&words->artist, &words->title}) {
            FUZZ_CHECK(!hasUpper(*part) && trimmed(*part));
            FUZZ_CHECK(part->find('_') == std::string::npos && part->find('&') == std::string::npos);
        }
    }
    FUZZ_CHECK(lyricsFileFor(a).ends_with(".lyr"));
    const std::string host = "http://127.0.0.1:9";
    const std::string custom = customSearchUrl(host, a);
    FUZZ_CHECK(custom.starts_with(host));
    FUZZ_CHECK(custom.find_first_of(" \"", host.size()) == std::string::npos);

    FUZZ_CHECK(DecodeUmlautEntities(a).size() <= a.size());
    const std::string latin1 = EncodeLatin1Query(a);
    const std::string utf8 = EncodeUtf8Query(a);
    // The catalogue's query is plain ASCII: escapes and "?" stand for everything else.
    FUZZ_CHECK(std::all_of(latin1.begin(), latin1.end(),
                           [](char ch) { return static_cast<unsigned char>(ch) < 0x80; }));
    for (const std::string_view umlaut : kUmlauts) {
        FUZZ_CHECK(latin1.find(umlaut) == std::string::npos);
        FUZZ_CHECK(utf8.find(umlaut) == std::string::npos);
    }

    if (const auto after = textAfterMarker(a, b)) FUZZ_CHECK(a.ends_with(*after));
    FUZZ_CHECK(hasLinkEnd(a) == fuzz::containsNoCase(a, kLinkEnd));
    FUZZ_CHECK(resultLinkA(a).size() <= a.size() + 1);
    FUZZ_CHECK(resultLinkB(a).find_first_of("\"\\") == std::string::npos);
    FUZZ_CHECK(dropThroughBannerEnd(a).size() <= a.size());
    return 0;
}
