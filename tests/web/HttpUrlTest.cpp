#include "web/HttpUrl.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace larkspur;

namespace {

HttpUrl parsed(std::string_view text)
{
    const HttpUrlResult r = parseHttpUrl(text);
    EXPECT_TRUE(r.url.has_value()) << text;
    return r.url.value_or(HttpUrl{});
}

} // namespace

TEST(HttpUrl, SplitsAbsoluteUrls)
{
    HttpUrl u = parsed("http://www.Example.com/a/b.php?x=1&y=%20#frag");
    EXPECT_EQ(u.scheme, "http");
    EXPECT_EQ(u.host, "www.Example.com");
    EXPECT_EQ(u.port, 80);
    EXPECT_EQ(u.target, "/a/b.php?x=1&y=%20");
    EXPECT_EQ(u.hostHeader(), "www.Example.com");

    u = parsed("HTTP://user:pw@host:8080?q");
    EXPECT_EQ(u.host, "host");
    EXPECT_EQ(u.port, 8080);
    EXPECT_EQ(u.target, "/?q");
    EXPECT_EQ(u.hostHeader(), "host:8080");

    u = parsed("https://[::1]:4443\\x\\y.htm");
    EXPECT_EQ(u.scheme, "https");
    EXPECT_EQ(u.host, "[::1]");
    EXPECT_EQ(u.target, "/x/y.htm");
    EXPECT_EQ(u.hostHeader(), "[::1]:4443");

    EXPECT_EQ(parsed("https://h/").port, 443);
    EXPECT_EQ(parsed("https://h/").hostHeader(), "h");
    EXPECT_EQ(parsed("https://h:80/").hostHeader(), "h:80");
    EXPECT_EQ(parsed("http://h:443/").hostHeader(), "h:443");
}

TEST(HttpUrl, KeepsBytesButEncodesWhatWouldBreakTheRequestLine)
{
    EXPECT_EQ(parsed("http://h/\xE4 b\r\nX: y\x7f").target, "/\xE4%20b%0D%0AX:%20y%7F");
    EXPECT_EQ(parsed("http://h/%41/../b").target, "/%41/../b");
}

TEST(HttpUrl, EndsAreTrimmedBeforeAnythingElse)
{
    EXPECT_EQ(trimUrlEnds(" \t\x01http://h/a b\r\n\x1f "), "http://h/a b");
    EXPECT_EQ(trimUrlEnds(" \x7f"), "\x7f"); // DEL is not a control to trim
    EXPECT_EQ(trimUrlEnds("\r\n"), "");
    EXPECT_EQ(parsed(" http://h/page.html ").target, "/page.html");
    EXPECT_EQ(parsed("\thttp://h:81/a b.html\x00\n").target, "/a%20b.html");
    EXPECT_EQ(parsed("\nhttp://h\r\n").target, "/");
}

TEST(HttpUrl, ResolvesLinksAgainstTheirPage)
{
    const std::string page = "http://site:81/lyrics/a/song.htm?id=3#verse";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"other.htm", "http://site:81/lyrics/a/other.htm"},
        {" other.htm ", "http://site:81/lyrics/a/other.htm"},
        {"x\\y.htm", "http://site:81/lyrics/a/x/y.htm"},
        {"../b/./c.htm?q=../x", "http://site:81/lyrics/b/c.htm?q=../x"},
        {"../../../../top.htm", "http://site:81/top.htm"},
        {"..", "http://site:81/lyrics/"},
        {"/top.htm#part", "http://site:81/top.htm"},
        {"?id=4", "http://site:81/lyrics/a/song.htm?id=4"},
        {"//other/p", "http://other/p"},
        {"HTTPS://x/y z ", "HTTPS://x/y z"},
        {"javascript:void(0)", ""},
        {"mailto:lyrics@example.com", ""},
        {"", ""},
        {"#top", ""},
        {"//[?top", ""}, // no host in the end
        {"http://", ""},
    };
    for (const auto& [link, expected] : cases)
        EXPECT_EQ(resolveHttpUrl(page, link), expected) << '"' << link << '"';
    EXPECT_EQ(resolveHttpUrl("http://h", "a.htm"), "http://h/a.htm");
    EXPECT_EQ(resolveHttpUrl("https://h:443/d/", "a.htm"), "https://h/d/a.htm");
    // Without a page to be relative to, only absolute links remain.
    EXPECT_EQ(resolveHttpUrl("", "a.htm"), "");
    EXPECT_EQ(resolveHttpUrl("file:///f.htm", "a.htm"), "");
    EXPECT_EQ(resolveHttpUrl("", "http://h/a.htm"), "http://h/a.htm");
}

TEST(HttpUrl, RejectsWhatCannotBeFetched)
{
    for (const char* text :
         {"http:///path", "http://h:0/", "http://h:65536/", "http://h:8o/", "http://[::1/",
          "http://h\r\nX-Evil: 1/", "http://a b/", "http:/x", "http:x", "http://h:x:80/"}) {
        const HttpUrlResult r = parseHttpUrl(text);
        EXPECT_FALSE(r.url) << text;
        EXPECT_FALSE(r.relative || r.unknownScheme) << text;
    }
    for (const char* text :
         {"file:///etc/passwd", "javascript:void(0)", "mailto:a@b", "c:\\f.htm", "ftp://h/"}) {
        const HttpUrlResult r = parseHttpUrl(text);
        EXPECT_FALSE(r.url) << text;
        EXPECT_TRUE(r.unknownScheme) << text;
    }
    // Relative links are not resolved against anything.
    for (const char* text : {"relative.htm", "/lyrics/x.html", "?q=1", "//h/p", "", " ", "b/c:d"}) {
        const HttpUrlResult r = parseHttpUrl(text);
        EXPECT_FALSE(r.url) << text;
        EXPECT_TRUE(r.relative) << text;
    }
}
