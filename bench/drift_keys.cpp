// A drift key (Ctrl+, / Ctrl+.) on timed lyrics of about 2 MB, word stamps and all: moving the
// parsed lines to the new offset, beside the baseline of the same run, parsing the text with
// the new offset written into it (what a press cost before). Goal: a press well under a
// millisecond, so a held key never queues up behind the window's other work.

#include "bench/BenchTiming.h"
#include "lyrics/LrcLyrics.h"

#include <cstdio>
#include <string>

using namespace larkspur;
using namespace larkspur::bench;

int main()
{
    std::string lrc = "[ar:Bench]\n";
    for (int line = 0; lrc.size() < 1'900'000; ++line) {
        const int ms = line * 3000;
        lrc += lrcStamp(ms);
        for (int w = 0; w < 5; ++w)
            lrc += "<" + lrcStamp(ms + w * 600).substr(1, 8) + ">word" + std::to_string(w) + " ";
        lrc += "\n";
    }
    LrcLyrics lyrics = LrcLyrics::parse(lrc);
    std::printf("timed lyrics: %.1f MB, %zu lines\n", lrc.size() / 1e6, lyrics.lines().size());

    std::int64_t offset = 0;
    const double reparse = bestOf(5, [&] {
        offset += 100;
        lyrics = LrcLyrics::parse(lrcWithOffset(lyrics.lrcText(), offset));
    });
    const int presses = 100;
    const double moved = bestOf(5,
                                [&] {
                                    for (int i = 0; i < presses; ++i)
                                        offset = lyrics.setOffset(offset + 100);
                                }) /
                         presses;
    std::printf("a press: %.3f ms in place, %.1f ms parsed again, ratio %.4f (goal < 1 ms)\n",
                moved, reparse, moved / reparse);
    return lyrics.offsetMs() == offset ? 0 : 1;
}
