#include "web/HttpUrl.h"

#include <gtest/gtest.h>

using namespace larkspur;

namespace {

HttpUrl parsed(std::string_view text, const HttpUrl* previous = nullptr)
{
    const HttpUrlResult r = parseHttpUrl(text, previous);
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

TEST(HttpUrl, ResolvesAgainstThePreviousRequest)
{
    const HttpUrl previous = parsed("http://site:81/lyrics/a/song.htm?id=3");
    EXPECT_EQ(parsed("other.htm", &previous).target, "/lyrics/a/other.htm");
    EXPECT_EQ(parsed("/top.htm", &previous).target, "/top.htm");
    EXPECT_EQ(parsed("?id=4", &previous).target, "/lyrics/a/song.htm?id=4");
    const HttpUrl relative = parsed("x/y.htm", &previous);
    EXPECT_EQ(relative.host, "site");
    EXPECT_EQ(relative.port, 81);
    EXPECT_EQ(relative.target, "/lyrics/a/x/y.htm");
    const HttpUrl schemeRelative = parsed("//other/p", &previous);
    EXPECT_EQ(schemeRelative.host, "other");
    EXPECT_EQ(schemeRelative.port, 80);
    EXPECT_EQ(schemeRelative.target, "/p");
}

TEST(HttpUrl, RejectsWhatCannotBeFetched)
{
    EXPECT_FALSE(parseHttpUrl("relative.htm", nullptr).url);
    EXPECT_FALSE(parseHttpUrl("http:///path", nullptr).url);
    EXPECT_FALSE(parseHttpUrl("http://h:0/", nullptr).url);
    EXPECT_FALSE(parseHttpUrl("http://h:65536/", nullptr).url);
    EXPECT_FALSE(parseHttpUrl("http://h:8o/", nullptr).url);
    EXPECT_FALSE(parseHttpUrl("http://[::1/", nullptr).url);
    EXPECT_FALSE(parseHttpUrl("http://h\r\nX-Evil: 1/", nullptr).url);
    EXPECT_FALSE(parseHttpUrl("http://a b/", nullptr).url);
    const HttpUrlResult file = parseHttpUrl("file:///etc/passwd", nullptr);
    EXPECT_FALSE(file.url);
    EXPECT_TRUE(file.unknownScheme);
}
