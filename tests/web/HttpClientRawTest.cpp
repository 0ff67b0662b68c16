// HttpClient against hand-written loopback servers that misbehave on purpose.

#include "support/HttpRawServer.h"
#include "web/BrowserDocument.h"
#include "web/HttpClient.h"

#include <QSignalSpy>

#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

using namespace larkspur;
using larkspur::test::HttpRawConnection;
using larkspur::test::HttpRawServer;

namespace {

std::string failureText(HttpClient& client, const std::string& url,
                        FetchGroup group = FetchGroup::Default)
{
    try {
        const std::string body = client.Get(url, group);
        ADD_FAILURE() << "fetch of " << url << " gave " << body.size() << " bytes";
    } catch (const HttpError& e) {
        return e.what();
    }
    return {};
}

// Answers every request on the connection with `answer`.
HttpRawServer::Handler answering(std::string answer)
{
    return [answer](HttpRawConnection& c) {
        while (c.readRequest())
            c.send(answer);
    };
}

// Answers the first request with `answer`, then closes.
HttpRawServer::Handler answeringOnce(std::string answer)
{
    return [answer](HttpRawConnection& c) {
        if (c.readRequest()) c.send(answer);
    };
}

const char* const kClosed = "Connection Closed Gracefully.";

} // namespace

TEST(HttpClientRaw, SendsExactlyTheExpectedRequest)
{
    HttpRawServer server(answering("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n"
                                   "Set-Cookie: sid=7; Path=/\r\nSet-Cookie: u=x\r\n\r\nok"));
    HttpClient client;
    const std::string host = "Host: 127.0.0.1:" + std::to_string(server.port()) + "\r\n";
    const std::string fixed = "Accept: text/html, */*\r\n"
                              "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n";

    EXPECT_EQ(client.Get(server.url("/dir/doc.php?q=a%20b&x=%E4&y=\xE4#part")), "ok");
    // Backslashes count as slashes; a blank cannot be sent as it stands.
    EXPECT_EQ(client.Get(server.url("\\dir\\sub\\p.htm?n=1 2")), "ok");

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0],
              "GET /dir/doc.php?q=a%20b&x=%E4&y=\xE4 HTTP/1.1\r\n" + host + fixed + "\r\n");
    EXPECT_EQ(requests[1], "GET /dir/sub/p.htm?n=1%202 HTTP/1.1\r\n" + host + fixed +
                               "Cookie: sid=7; u=x\r\n\r\n");
    EXPECT_EQ(server.connections(), 1);
}

TEST(HttpClientRaw, AUserAgentChosenForOneRequestReplacesTheUsualOne)
{
    HttpRawServer server(answering("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"));
    HttpClient client;
    const auto request = [&](const std::string& target, const std::string& agent) {
        HttpRequest r;
        r.url = server.url(target);
        r.userAgent = agent;
        return r;
    };
    EXPECT_EQ(client.Fetch(request("/a", "Tool/2 (x)")).body, "ok");
    EXPECT_EQ(client.Fetch(request("/b", "")).body, "ok");
    for (const std::string agent : {"Tool/2\r\nX-Evil: 1", "Tool/2\nX: 1"}) {
        EXPECT_THROW(client.Fetch(request("/c", agent)), HttpError);
    }
    HttpRequest header = request("/d", "");
    header.headers = {"X-Token: a\r\nX-Evil: 1"};
    EXPECT_THROW(client.Fetch(header), HttpError);

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u); // a line break sends nothing
    const std::string host = "Host: 127.0.0.1:" + std::to_string(server.port()) + "\r\n";
    EXPECT_EQ(requests[0], "GET /a HTTP/1.1\r\n" + host +
                               "Accept: text/html, */*\r\nUser-Agent: Tool/2 (x)\r\n\r\n");
    EXPECT_NE(requests[1].find("\r\nUser-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"),
              std::string::npos);
}

