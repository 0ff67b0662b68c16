// Song tags: any bytes as an MP3 file give a tag read within the bounds or refused with a
// reason, never both; the lyrics are UTF-8 without blanks alone, and timed lyrics parse
// with every time under 1,000 minutes.

#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzFiles.h"
#include "lyrics/EmbeddedLyrics.h"
#include "lyrics/LrcLyrics.h"
#include "lyrics/SourceLimits.h"
#include "lyrics/TagBounds.h"

#include <string>

using namespace larkspur;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string song = (fuzz::scratch() / "song.mp3").string();
    fuzz::writeFile(song, fuzz::bytesOf(data, size));

    const BoundedTag tag = readBoundedTag(song);
    FUZZ_CHECK(tag.bytes.size() <= kTagMaxBytes + 64 * 1024);
    FUZZ_CHECK((tag.outcome == BoundedTag::Outcome::Refused) == !tag.why.empty());

    std::string refused;
    const auto lyrics = readEmbeddedLyrics(song, &refused);
    FUZZ_CHECK(!(lyrics && !refused.empty()));
    if (!lyrics) return 0;
    for (const std::string* text : {&lyrics->artist, &lyrics->title, &lyrics->text, &lyrics->lrc})
        FUZZ_CHECK(fuzz::isUtf8(*text));
    FUZZ_CHECK(lyrics->text.find_first_not_of(" \t\r\n") != std::string::npos || lyrics->text.empty());
    const LrcLyrics timed = LrcLyrics::parse(lyrics->lrc);
    for (const LrcLine& line : timed.lines())
        FUZZ_CHECK(!line.timeMs || *line.timeMs < 1000LL * 60000);
    return 0;
}
