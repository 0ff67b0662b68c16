// Enhanced LRC's word stamps ("[00:01.00]<00:01.00>one <00:01.50>two"): each word of a timed
// line lies in its text, without blanks at its ends, after the word before it and sung no
// earlier; the word sung at each word's time is one of that time.

#include "fuzz/FuzzCheck.h"
#include "lyrics/LrcLyrics.h"

using namespace larkspur;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const LrcLyrics lrc = LrcLyrics::parse(fuzz::bytesOf(data, size));
    std::size_t wordsInAll = 0;
    for (std::size_t i = 0; i < lrc.lines().size(); ++i) {
        const LrcLine& line = lrc.lines()[i];
        const auto& words = line.words;
        if (!line.timeMs) FUZZ_CHECK(words.empty());
        wordsInAll += words.size();
        for (std::size_t k = 0; k < words.size(); ++k) {
            const LrcWord& w = words[k];
            FUZZ_CHECK(w.begin < w.end && w.end <= line.text.size());
            FUZZ_CHECK(line.text[w.begin] != ' ' && line.text[w.begin] != '\t');
            FUZZ_CHECK(line.text[w.end - 1] != ' ' && line.text[w.end - 1] != '\t');
            FUZZ_CHECK(w.timeMs >= 0);
            if (k > 0) FUZZ_CHECK(words[k - 1].end <= w.begin && words[k - 1].timeMs <= w.timeMs);
            const auto at = lrc.wordAt(i, w.timeMs);
            FUZZ_CHECK(at && *at >= k && words[*at].timeMs == w.timeMs);
        }
        if (!words.empty() && words.front().timeMs > 0)
            FUZZ_CHECK(!lrc.wordAt(i, words.front().timeMs - 1));
    }
    // A word costs a stamp of at least five bytes ("<1.0>"); a line's further copies, each
    // holding a byte a word at least, come out of the copy budget.
    FUZZ_CHECK(wordsInAll <= size / 5 + kLrcCopyBudgetFactor * size + kLrcCopyBudgetBytes);
    return 0;
}
