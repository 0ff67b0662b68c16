// The browser document loading pages from a small HTTP server on 127.0.0.1 and local files.

#include "support/HttpRawServer.h"
#include "support/TestFiles.h"
#include "web/BrowserDocument.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <functional>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace larkspur;

namespace {

// Answers one request per connection on a thread of its own. Routes:
//   /page              a small page
//   /redirect, /chain  302 to /page; 301 to /redirect
//   /latin1            Latin-1 bytes, charset in the header, a wrong one in the page
//   /headers           the request's header lines in a <pre>
//   /set-cookie        sets a cookie; /cookie shows the Cookie header
//   /slow              a first part at once, the rest only after 8 s
//   /stall             reads the request and never answers
//   /missing           404 with an error page
class LoopbackServer
{
  public:
    LoopbackServer()
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        const int one = 1;
        ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(m_listen, 16) != 0)
            throw std::runtime_error("cannot listen on 127.0.0.1");
        socklen_t len = sizeof addr;
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len);
        m_port = ntohs(addr.sin_port);
        m_acceptor = std::thread([this] { acceptLoop(); });
    }

    ~LoopbackServer()
    {
        m_stop = true;
        m_acceptor.join();
        for (std::thread& t : m_workers)
            t.join();
        ::close(m_listen);
    }

    std::string url(const std::string& path) const
    {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }

    int requests() const { return m_requests; }

  private:
    void acceptLoop()
    {
        while (!m_stop) {
            pollfd p{m_listen, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            const int fd = ::accept(m_listen, nullptr, nullptr);
            if (fd < 0) continue;
            m_workers.emplace_back([this, fd] {
                serve(fd);
                ::close(fd);
            });
        }
    }

    // Waits up to ms, giving up early when the server shuts down.
    void pause(int ms) const
    {
        for (int waited = 0; waited < ms && !m_stop; waited += 20)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }

    static void sendAll(int fd, const std::string& data)
    {
        size_t done = 0;
        while (done < data.size()) {
            const ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
            if (n <= 0) return;
            done += static_cast<size_t>(n);
        }
    }

    static std::string response(const std::string& status, const std::string& headers,
                                const std::string& body)
    {
        return "HTTP/1.1 " + status + "\r\n" + headers +
               "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
               body;
    }

    void serve(int fd)
    {
        std::string request;
        char buffer[4096];
        for (int rounds = 0; rounds < 200 && request.find("\r\n\r\n") == std::string::npos;
             ++rounds) {
            pollfd p{fd, POLLIN, 0};
            if (m_stop || ::poll(&p, 1, 50) < 0) return;
            if (!(p.revents & POLLIN)) continue;
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) return;
            request.append(buffer, static_cast<size_t>(n));
        }
        ++m_requests;
        const size_t space = request.find(' ');
        const std::string path =
            request.substr(space + 1, request.find(' ', space + 1) - space - 1);
        const std::string html = "Content-Type: text/html\r\n";
        if (path == "/page") {
            sendAll(fd,
                    response("200 OK", html,
                             "<html><body><P CLASS=g>Reached &amp; rendered</P></body></html>"));
        } else if (path == "/redirect") {
            sendAll(fd, response("302 Found", "Location: /page\r\n", "moved"));
        } else if (path == "/chain") {
            sendAll(fd, response("301 Moved Permanently", "Location: " + url("/redirect") + "\r\n",
                                 ""));
        } else if (path == "/latin1") {
            sendAll(fd, response("200 OK", "Content-Type: text/html; charset=ISO-8859-1\r\n",
                                 "<meta charset=utf-8><body>Gr\xF6\xDF"
                                 "e \x80</body>"));
        } else if (path == "/headers") {
            const std::string head = request.substr(0, request.find("\r\n\r\n"));
            sendAll(fd, response("200 OK", html, "<body><pre>" + head + "</pre></body>"));
        } else if (path == "/set-cookie") {
            sendAll(fd, response("200 OK", html + "Set-Cookie: visitor=abc123; Path=/\r\n",
                                 "<body>set</body>"));
        } else if (path == "/cookie") {
            const size_t at = request.find("Cookie: ");
            const std::string cookie =
                at == std::string::npos ? "none"
                                        : request.substr(at + 8, request.find("\r\n", at) - at - 8);
            sendAll(fd, response("200 OK", html, "<body>" + cookie + "</body>"));
        } else if (path == "/slow") {
            sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n\r\n"
                        "<body><p>early part</p>");
            pause(8000);
            sendAll(fd, "<p>late part</p></body>");
        } else if (path == "/stall") {
            pause(8000);
        } else {
            sendAll(fd, response("404 Not Found", html, "<body><h1>Not here</h1></body>"));
        }
    }

    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_requests{0};
    std::thread m_acceptor;
    std::vector<std::thread> m_workers;
};

