#include "web/HttpCookieJar.h"

#include <gtest/gtest.h>

using namespace larkspur;

namespace {
constexpr std::time_t kNow = 1700000000; // 2023-11-14 22:13:20 UTC
}

TEST(HttpCookieJar, KeepsCookiesPerHostInArrivalOrder)
{
    HttpCookieJar jar;
    EXPECT_EQ(jar.headerFor("site", false, kNow), "");
    jar.storeSetCookie("Site", "a=1; Path=/; HttpOnly", false, kNow);
    jar.storeSetCookie("site", " b = two words ;Domain=.site", false, kNow);
    jar.storeSetCookie("site", "a=3", false, kNow);
    jar.storeSetCookie("site", "novalue; Path=/", false, kNow);
    jar.storeSetCookie("site", "=anonymous", false, kNow);
    EXPECT_EQ(jar.headerFor("SITE", false, kNow), "a=3; b=two words");
    EXPECT_EQ(jar.headerFor("www.site", false, kNow), "");
}

TEST(HttpCookieJar, ExpiryRemovesCookies)
{
    HttpCookieJar jar;
    jar.storeSetCookie("h", "keep=1; Expires=Wed, 01 Jan 2031 00:00:00 GMT", false, kNow);
    jar.storeSetCookie("h", "short=1; Max-Age=60; Expires=Wed, 01 Jan 2031 00:00:00 GMT", false,
                       kNow);
    jar.storeSetCookie("h", "gone=1", false, kNow);
    jar.storeSetCookie("h", "gone=; Expires=Thu, 01 Jan 1970 00:00:00 GMT", false, kNow);
    jar.storeSetCookie("h", "old=1; expires=Sat, 01 Jan 2000 00:00:00 GMT", false, kNow);
    jar.storeSetCookie("h", "zero=1; max-age=0", false, kNow);
    jar.storeSetCookie("h", "far=1; Max-Age=9223372036854775807", false, kNow);
    EXPECT_EQ(jar.headerFor("h", false, kNow), "keep=1; short=1; far=1");
    EXPECT_EQ(jar.headerFor("h", false, kNow + 61), "keep=1; far=1");
}

TEST(HttpCookieJar, ControlBytesThatCouldSplitTheRequestAreRefused)
{
    HttpCookieJar jar;
    for (const char* text : {"a=x\ry", "b=x\nHost: evil", "c\rx=1", "d=x\x7fy"})
        jar.storeSetCookie("h", text, false, kNow);
    jar.storeSetCookie2("h", "e=\"x\ry\", f=ok", false, kNow);
    jar.storeSetCookie("h", std::string("g=x\0y", 5), false, kNow);
    EXPECT_EQ(jar.headerFor("h", false, kNow), "f=ok");
}

TEST(HttpCookieJar, SecureCookiesOnlyTravelOverHttps)
{
    HttpCookieJar jar;
    jar.storeSetCookie("h", "planted=1; Secure", false, kNow);
    jar.storeSetCookie("h", "s=1; secure", true, kNow);
    jar.storeSetCookie("h", "p=2", true, kNow);
    EXPECT_EQ(jar.headerFor("h", true, kNow), "s=1; p=2");
    EXPECT_EQ(jar.headerFor("h", false, kNow), "p=2");
}

TEST(HttpCookieJar, SetCookie2CarriesAList)
{
    HttpCookieJar jar;
    jar.storeSetCookie2("h", "a=\"x,y\"; Version=\"1\", b=2; Version=\"1\"; Max-Age=\"10\"", false,
                        kNow);
    EXPECT_EQ(jar.headerFor("h", false, kNow), "a=\"x,y\"; b=2");
    EXPECT_EQ(jar.headerFor("h", false, kNow + 11), "a=\"x,y\"");
}

TEST(HttpCookieJar, AFloodKeepsTheNewestFiftySmallCookiesOfAHost)
{
    HttpCookieJar jar;
    jar.storeSetCookie("other", "mine=1", false, kNow);
    jar.storeSetCookie("h", "old=1; Max-Age=10", false, kNow);
    for (int i = 0; i < 4000; ++i)
        jar.storeSetCookie("h", "c" + std::to_string(i) + "=v", false, kNow + 20);
    // 4 096 bytes of name and value at most.
    jar.storeSetCookie("h", "big=" + std::string(4096 - 2, 'x'), false, kNow + 20);
    jar.storeSetCookie("h", "fits=" + std::string(4096 - 4, 'y'), false, kNow + 20);
    // A new value keeps its cookie's place.
    jar.storeSetCookie("h", "c3960=changed", false, kNow + 20);

    std::string want;
    for (int i = 3951; i < 4000; ++i)
        want += "c" + std::to_string(i) + (i == 3960 ? "=changed; " : "=v; ");
    want += "fits=" + std::string(4096 - 4, 'y');
    EXPECT_TRUE(jar.headerFor("h", false, kNow + 20) == want);
    EXPECT_EQ(jar.headerFor("other", false, kNow + 20), "mine=1");
}
