// Timed lyrics: any text parses, keeps its source, orders its timed lines by time, finds
// the sung line for a position, and each time written as a stamp reads back.

#include "fuzz/FuzzCheck.h"
#include "lyrics/LrcLyrics.h"

#include <string>

using namespace larkspur;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text = fuzz::bytesOf(data, size);
    const LrcLyrics lrc = LrcLyrics::parse(text);
    FUZZ_CHECK(lrc.lrcText() == text);

    const auto& lines = lrc.lines();
    std::optional<std::int64_t> last;
    bool anyTimed = false;
    for (const LrcLine& line : lines) {
        if (!line.timeMs) continue;
        anyTimed = true;
        if (last) FUZZ_CHECK(*last <= *line.timeMs);
        last = line.timeMs;
    }
    if (anyTimed) FUZZ_CHECK(looksLikeLrc(text));

    for (const LrcLine& line : lines) {
        if (!line.timeMs) continue;
        const std::int64_t t = *line.timeMs;
        const auto at = lrc.lineAt(t);
        FUZZ_CHECK(at && *at < lines.size() && lines[*at].timeMs && *lines[*at].timeMs <= t);
        if (t >= 0 && t < 100 * 60000) {
            const LrcLyrics again = LrcLyrics::parse(lrcStamp(t) + "x");
            FUZZ_CHECK(again.lines().size() == 1 && again.lines()[0].text == "x");
            FUZZ_CHECK(again.lines()[0].timeMs == t / 10 * 10);
        }
    }
    if (!anyTimed) FUZZ_CHECK(!lrc.lineAt(0) && !lrc.lineAt(INT64_MAX / 2));

    // The memo text has one line per line shown.
    const std::string plain = lrc.plainText();
    std::size_t breaks = 0;
    for (std::size_t at = plain.find("\r\n"); at != std::string::npos; at = plain.find("\r\n", at + 2))
        ++breaks;
    FUZZ_CHECK(lines.empty() ? plain.empty() : breaks + 1 >= lines.size());
    // A line behind many stamps costs memory in proportion to the text, not their product.
    FUZZ_CHECK(plain.size() <= (kLrcCopyBudgetFactor + 1) * text.size() + kLrcCopyBudgetBytes +
                                   2 * lines.size());
    return 0;
}
