// innerText of a 2 MB lyrics-site page, beside the same run's baseline: gumbo parsing the
// same bytes and nothing else, the least any rendering of the page has to do. The ratio
// shows what charset detection, conversion, style rules and the text walk add on top.
// Two pages: one as dense in markup as real lyrics pages, one several times denser.

#include "web/HtmlDocument.h"
#include "web/HtmlRenderer.h"

#include <gumbo.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kPageBytes = 2000000;

const char* const kHead =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Song Lyrics</title>"
    "<style>.ad{display:none} #promo{visibility:hidden} .nav li{color:red}"
    " div.hidden{display:none} p{margin:0} .lyrics{white-space:normal}"
    " @media (max-width: 600px){.nav{display:none}}"
    " @media screen and (min-width: 1024px){.rule7{text-transform:capitalize}}";

// Markup of a lyrics site: navigation, an ad script, hidden blocks, a table, verses with
// <br> and entities. About 70 tags per KB, several times denser than real pages.
const char* const kDenseUnit =
    "<div class=\"nav\"><ul><li><a href=\"/a\">Artists</a></li><li><a href=\"/b\">Albums</a>"
    "</li><li><a href=\"/c\">Top &amp; New</a></li></ul></div>\r\n"
    "<script type=\"text/javascript\">(adsbygoogle = window.adsbygoogle || []).push({});"
    "</script><noscript><img src=\"/pixel.gif\" alt=\"\"></noscript>\r\n"
    "<div class=\"ad\">Advertisement that is hidden</div><div id=\"promo\">promo</div>\r\n"
    "<table class=\"info\"><tr><td>Artist:</td><td>Parkway Drive</td></tr>"
    "<tr><td>Album:</td><td>Ire</td></tr></table>\r\n"
    "<div class=\"lyrics\"><p>I spoke a vow today<br>\r\nAnd asked if god would come and "
    "play<br>\r\nI&#39;ve dug a shallow hole for him to sleep<br>\r\nBut I swear he just "
    "won&rsquo;t answer me</p>\r\n<p>Gr&ouml;&szlig;e   and    spaces\t\tcollapse<br />"
    "\r\n<span class=\"rule7\">inline</span> <b>bold</b> <i>italic</i></p></div>\r\n"
    "<div class=\"hidden\"><p>never shown</p></div><pre>  kept\r\n  as is</pre>\r\n";

// What real lyrics pages weigh: the same markup plus the inline script data and comments
// that make up much of their bytes; about 16 tags per KB, within the 6 to 26 of saved pages.
std::string typicalUnit()
{
    std::string unit = kDenseUnit;
    unit += "<script>window.__DATA__ = {\"songs\":[";
    for (int i = 0; i < 40; ++i)
        unit += "{\"id\":" + std::to_string(1000 + i) + ",\"title\":\"Song number " +
                std::to_string(i) + "\",\"url\":\"/lyrics/artist/song-" + std::to_string(i) +
                ".html\"},";
    unit += "{}]};</script>\r\n<!-- cache: served from node 7, generated in 0.031 s -->\r\n";
    return unit;
}

std::string makePage(const std::string& unit)
{
    std::string page = kHead;
    for (int i = 0; i < 200; ++i)
        page += " .rule" + std::to_string(i) + "{color:blue}";
    page += "</style><script>var config = {a: 1, b: '<p>not text</p>'};</script></head>\r\n<body>";
    while (page.size() + unit.size() + 20 < kPageBytes)
        page += unit;
    page += "</body></html>\r\n";
    return page;
}

template <typename Work> std::vector<double> timesMs(int runs, Work work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        work();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times;
}

double median(const std::vector<double>& sorted)
{
    return sorted[sorted.size() / 2];
}

void measure(const char* name, const std::string& page)
{
    constexpr int kRuns = 15;
    std::size_t textBytes = 0;
    const auto parseOnly = timesMs(kRuns, [&] {
        GumboOptions options = kGumboDefaultOptions;
        options.max_errors = 0;
        GumboOutput* output = gumbo_parse_with_options(&options, page.data(), page.size());
        gumbo_destroy_output(&options, output);
    });
    const auto innerText =
        timesMs(kRuns, [&] { textBytes = larkspur::renderInnerText(page).size(); });
    std::size_t htmlBytes = 0;
    const larkspur::HtmlDocument parsed(page);
    const auto innerHtml = timesMs(kRuns, [&] { htmlBytes = parsed.bodyInnerHtml().size(); });
    std::size_t tags = std::count(page.begin(), page.end(), '<');

    std::printf("%s page: %zu bytes, %.1f tags/KB; rendered text %zu bytes; body source %zu "
                "bytes\n",
                name, page.size(),
                1000.0 * static_cast<double>(tags) / static_cast<double>(page.size()), textBytes,
                htmlBytes);
    std::printf("  baseline, gumbo parse alone: best %7.2f ms, median %7.2f ms\n",
                parseOnly.front(), median(parseOnly));
    std::printf("  innerText (bytes to text):   best %7.2f ms, median %7.2f ms (target < 100 ms)\n",
                innerText.front(), median(innerText));
    std::printf("  innerHTML of a parsed page:  best %7.2f ms, median %7.2f ms\n",
                innerHtml.front(), median(innerHtml));
    std::printf("  ratio innerText / parse alone: %.2f (medians)\n",
                median(innerText) / median(parseOnly));
}

} // namespace

int main()
{
    measure("typical", makePage(typicalUnit()));
    measure("dense", makePage(kDenseUnit));
    return 0;
}