// Runs the event loop until done() or the time is up; false on time-out.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 10000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) return false;
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// Navigates and waits for the document to complete.
bool load(BrowserDocument& browser, const std::string& url)
{
    QSignalSpy complete(&browser, &BrowserDocument::DocumentComplete);
    browser.Navigate(url);
    return waitUntil([&] { return complete.count() > 0; });
}

std::string crlfToLf(std::string s)
{
    std::string out;
    for (char c : s)
        if (c != '\r') out += c;
    return out;
}

} // namespace

TEST(BrowserNavigate, PageLoadsWithBothEventsInOrderAndNeverInsideNavigate)
{
    LoopbackServer server;
    BrowserDocument browser;
    std::vector<std::string> events;
    QObject::connect(&browser, &BrowserDocument::NavigateComplete2, [&](const QString& url) {
        events.push_back("navigate " + url.toStdString());
        EXPECT_TRUE(browser.navtout().isActive()); // on while the document loads
    });
    QObject::connect(&browser, &BrowserDocument::DocumentComplete, [&](const QString& url) {
        events.push_back("complete " + url.toStdString());
    });
    EXPECT_EQ(browser.LocationURL(), "");
    EXPECT_THROW(browser.innerText(), std::runtime_error);

    browser.Navigate(server.url("/page"));
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(browser.isLoading());
    ASSERT_TRUE(waitUntil([&] { return events.size() == 2; }));

    EXPECT_EQ(events[0], "navigate " + server.url("/page"));
    EXPECT_EQ(events[1], "complete " + server.url("/page"));
    EXPECT_EQ(browser.LocationURL(), server.url("/page"));
    EXPECT_EQ(browser.innerHTML(), "<P CLASS=g>Reached &amp; rendered</P>");
    EXPECT_EQ(browser.innerText(), "Reached & rendered");
    EXPECT_FALSE(browser.isLoading());
    EXPECT_FALSE(browser.navtout().isActive());
}

TEST(BrowserNavigate, BlanksAndControlsAtTheEndsOfAnAddressAreDropped)
{
    LoopbackServer server;
    BrowserDocument browser;
    const std::string page = server.url("/page");
    for (const std::string& address : {page + " ", " \t" + page + "\r\n", "\x01" + page + "\x1f"}) {
        ASSERT_TRUE(load(browser, address)) << '"' << address << '"';
        EXPECT_EQ(browser.LocationURL(), page);
        EXPECT_EQ(browser.innerText(), "Reached & rendered");
    }
    // A blank inside is still encoded.
    ASSERT_TRUE(load(browser, server.url("/pa ge ")));
    EXPECT_EQ(browser.LocationURL(), server.url("/pa%20ge"));

    test::TempDir dir;
    const std::string path = dir.file("page.htm");
    test::writeFile(path, "<body>Local page</body>");
    ASSERT_TRUE(load(browser, " " + path + "\n"));
    EXPECT_EQ(browser.innerText(), "Local page");
}

TEST(BrowserNavigate, RedirectsAreFollowedToTheFinalAddress)
{
    LoopbackServer server;
    BrowserDocument browser;
    QSignalSpy navigated(&browser, &BrowserDocument::NavigateComplete2);
    ASSERT_TRUE(load(browser, server.url("/chain")));
    // One navigation event for the final page, none for the hops.
    ASSERT_EQ(navigated.count(), 1);
    EXPECT_EQ(navigated.at(0).at(0).toString().toStdString(), server.url("/page"));
    EXPECT_EQ(browser.LocationURL(), server.url("/page"));
    EXPECT_EQ(browser.innerText(), "Reached & rendered");
    EXPECT_EQ(server.requests(), 3);
}

