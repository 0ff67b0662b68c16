// HttpClient against Python's standard-library HTTP server on 127.0.0.1.

#include "web/HttpClient.h"
#include "support/HttpPythonServer.h"

#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

using namespace larkspur;
using larkspur::test::HttpPythonServer;

namespace {

// The client port the server saw, from a "/page" or "/close" body ("conn=N;...").
std::string connectionOf(const std::string& body)
{
    return body.substr(0, body.find(';'));
}

HttpError failureOf(HttpClient& client, const std::string& url)
{
    try {
        client.Get(url);
    } catch (const HttpError& e) {
        return e;
    }
    ADD_FAILURE() << "fetch of " << url << " did not fail";
    return HttpError("");
}

class HttpClientTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        a = std::make_unique<HttpPythonServer>();
        b = std::make_unique<HttpPythonServer>();
    }
    static void TearDownTestSuite()
    {
        a.reset();
        b.reset();
    }
    static std::unique_ptr<HttpPythonServer> a;
    static std::unique_ptr<HttpPythonServer> b;
    HttpClient client;
};

std::unique_ptr<HttpPythonServer> HttpClientTest::a;
std::unique_ptr<HttpPythonServer> HttpClientTest::b;

} // namespace

TEST_F(HttpClientTest, KeepsOneConnectionPerHostAndPort)
{
    const std::string first = client.Get(a->url("/page?x=1"));
    EXPECT_EQ(first.substr(first.find(';')), ";path=/page?x=1");
    EXPECT_EQ(connectionOf(client.Get(a->url("/page?x=2"))), connectionOf(first));

    // Another port: the first connection is given up, so coming back needs a new one.
    const std::string other = client.Get(b->url("/page"));
    EXPECT_NE(connectionOf(other), connectionOf(first));
    const std::string again = client.Get(a->url("/page"));
    EXPECT_NE(connectionOf(again), connectionOf(first));

    // The server says close: the next fetch connects anew.
    const std::string closing = client.Get(a->url("/close"));
    EXPECT_EQ(connectionOf(closing), connectionOf(again));
    EXPECT_NE(connectionOf(client.Get(a->url("/page"))), connectionOf(again));
}

TEST_F(HttpClientTest, CookiesGoBackToTheHostThatSetThem)
{
    EXPECT_EQ(client.Get(a->url("/cookie")), "(none)");
    EXPECT_EQ(client.Get(a->url("/setcookie?sid=42&lang=de")), "cookies set");
    EXPECT_EQ(client.Get(a->url("/cookie")), "sid=42; lang=de");
    client.Get(a->url("/setcookie?sid=43"));
    EXPECT_EQ(client.Get(a->url("/cookie")), "sid=43; lang=de");
    // Same host name on another port: the same cookies.
    EXPECT_EQ(client.Get(b->url("/cookie")), "sid=43; lang=de");
    // Another host name for the same machine has none.
    EXPECT_EQ(client.Get(b->url("/cookie", "localhost")), "(none)");
    // A fresh client starts without cookies.
    HttpClient other;
    EXPECT_EQ(other.Get(a->url("/cookie")), "(none)");
}

TEST_F(HttpClientTest, RefusedAnswersFailWithTheirStatusAndPage)
{
    const HttpError redirect = failureOf(client, a->url("/redirect"));
    EXPECT_EQ(redirect.statusCode(), 302);
    EXPECT_STREQ(redirect.what(), "HTTP/1.1 302 Found");
    EXPECT_EQ(redirect.errorPage(), "moved");

    const HttpError located = failureOf(client, a->url("/located"));
    EXPECT_EQ(located.statusCode(), 200);
    EXPECT_EQ(located.errorPage(), "here");

    const HttpError missing = failureOf(client, a->url("/missing"));
    EXPECT_EQ(missing.statusCode(), 404);
    EXPECT_STREQ(missing.what(), "HTTP/1.1 404 Not Found");
    EXPECT_EQ(missing.errorPage(), "no such page");

    // The connection is still good for the next fetch.
    EXPECT_EQ(client.Get(a->url("/page")).find("conn="), 0u);
}

TEST_F(HttpClientTest, BodiesArriveUnchanged)
{
    EXPECT_EQ(client.Get(a->url("/chunked")), "alpha beta gamma");
    const std::string latin1 = client.Get(a->url("/latin1"));
    ASSERT_EQ(latin1.size(), 256u);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(static_cast<unsigned char>(latin1[i]), i);
}

TEST_F(HttpClientTest, EventLoopRunsWhileAFetchWaits)
{
    bool inGet = false;
    int ticksDuringGet = 0;
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] { ticksDuringGet += inGet ? 1 : 0; });
    timer.start();
    inGet = true;
    const std::string body = client.Get(a->url("/slow?ms=40"));
    inGet = false;
    EXPECT_EQ(body, "0123456789");
    EXPECT_GT(ticksDuringGet, 0);
}
