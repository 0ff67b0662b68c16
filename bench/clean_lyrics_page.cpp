// CleanLyricsPage on a 2 MB page with 20,000 script blocks and 20,000 class tags, and on
// pages 4 and 16 times that size, beside a baseline on the same bytes in the same run:
// copying the page and counting its '<' bytes, the least any cleaner has to do. Linear time
// shows as a steady ratio to the baseline; both grow a little faster than the size once the
// page no longer fits in the cache.

#include "lyrics/CleanLyricsPage.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <malloc.h>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kBasePageBytes = 2000000;
constexpr std::size_t kBaseBlocks = 20000;

// `blocks` script blocks and as many class tags among lines of lyrics, `bytes` long in all.
std::string makePage(std::size_t bytes, std::size_t blocks)
{
    const std::string head = "<html><head><title>Lyrics</title></head>\r\n<BODY bgcolor=white>\r\n";
    const std::string tail = "</body></html>\r\n";
    const std::string scripts[] = {"<script type=\"text/javascript\">var ad = slot(1);</script>",
                                   "<SCRIPT>document.write('x');</Script>"};
    const std::string verse = "And the night goes on, the song goes round again and again ";
    std::string page = head;
    page.reserve(bytes);
    for (std::size_t i = 0; i < blocks; ++i) {
        const std::size_t unitEnd =
            head.size() + (bytes - head.size() - tail.size()) * (i + 1) / blocks;
        page += scripts[i % 2];
        page += "<class verse>";
        const std::size_t room = unitEnd - std::min(unitEnd, page.size() + 6);
        for (std::size_t n = 0; n < room; n += verse.size())
            page.append(verse, 0, std::min(verse.size(), room - n));
        page += "<br>\r\n";
    }
    page += tail;
    return page;
}

template <typename Work> double bestMs(int runs, Work work)
{
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        work();
        best =
            std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return best;
}

} // namespace

int main()
{
    // Keep freed page buffers in the heap, so that the runs time the work and not the kernel
    // handing out fresh zeroed pages for every large string.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
    std::printf("%5s %10s %7s %7s %9s %11s %6s %8s %11s\n", "size", "page bytes", "scripts",
                "classes", "clean ms", "baseline ms", "ratio", "growth", "base growth");
    double firstCleanMs = 0, firstBaseMs = 0;
    volatile std::size_t sink = 0; // keeps every result alive
    for (const std::size_t scale : {1, 4, 16}) {
        const std::size_t blocks = kBaseBlocks * scale;
        const std::string page = makePage(kBasePageBytes * scale, blocks);
        const int runs = scale == 16 ? 3 : 7;
        const double cleanMs =
            bestMs(runs, [&] { sink = sink + larkspur::CleanLyricsPage(page).size(); });
        const double baseMs = bestMs(runs, [&] {
            const std::string copy = page;
            std::size_t tags = 0;
            for (const char* p = copy.data();
                 (p = static_cast<const char*>(std::memchr(p, '<', copy.data() + copy.size() - p)));
                 ++p)
                ++tags;
            sink = sink + tags;
        });
        const std::string cleaned = larkspur::CleanLyricsPage(page);
        if (cleaned.find("<script") != std::string::npos ||
            cleaned.find("<class") != std::string::npos) {
            std::printf("cleaning left a marker behind\n");
            return 1;
        }
        if (scale == 1) {
            firstCleanMs = cleanMs;
            firstBaseMs = baseMs;
        }
        std::printf("%4zux %10zu %7zu %7zu %9.2f %11.2f %6.2f %7.2fx %10.2fx\n", scale, page.size(),
                    blocks, blocks, cleanMs, baseMs, cleanMs / baseMs, cleanMs / firstCleanMs,
                    baseMs / firstBaseMs);
    }
    std::printf("target: under 20 ms at 1x, growth in step with the size and the baseline\n");
    return 0;
}