TEST(BrowserNavigate, SendsBrowserHeadersAndKeepsCookies)
{
    LoopbackServer server;
    BrowserDocument browser;
    ASSERT_TRUE(load(browser, server.url("/headers")));
    const std::string request = crlfToLf(browser.innerText());
    EXPECT_NE(request.find("User-Agent: Mozilla/5.0 ("), std::string::npos) << request;
    EXPECT_EQ(request.find("Indy Library"), std::string::npos);
    EXPECT_NE(request.find("Accept: text/html,"), std::string::npos) << request;
    EXPECT_NE(request.find("Accept-Language: "), std::string::npos) << request;

    ASSERT_TRUE(load(browser, server.url("/cookie")));
    EXPECT_EQ(browser.innerText(), "none");
    ASSERT_TRUE(load(browser, server.url("/set-cookie")));
    ASSERT_TRUE(load(browser, server.url("/cookie")));
    EXPECT_EQ(browser.innerText(), "visitor=abc123");
}

TEST(BrowserNavigate, HeaderCharsetWinsOverTheMetaTag)
{
    LoopbackServer server;
    BrowserDocument browser;
    ASSERT_TRUE(load(browser, server.url("/latin1")));
    EXPECT_EQ(browser.innerText(), "Gr\xC3\xB6\xC3\x9F"
                                   "e \xE2\x82\xAC");
    EXPECT_EQ(browser.innerHTML(), "Gr\xC3\xB6\xC3\x9F"
                                   "e \xE2\x82\xAC");
}

TEST(BrowserNavigate, ErrorPagesShowAndUnreachableHostsGiveAnEmptyDocument)
{
    LoopbackServer server;
    BrowserDocument browser;
    ASSERT_TRUE(load(browser, server.url("/missing")));
    EXPECT_EQ(browser.innerText(), "Not here");

    const std::string refused =
        "http://127.0.0.1:" + std::to_string(test::unusedLoopbackPort()) + "/";

    QSignalSpy errors(&browser, &BrowserDocument::NavigateError);
    ASSERT_TRUE(load(browser, refused));
    EXPECT_EQ(errors.count(), 1);
    EXPECT_EQ(browser.LocationURL(), refused);
    EXPECT_EQ(browser.innerHTML(), "");
    EXPECT_EQ(browser.innerText(), "");
}

TEST(BrowserNavigate, NavigationTimeoutStopsASlowPageAndKeepsWhatArrived)
{
    LoopbackServer server;
    BrowserDocument browser;
    QSignalSpy navigated(&browser, &BrowserDocument::NavigateComplete2);
    QSignalSpy timedOut(&browser, &BrowserDocument::navtoutTimer);
    QSignalSpy complete(&browser, &BrowserDocument::DocumentComplete);
    browser.Navigate(server.url("/slow"));
    ASSERT_TRUE(waitUntil([&] { return navigated.count() == 1; }));
    EXPECT_TRUE(browser.navtout().isActive());
    EXPECT_EQ(browser.navtout().interval(), 5000);
    // The first part arrives while the page is still loading and is readable at once.
    ASSERT_TRUE(waitUntil([&] { return browser.innerText() == "early part"; }));
    EXPECT_TRUE(browser.isLoading());
    ASSERT_TRUE(waitUntil([&] { return timedOut.count() == 1; }, 7000));
    EXPECT_FALSE(browser.isLoading());
    EXPECT_FALSE(browser.navtout().isActive());
    EXPECT_EQ(complete.count(), 0);
    EXPECT_EQ(browser.innerText(), "early part");
    EXPECT_EQ(browser.innerHTML(), "<p>early part</p>");
}

