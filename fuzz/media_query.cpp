// Media query lists, answered for several windows. A list is split at its top-level
// commas, so a query put in front of it changes nothing unless it applies by itself.

#include "fuzz/FuzzCheck.h"
#include "web/MediaQuery.h"

#include <string>

using namespace larkspur;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view list = fuzz::bytesOf(data, size);
    const bool blank = list.find_first_not_of(" \t\r\n\f") == std::string_view::npos;
    for (const MediaViewport view : {MediaViewport{}, MediaViewport{320, 480}, MediaViewport{0, 0},
                                     MediaViewport{1e9, 1}}) {
        const bool applies = mediaQueryListMatches(list, view);
        if (blank) {
            FUZZ_CHECK(applies);
            continue;
        }
        FUZZ_CHECK(mediaQueryListMatches("print, " + std::string(list), view) == applies);
        FUZZ_CHECK(mediaQueryListMatches("screen, " + std::string(list), view));
    }
    return 0;
}
