// CleanLyricsPage on any bytes: it only ever deletes and leaves no script start behind.

#include "fuzz/FuzzCheck.h"
#include "lyrics/CleanLyricsPage.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view page = larkspur::fuzz::bytesOf(data, size);
    const std::string clean = larkspur::CleanLyricsPage(page);
    FUZZ_CHECK(clean.size() <= page.size());
    FUZZ_CHECK(!larkspur::fuzz::containsNoCase(clean, "<script"));
    // Every step deletes: what is left is the page's bytes in their order.
    std::size_t at = 0;
    for (const char c : clean) {
        while (at < page.size() && page[at] != c)
            ++at;
        FUZZ_CHECK(at < page.size());
        ++at;
    }
    return 0;
}
