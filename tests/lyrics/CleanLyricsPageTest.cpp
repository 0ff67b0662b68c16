#include "lyrics/CleanLyricsPage.h"
#include "lyrics/TextRoutines.h"

#include <chrono>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

using namespace larkspur;

namespace {

// Reference: the cleaning loops written out the slow way, searching a freshly folded copy
// from the start after every deletion and giving up after 5 seconds. A "/script>" right
// after a backslash is written inside a script's string and ends nothing. Where no
// "/script>" follows the first "<script", it takes the same way out as the real routine
// (through the next "/script>" after it, else to the end).
std::string slowCleanLyricsPage(std::string page)
{
    constexpr auto npos = std::string::npos;
    if (page.empty()) return page;
    const auto started = std::chrono::steady_clock::now();
    const auto timeIsUp = [&] {
        return std::chrono::steady_clock::now() - started > std::chrono::seconds(5);
    };
    std::string folded = FoldAsciiLowercase(page);
    if (const std::size_t body = folded.find("<body"); body != npos) {
        const std::size_t bodyEnd = folded.find("</body>");
        if (bodyEnd != npos) page = bodyEnd < body ? "" : page.substr(body, bodyEnd - body);
    }
    for (;;) {
        folded = FoldAsciiLowercase(page);
        const std::size_t p = folded.find("<class");
        if (p == npos) break;
        std::size_t e = folded.find('>', p);
        if (e == npos) e = page.size() - 1;
        page.erase(p, e - p + 1);
        if (timeIsUp()) break;
    }
    const auto scriptEnd = [&](std::size_t from) {
        std::size_t q = folded.find("/script>", from);
        while (q != npos && q > 0 && folded[q - 1] == '\\')
            q = folded.find("/script>", q + 1);
        return q;
    };
    for (;;) {
        folded = FoldAsciiLowercase(page);
        const std::size_t p = folded.find("<script");
        if (p == npos) break;
        std::size_t q = scriptEnd(0);
        if (q == npos || q < p) q = scriptEnd(p);
        page.erase(p, q == npos ? npos : q + 7 - p + 1);
        if (timeIsUp()) break;
    }
    return page;
}

std::string randomCase(std::string text, std::mt19937& random)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z' && random() % 2) c = char(c - 'a' + 'A');
    return text;
}

// Whole and broken markers, so that deletions also join pieces into new markers.
std::string randomPage(std::mt19937& random)
{
    static const std::vector<std::string> pieces = {
        "<body",    "<body>",    "</body>",  "<class", "<class x>",   "<script", "<script>",
        "/script>", "</script>", "<scr",     "ipt",    "ipt>",        "<cl",     "ass",
        "/scr",     "</bo",      "dy>",      "<bo",    ">",           "<",       "/",
        "a",        "b ",        "\xC3\xA4", "\r\n",   "<\\/script>", "\\"};
    std::string page;
    // Mostly short pages, where every case is reached often, and now and then a long one.
    for (int n = random() % 8 ? random() % 30 : random() % 400; n > 0; --n)
        page += randomCase(pieces[random() % pieces.size()], random);
    return page;
}

} // namespace

TEST(CleanLyricsPage, Table)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"<html><BODY bgcolor=x>A<script>x</script>B</body></html>", "<BODY bgcolor=x>AB"},
        {"<class foo>text", "text"},
        {"</body><body>", ""},
        {"", ""},
        {"<p>no body</p>", "<p>no body</p>"},
        {"<html><body>no end", "<html><body>no end"},
        {"x</body>", "x</body>"}, // no "<body": no cut
        {"<Body>a</BODY><body>b</body>", "<Body>a"},
        {"a<CLASS b>c<class d", "ac"}, // an open tag runs to the end
        {"a<SCRIPT>x</Script>b<sCrIpT src=y></SCRIPT>c", "abc"},
        {"a<script>x", "a"},                            // unclosed: to the end
        {"/script>a<script>b</script>c", "/script>ac"}, // stray close stays
        {"<scr<script>x</script>ipt>y</script>z", "z"}, // joined markers count
        {"<cl<class>ass x>y", "y"},
        {"<class <script>>", ">"}, // class tags go first
        {"a<script>\xC3\xA4</script>\xC3\xB6", "a\xC3\xB6"},
        // A "/script>" right after a backslash is part of a script's string.
        {"a<script>s=\"<\\/script>\";f()</script>b", "ab"},
        {"a<SCRIPT>s='<\\/SCRIPT>'</Script>b", "ab"},
        {"a<script>s=\"\\\\/script>\";f()</script>b", "ab"}, // any backslash before it
        {"a<script>s=\"<\\/script>\";f()", "a"},             // no real end: to the end
        {"\\/script>a<script>b</script>c", "\\/script>ac"},
        {"a<script>b<\\/script>c/script>d", "ad"},
    };
    for (const auto& [page, expected] : cases) {
        EXPECT_EQ(CleanLyricsPage(page), expected) << page;
        EXPECT_EQ(slowCleanLyricsPage(page), expected) << "reference: " << page;
    }
}

TEST(CleanLyricsPage, MatchesTheRescanningLoopsOnRandomPages)
{
    std::mt19937 random(1447);
    int changed = 0;
    for (int round = 0; round < 20000; ++round) {
        const std::string page = randomPage(random);
        const std::string cleaned = CleanLyricsPage(page);
        ASSERT_EQ(cleaned, slowCleanLyricsPage(page)) << "round " << round << ": " << page;
        changed += cleaned != page;
    }
    // The pages must exercise the deletions, not just pass through.
    EXPECT_GT(changed, 15000);
}