TEST(BrowserNavigate, NewNavigationOrStopDropsTheRunningLoad)
{
    LoopbackServer server;
    BrowserDocument browser;
    ASSERT_TRUE(load(browser, server.url("/page")));
    QSignalSpy navigated(&browser, &BrowserDocument::NavigateComplete2);
    QSignalSpy complete(&browser, &BrowserDocument::DocumentComplete);

    browser.Navigate(server.url("/stall"));
    ASSERT_TRUE(waitUntil([&] { return server.requests() == 2; }));
    browser.Stop();
    EXPECT_FALSE(browser.isLoading());
    // Nothing of the stalled page ever arrived: the old document stays.
    EXPECT_EQ(browser.LocationURL(), server.url("/page"));
    EXPECT_EQ(browser.innerText(), "Reached & rendered");

    browser.Navigate(server.url("/stall"));
    browser.Navigate(server.url("/redirect"));
    ASSERT_TRUE(waitUntil([&] { return complete.count() == 1; }));
    EXPECT_EQ(navigated.count(), 1);
    EXPECT_EQ(complete.at(0).at(0).toString().toStdString(), server.url("/page"));

    // The time-out belongs to the page being loaded: a new navigation or Stop ends it, so a
    // slow page cannot cut the next one short.
    navigated.clear();
    browser.Navigate(server.url("/slow"));
    ASSERT_TRUE(waitUntil([&] { return navigated.count() == 1; }));
    EXPECT_TRUE(browser.navtout().isActive());
    browser.Navigate(server.url("/stall"));
    EXPECT_FALSE(browser.navtout().isActive());
    browser.Navigate(server.url("/slow"));
    ASSERT_TRUE(waitUntil([&] { return navigated.count() == 2; }));
    EXPECT_TRUE(browser.navtout().isActive());
    browser.Stop();
    EXPECT_FALSE(browser.navtout().isActive());
    EXPECT_EQ(browser.innerText(), "early part");

    // A handler that navigates elsewhere from inside the event gets only the new page.
    QObject::connect(&browser, &BrowserDocument::NavigateComplete2, &browser,
                     [&](const QString& url) {
                         if (url.endsWith(QStringLiteral("/missing")))
                             browser.Navigate(server.url("/page"));
                     });
    complete.clear();
    browser.Navigate(server.url("/missing"));
    ASSERT_TRUE(waitUntil([&] { return complete.count() == 1; }));
    EXPECT_EQ(complete.at(0).at(0).toString().toStdString(), server.url("/page"));
}

TEST(BrowserNavigate, LocalFilesAndRefusedNavigations)
{
    test::TempDir dir;
    const std::string path = dir.file("page.htm");
    test::writeFile(path, "<body>Local \xE4 page<script>no()</script></body>");
    BrowserDocument browser;
    QSignalSpy navigated(&browser, &BrowserDocument::NavigateComplete2);
    ASSERT_TRUE(load(browser, path));
    EXPECT_EQ(navigated.count(), 1);
    EXPECT_EQ(browser.LocationURL().rfind("file:///", 0), 0u);
    EXPECT_TRUE(
        QString::fromStdString(browser.LocationURL()).endsWith(QStringLiteral("/page.htm")));
    // Not valid UTF-8 and no charset named: read as windows-1252.
    EXPECT_EQ(browser.innerText(), "Local \xC3\xA4 page");

    ASSERT_TRUE(load(browser, browser.LocationURL()));
    EXPECT_EQ(browser.innerText(), "Local \xC3\xA4 page");

    EXPECT_THROW(browser.Navigate(dir.file("absent.htm")), std::runtime_error);
    EXPECT_THROW(browser.Navigate("c:\\f.htm"), std::runtime_error);
    EXPECT_THROW(browser.Navigate("ftp://127.0.0.1/x"), std::runtime_error);
    EXPECT_THROW(browser.Navigate("http://"), std::runtime_error);
    // A refused navigation leaves the document as it was.
    EXPECT_EQ(browser.innerText(), "Local \xC3\xA4 page");

    bool handlerSawCancel = false;
    QObject::connect(&browser, &BrowserDocument::NewWindow2, [&](const QString&, bool* cancel) {
        handlerSawCancel = *cancel;
        *cancel = false; // even a handler that would allow it opens nothing
    });
    EXPECT_FALSE(browser.requestNewWindow(QStringLiteral("http://127.0.0.1/popup")));
    EXPECT_TRUE(handlerSawCancel);
}
