// A site that sets thousands of cookies must not make later requests to it fail: both
// cookie stores (the client's jar and the browser's) stay bounded.

#include "support/HttpRawServer.h"
#include "web/BrowserDocument.h"
#include "web/HttpClient.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace larkspur;
using larkspur::test::HttpRawConnection;
using larkspur::test::HttpRawServer;

namespace {

// "/flood/N" sets 4 000 new cookies; any other page shows the request's Cookie header.
HttpRawServer::Handler cookieFlood()
{
    return [](HttpRawConnection& c) {
        while (const auto request = c.readRequest()) {
            std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n";
            std::string body = "<p>none</p>";
            if (request->starts_with("GET /flood/")) {
                const std::string round = request->substr(11, request->find(' ', 11) - 11);
                for (int i = 0; i < 4000; ++i)
                    head +=
                        "Set-Cookie: r" + round + "n" + std::to_string(i) + "=value; Path=/\r\n";
                body = "<p>set</p>";
            } else if (const auto at = request->find("\r\nCookie: "); at != std::string::npos) {
                body = "<p>" + request->substr(at + 10, request->find("\r\n", at + 2) - at - 10) +
                       "</p>";
            }
            c.send(head + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
        }
    };
}

std::size_t cookiesIn(const std::string& header)
{
    return header.empty() || header == "<p>none</p>"
               ? 0
               : std::count(header.begin(), header.end(), '=');
}

} // namespace

TEST(CookieFlood, TheClientKeepsFetchingFromAFloodingSite)
{
    HttpRawServer server(cookieFlood());
    HttpClient client;
    for (int round = 0; round < 6; ++round)
        ASSERT_EQ(client.Get(server.url("/flood/" + std::to_string(round))), "<p>set</p>");
    const std::string echoed = client.Get(server.url("/echo"));
    EXPECT_EQ(cookiesIn(echoed), 50u);
    // The newest stay.
    EXPECT_NE(echoed.find("r5n3999=value"), std::string::npos);
    EXPECT_EQ(echoed.find("r5n3949=value"), std::string::npos);
}

TEST(CookieFlood, TheBrowserKeepsLoadingFromAFloodingSite)
{
    HttpRawServer server(cookieFlood());
    BrowserDocument browser;
    QSignalSpy errors(&browser, &BrowserDocument::NavigateError);
    const auto load = [&](const std::string& path) {
        QSignalSpy complete(&browser, &BrowserDocument::DocumentComplete);
        browser.Navigate(server.url(path));
        QElapsedTimer clock;
        clock.start();
        while (complete.isEmpty() && clock.elapsed() < 10000) {
            QEventLoop loop;
            QTimer::singleShot(10, &loop, &QEventLoop::quit);
            loop.exec();
        }
        return complete.isEmpty() ? std::string("(no answer)") : browser.innerText();
    };
    for (int round = 0; round < 6; ++round)
        ASSERT_EQ(load("/flood/" + std::to_string(round)), "set");
    const std::string echoed = load("/echo");
    EXPECT_EQ(errors.count(), 0);
    const std::size_t kept = cookiesIn(echoed);
    EXPECT_GT(kept, 0u);
    EXPECT_LE(kept, 50u);
    EXPECT_NE(echoed.find("r5n"), std::string::npos) << "the newest round is among them";
}
