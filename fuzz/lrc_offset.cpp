// Offsets written into timed lyrics read back: for any text and any offset (the first eight
// bytes, little-endian), the reader takes the offset the writer wrote (the asked one, within
// what the reader reads), writing again replaces it, and the lines stay the text's own.

#include "fuzz/FuzzCheck.h"
#include "lyrics/LrcLyrics.h"

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

using namespace larkspur;

namespace {

// The timed lines as (time, text) in a fixed order, and the untimed ones in theirs.
std::vector<std::tuple<std::int64_t, std::string>> linesOf(const LrcLyrics& lyrics)
{
    std::vector<std::tuple<std::int64_t, std::string>> lines;
    for (const LrcLine& line : lyrics.lines())
        lines.emplace_back(line.timeMs.value_or(-1), line.text);
    std::stable_sort(lines.begin(), lines.end(),
                     [](const auto& a, const auto& b) { return std::get<0>(a) < std::get<0>(b); });
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 8) return 0;
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i)
        bits = bits << 8 | data[i];
    const auto offset = static_cast<std::int64_t>(bits);
    const std::string_view text = fuzz::bytesOf(data + 8, size - 8);

    const std::string written = lrcWithOffset(text, offset);
    const LrcLyrics read = LrcLyrics::parse(written);
    FUZZ_CHECK(read.offsetMs() == std::clamp(offset, -kLrcOffsetMaxMs, kLrcOffsetMaxMs));
    FUZZ_CHECK(lrcWithOffset(written, 0) == lrcWithOffset(text, 0));
    FUZZ_CHECK(lrcWithOffset(written, offset) == written);

    // Without an offset the lines are where they were, each time as the text has it.
    const LrcLyrics bare = LrcLyrics::parse(lrcWithOffset(text, 0));
    FUZZ_CHECK(bare.offsetMs() == 0);
    auto shifted = linesOf(bare);
    for (auto& [time, line] : shifted)
        if (time >= 0) time = std::max<std::int64_t>(0, time - read.offsetMs());
    std::stable_sort(shifted.begin(), shifted.end(),
                     [](const auto& a, const auto& b) { return std::get<0>(a) < std::get<0>(b); });
    auto got = linesOf(read);
    std::sort(shifted.begin(), shifted.end());
    std::sort(got.begin(), got.end());
    FUZZ_CHECK(got == shifted);
    return 0;
}
