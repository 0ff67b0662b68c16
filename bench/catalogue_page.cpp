// Parsing a catalogue result page of 1,024 rows (goal: under 5 ms), beside the same run's
// baseline: one copy of the page and one scan for every row marker, the least any parse of
// it has to do.

#include "BenchTiming.h"
#include "lyrics/CataloguePage.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace {

std::string makePage(int rows)
{
    std::string page = "<html><head><title>Lyrics-World Suche</title></head><body>"
                       "<table><tr><td>Ergebnisse <b>1-1024</b> von insgesamt <b>5000</b>"
                       "</td></tr></table>\n";
    for (int i = 0; i < rows; ++i) {
        const std::string n = std::to_string(i);
        page +=
            "<div style=\"margin-left:5px\"><font face=\"Arial\"><a href=\"songtext.php?id=" + n +
            "&amp;PHPSESSID=0123456789abcdef0123456789abcdef\">Song title number " + n +
            "</a></font><br><font size=\"2\">...und wenn der Morgen kommt, dann singen wir "
            "das Lied von gestern, Zeile " +
            n + " ...</font></div>\n";
    }
    return page + "</body></html>";
}

} // namespace

int main()
{
    using namespace larkspur;
    const std::string page = makePage(1024);
    std::size_t rows = 0, markers = 0;
    const double ours = bench::bestOf(50, [&] { rows = parseCataloguePage(page).rows.size(); });
    const double baseline = bench::bestOf(50, [&] {
        const std::string copy = page;
        const std::string_view v = copy;
        markers = 0;
        for (std::size_t at = v.find("margin-left:5px"); at != v.npos;
             at = v.find("margin-left:5px", at + 1))
            ++markers;
    });
    std::printf("catalogue page of %zu bytes, %zu rows (%zu markers)\n", page.size(), rows,
                markers);
    std::printf("  parseCataloguePage        %8.3f ms   (goal: under 5 ms)\n", ours);
    std::printf("  baseline copy + scan      %8.3f ms   ratio %.1fx\n", baseline, ours / baseline);
    return rows == 1024 && ours < 5.0 ? 0 : 1;
}