// Answers "found" for /lyrics/page.html only; anything else is a 404.
HttpRawServer::Handler onePage()
{
    return [](HttpRawConnection& c) {
        while (const auto request = c.readRequest()) {
            if (request->starts_with("GET /lyrics/page.html HTTP/1.1\r\n"))
                c.send("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nfound");
            else
                c.send("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
        }
    };
}

TEST(HttpClientRaw, LinksAreTrimmedAtBothEnds)
{
    HttpRawServer server(onePage());
    const std::string page = server.url("/lyrics/page.html");
    HttpClient client;
    // Blanks and control characters at the ends go, as a browser drops them.
    for (const std::string& link : {page + " ", " \t" + page + "\r\n", "\x01" + page + "\x1f "})
        EXPECT_EQ(client.Get(link), "found") << '"' << link << '"';
    // A blank inside is still sent encoded.
    EXPECT_EQ(failureText(client, server.url("/lyrics/page .html ")), "HTTP/1.1 404 Not Found");
    ASSERT_EQ(server.requests().size(), 4u);
    EXPECT_TRUE(server.requests().back().starts_with("GET /lyrics/page%20.html HTTP/1.1\r\n"));
}

TEST(HttpClientRaw, OnlyAbsoluteHttpLinksAreFetched)
{
    HttpRawServer server(onePage());
    HttpClient client;
    ASSERT_EQ(client.Get(server.url("/lyrics/page.html")), "found");

    // What is not an absolute http or https URL fails without a request, although the
    // previous fetch went to this very server.
    const std::string port = std::to_string(server.port());
    const std::vector<std::string> links = {"/lyrics/page.html",
                                            "page.html",
                                            "?id=1",
                                            "//127.0.0.1:" + port + "/lyrics/page.html",
                                            "javascript:void(0)",
                                            "JavaScript:location='/lyrics/page.html'",
                                            "mailto:lyrics@example.com",
                                            "",
                                            " \t ",
                                            "c:\\f.htm",
                                            "http:/lyrics/page.html",
                                            "ftp://127.0.0.1:" + port + "/lyrics/page.html"};
    for (const std::string& link : links)
        EXPECT_NE(failureText(client, link), "") << '"' << link << '"';
    EXPECT_EQ(server.requests().size(), 1u);

    // A fresh client, without any earlier fetch, fails just the same.
    HttpClient fresh;
    EXPECT_NE(failureText(fresh, "/lyrics/page.html"), "");
}

TEST(HttpClientRaw, ReadsBodiesOfEveryKind)
{
    // No length and no chunking: everything up to the server's close.
    HttpRawServer untilClose([](HttpRawConnection& c) {
        if (!c.readRequest()) return;
        c.send("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\nfirst ");
        c.pause(50);
        c.send("second");
    });
    // Fewer bytes than announced, then a close: what arrived is kept.
    HttpRawServer shortLength(
        answeringOnce("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly this"));
    // A chunked body cut short is a failure.
    HttpRawServer shortChunked(answeringOnce(
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nabcde\r\n9\r\nabc"));
    // An interim answer before the real one, and an empty body.
    HttpRawServer interim(answering("HTTP/1.1 100 Continue\r\nContent-Type: text/plain\r\n\r\n"
                                    "HTTP/1.1 204 No Content\r\n\r\n"));

    HttpClient client;
    const HttpPage page = client.GetPage(untilClose.url("/"));
    EXPECT_EQ(page.body, "first second");
    EXPECT_EQ(page.contentType, "text/html");
    // The content type is the real answer's.
    EXPECT_EQ(client.GetPage(interim.url("/")).contentType, "");
    EXPECT_EQ(client.Get(shortLength.url("/")), "only this");
    EXPECT_EQ(failureText(client, shortChunked.url("/")), kClosed);
    EXPECT_EQ(client.Get(interim.url("/")), "");
}

TEST(HttpClientRaw, ConnectionFailuresCarryTheirTexts)
{
    HttpClient client;
    EXPECT_EQ(
        failureText(client, "http://127.0.0.1:" + std::to_string(test::unusedLoopbackPort()) + "/"),
        "Socket Error # 111\r\nConnection refused");

    HttpRawServer silentClose([](HttpRawConnection& c) { c.readRequest(); });
    EXPECT_EQ(failureText(client, silentClose.url("/")), kClosed);

    HttpRawServer halfHead(answeringOnce("HTTP/1.1 200 OK\r\nContent-Le"));
    EXPECT_EQ(failureText(client, halfHead.url("/")), kClosed);

    HttpRawServer resetting([](HttpRawConnection& c) {
        if (c.readRequest()) c.reset();
    });
    EXPECT_EQ(failureText(client, resetting.url("/")),
              "Socket Error # 104\r\nConnection reset by peer");

    EXPECT_EQ(failureText(client, "ftp://127.0.0.1/"), "Unknown Protocol");
}

TEST(HttpClientRaw, HttpsSpeaksTls)
{
    // A TLS handshake record starts with 0x16; this server cannot answer one.
    std::string greeting;
    HttpRawServer plain([&](HttpRawConnection& c) { greeting = c.readSome(); });
    HttpClient client;
    const std::string text =
        failureText(client, "https://127.0.0.1:" + std::to_string(plain.port()) + "/");
    EXPECT_FALSE(text.empty());
    ASSERT_FALSE(greeting.empty());
    EXPECT_EQ(greeting[0], '\x16');
}

TEST(HttpClientRaw, RefusedAnswerFailsEvenWhenItsPageNeverEnds)
{
    // The error page is read for 2 s at most.
    HttpRawServer stalling([](HttpRawConnection& c) {
        if (c.readRequest()) c.send("HTTP/1.1 503 Busy\r\nContent-Length: 100\r\n\r\ntry later");
        c.waitPeerClose();
    });
    HttpClient client;
    try {
        client.Get(stalling.url("/"));
        ADD_FAILURE() << "a 503 answer was accepted";
    } catch (const HttpError& e) {
        EXPECT_STREQ(e.what(), "HTTP/1.1 503 Busy");
        EXPECT_EQ(e.statusCode(), 503);
        EXPECT_EQ(e.errorPage(), "try later");
    }
}

TEST(HttpClientRaw, HeaderLinesAreLimitedTo16384Bytes)
{
    const std::string longest = "X-Long: " + std::string(16384 - 8, 'a');
    HttpRawServer fits(
        answering("HTTP/1.1 200 OK\r\n" + longest + "\r\nContent-Length: 2\r\n\r\nok"));
    HttpRawServer tooLong(
        answering("HTTP/1.1 200 OK\r\n" + longest + "a\r\nContent-Length: 2\r\n\r\nok"));
    HttpRawServer huge(answering("HTTP/1.1 200 OK\r\nX-Huge: " + std::string(300000, 'b') +
                                 "\r\nContent-Length: 2\r\n\r\nok"));
    HttpRawServer longStatus(answering("HTTP/1.1 200 " + std::string(20000, 'c') + "\r\n\r\n"));

    HttpClient client;
    EXPECT_EQ(client.Get(fits.url("/")), "ok");
    EXPECT_EQ(failureText(client, tooLong.url("/")), "Max line length exceeded.");
    EXPECT_EQ(failureText(client, huge.url("/")), "Max line length exceeded.");
    EXPECT_EQ(failureText(client, longStatus.url("/")), "Max line length exceeded.");
}

TEST(HttpClientRaw, ClosesOnProxyConnectionCloseAndOnAnotherPort)
{
    std::atomic<int> closedByClient{0};
    const auto keepAlive = [&](std::string extra) {
        return [&closedByClient, extra](HttpRawConnection& c) {
            while (c.readRequest())
                c.send("HTTP/1.1 200 OK\r\n" + extra + "Content-Length: 2\r\n\r\nok");
            ++closedByClient;
        };
    };
    HttpRawServer a(keepAlive(""));
    HttpRawServer b(keepAlive("Proxy-Connection:  CLOSE \r\n"));
    HttpClient client;

    client.Get(a.url("/1"));
    client.Get(a.url("/2"));
    EXPECT_EQ(a.connections(), 1);
    client.Get(b.url("/1"));
    client.Get(b.url("/2"));
    EXPECT_EQ(b.connections(), 2);
    // The client gave up the connection to `a`, and each one to `b` after its answer.
    for (int i = 0; i < 200 && closedByClient < 3; ++i)
        QThread::msleep(10);
    EXPECT_EQ(closedByClient, 3);

    // Disconnect with no fetch waiting closes the kept connection.
    client.Get(a.url("/3"));
    EXPECT_EQ(a.connections(), 2);
    client.Disconnect();
    for (int i = 0; i < 200 && closedByClient < 4; ++i)
        QThread::msleep(10);
    EXPECT_EQ(closedByClient, 4);
}

TEST(HttpClientRaw, AConnectionIdleForSecondsIsNotUsedAgain)
{
    HttpClient client;
    BrowserDocument browser;
    const struct
    {
        const char* who;
        std::function<void(const std::string&)> fetch;
    } cases[] = {
        {"client", [&](const std::string& url) { client.Get(url); }},
        {"browser",
         [&](const std::string& url) {
             QSignalSpy complete(&browser, &BrowserDocument::DocumentComplete);
             browser.Navigate(url);
             ASSERT_TRUE(complete.wait(10000));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.who);
        HttpRawServer server(answering("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"));
        c.fetch(server.url("/1"));
        c.fetch(server.url("/2"));
        EXPECT_EQ(server.connections(), 1);
        QThread::msleep((kConnectionReuseSeconds + 1) * 1000);
        c.fetch(server.url("/3"));
        EXPECT_EQ(server.connections(), 2);
    }
}

TEST(HttpClientRaw, DisconnectCancelsAWaitingFetch)
{
    std::atomic<bool> peerClosed{false};
    HttpRawServer silent([&](HttpRawConnection& c) {
        if (c.readRequest()) peerClosed = c.waitPeerClose();
    });
    HttpRawServer partial([](HttpRawConnection& c) {
        if (c.readRequest()) c.send("HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\nhalf");
        c.waitPeerClose();
    });
    HttpRawServer partialChunked([](HttpRawConnection& c) {
        if (c.readRequest())
            c.send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nhalf\r\n");
        c.waitPeerClose();
    });

    HttpClient client;
    QTimer::singleShot(100, [&] { client.Disconnect(); });
    EXPECT_EQ(failureText(client, silent.url("/")), kClosed);
    // Known length: the part that came is the answer.
    QTimer::singleShot(100, [&] { client.Disconnect(); });
    EXPECT_EQ(client.Get(partial.url("/")), "half");
    QTimer::singleShot(100, [&] { client.Disconnect(); });
    EXPECT_EQ(failureText(client, partialChunked.url("/")), kClosed);

    for (int i = 0; i < 200 && !peerClosed; ++i)
        QThread::msleep(10);
    EXPECT_TRUE(peerClosed);
}

TEST(HttpClientRaw, DisconnectOfOneGroupLeavesTheOthersFetchesAlone)
{
    // Ten body bytes, one every 40 ms; then the next request on the same connection.
    HttpRawServer slow([](HttpRawConnection& c) {
        while (c.readRequest()) {
            c.send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n");
            for (char digit = '0'; digit <= '9'; ++digit) {
                c.pause(40);
                c.send(std::string(1, digit));
            }
        }
    });
    HttpRawServer silent([](HttpRawConnection& c) {
        if (c.readRequest()) c.waitPeerClose();
    });
    HttpClient client;

    // The harvest's fetch waits inside the catalogue's; its busy label is clicked.
    std::string nested;
    QTimer::singleShot(50, [&] {
        nested =
            failureText(client, silent.url("/harvest"), FetchGroup::LyricsHarvest) + " (failed)";
    });
    QTimer::singleShot(150, [&] { client.Disconnect(FetchGroup::LyricsHarvest); });
    EXPECT_EQ(client.Get(slow.url("/catalogue"), FetchGroup::Catalogue), "0123456789");
    EXPECT_EQ(nested, std::string(kClosed) + " (failed)");

    // The other way round: the outer fetch is cancelled while the nested one goes on. The
    // outer call returns once the nested one has ended, with its failure.
    nested.clear();
    QTimer::singleShot(50,
                       [&] { nested = client.Get(slow.url("/catalogue"), FetchGroup::Catalogue); });
    QTimer::singleShot(150, [&] { client.Disconnect(FetchGroup::LyricsHarvest); });
    EXPECT_EQ(failureText(client, silent.url("/harvest"), FetchGroup::LyricsHarvest), kClosed);
    EXPECT_EQ(nested, "0123456789");

    // A group with nothing waiting: nothing happens to the others.
    QTimer::singleShot(100, [&] { client.Disconnect(FetchGroup::LyricsDatabase); });
    EXPECT_EQ(client.Get(slow.url("/default")), "0123456789");

    // Disconnect without a group still ends them all.
    std::string inner;
    QTimer::singleShot(50, [&] {
        inner = failureText(client, silent.url("/harvest"), FetchGroup::LyricsHarvest);
    });
    QTimer::singleShot(150, [&] { client.Disconnect(); });
    const std::string outer = client.Get(slow.url("/catalogue"), FetchGroup::Catalogue);
    EXPECT_EQ(inner, kClosed);
    EXPECT_LT(outer.size(), 10u); // the part that had arrived
}

TEST(HttpClientRaw, NestedFetchesKeepApart)
{
    // The outer fetch waits for the nested one before its body completes.
    std::atomic<bool> release{false};
    HttpRawServer slow([&](HttpRawConnection& c) {
        if (!c.readRequest()) return;
        c.send("HTTP/1.1 200 OK\r\nContent-Length: 11\r\n\r\nouter");
        for (int i = 0; i < 1000 && !release; ++i)
            c.pause(10);
        c.send(" body");
        c.send("!");
        while (c.readRequest())
            c.send("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nagain");
    });
    HttpRawServer quick(answering("HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nnested"));

    HttpClient client;
    std::string nested;
    QTimer::singleShot(50, [&] {
        try {
            nested = client.Get(quick.url("/"));
        } catch (const HttpError& e) {
            nested = e.what();
        }
        release = true;
    });
    EXPECT_EQ(client.Get(slow.url("/")), "outer body!");
    EXPECT_EQ(nested, "nested");
    EXPECT_EQ(client.Get(slow.url("/")), "again");

    // A handler that cancels everything and destroys the client while a fetch waits.
    auto doomed = std::make_unique<HttpClient>();
    HttpRawServer silent([](HttpRawConnection& c) {
        if (c.readRequest()) c.waitPeerClose();
    });
    std::string nestedFailure;
    QTimer::singleShot(50, [&] { nestedFailure = failureText(*doomed, silent.url("/second")); });
    QTimer::singleShot(150, [&] { doomed.reset(); });
    EXPECT_EQ(failureText(*doomed, silent.url("/first")), kClosed);
    EXPECT_EQ(nestedFailure, kClosed);
    EXPECT_EQ(doomed, nullptr);
}
