#include "lyrics/SongWords.h"

#include "lyrics/AsciiText.h"
#include "lyrics/TextRoutines.h"
#include "web/HttpUrl.h"

#include <algorithm>
#include <cstdlib>

namespace larkspur {

namespace {

constexpr std::string_view kQueryPath = "/search?sourceid=navclient&hl=de&ie=UTF-8&oe=UTF-8&q=";
constexpr std::string_view kBuiltInSearchHost = "http://www.google.com";

} // namespace

namespace {

// A track number in front ("01 - ", "07 ") or as a part of its own between two others
// ("Artist - 05 - Title"). Numbers within a part belong to the name ("Song 2", "#1").
std::string StripTrackNumberParts(std::string text, std::string_view splitter)
{
    const auto end = std::find_if_not(text.begin(), text.end(), isAsciiDigit);
    if (end != text.begin() && (end == text.end() || !isAsciiLetter(*end)))
        text.erase(text.begin(), end);
    if (splitter.empty()) return TrimControls(std::move(text));
    for (std::size_t at = text.find(splitter); at != std::string::npos;
         at = text.find(splitter, at + 1)) {
        std::size_t p = text.find_first_not_of(' ', at + splitter.size());
        const std::size_t digits = p;
        while (p < text.size() && isAsciiDigit(text[p]))
            ++p;
        if (p == digits || digits == std::string::npos) continue;
        const std::size_t next = text.find_first_not_of(' ', p);
        if (next != std::string::npos && text.compare(next, splitter.size(), splitter) == 0) {
            text.erase(at + splitter.size(), next + splitter.size() - at - splitter.size());
            break;
        }
    }
    return TrimControls(std::move(text));
}

// The steps after the case fold and the "&": the rest of the name's cleaning, and the split.
// The search's words lose a number anywhere; names keep all but a leading track number.
std::optional<SongWords> splitName(std::string name, std::string_view splitter,
                                   bool keepNumbers = false)
{
    for (auto [from, to] : {std::pair{"  ", " "}, {"_", " "}, {"  ", " "}, {".", " "}, {"  ", " "}})
        name = ReplaceAllNoCase(std::move(name), from, to);
    name = RemoveMarkedRanges(std::move(name), "{", "}");
    name = RemoveMarkedRanges(std::move(name), "[", "]");
    name = RemoveMarkedRanges(std::move(name), "(", ")");
    name = keepNumbers ? StripTrackNumberParts(std::move(name), splitter)
                       : StripTrackNumbers(std::move(name));
    for (const char* doubled : {"--", "- -", "-  -"})
        name = ReplaceAllNoCase(std::move(name), doubled, "-");
    name = TrimControls(std::move(name));
    // Leading hyphens go whatever the splitter is.
    name.erase(0, name.find_first_not_of('-') == std::string::npos ? name.size()
                                                                      : name.find_first_not_of('-'));
    name = RemoveAllNoCase(TrimSplitterChar(std::move(name), splitter), "*");
    if (name.empty()) return std::nullopt;

    SongWords words;
    const std::ptrdiff_t p = FindSplitterPos(splitter, name);
    if (p == -1) {
        words.title = TrimControls(name);
    } else {
        const auto at = static_cast<std::size_t>(p - 1);
        words.artist = TrimControls(name.substr(0, at));
        words.title = TrimControls(name.substr(std::min(name.size(), at + splitter.size())));
    }
    return words;
}

} // namespace

std::optional<SongWords> songWordsFromFileName(std::string_view fileName, std::string_view splitter)
{
    std::string name = RemoveAllNoCase(FoldAsciiLowercase(std::string(fileName)), ".mp3");
    return splitName(ReplaceAllNoCase(std::move(name), "&", " and "), splitter);
}

std::optional<SongWords> songNamesFromFileName(std::string_view fileName, std::string_view splitter)
{
    return splitName(RemoveAllNoCase(std::string(fileName), ".mp3"), splitter, true);
}

std::string searchHost() { return siteHost("LARKSPUR_SEARCH_URL", kBuiltInSearchHost); }

std::string songSearchUrl(std::string_view host, std::string_view preamble, std::string_view artist,
                          std::string_view title, std::string_view appendix)
{
    std::string url = std::string(host) + std::string(kQueryPath) + "%22" + std::string(preamble) +
                      "%22+%22" + std::string(artist) + "%22+%22" + std::string(title) + "%22";
    if (!appendix.empty()) url += "+%22" + std::string(appendix) + "%22";
    return url;
}

std::string customSearchUrl(std::string_view host, std::string_view typed)
{
    std::string words = ReplaceAllNoCase(std::string(typed), " ", "+");
    words = ReplaceAllNoCase(std::move(words), "\"", "%22");
    return std::string(host) + std::string(kQueryPath) + words;
}

} // namespace larkspur
