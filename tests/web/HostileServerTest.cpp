// Every fetch path against loopback servers that hold, drip, flood or break their answers:
// each fetch must end within its limit, say why, and leave the event loop running.

#include "support/HostileServers.h"
#include "support/TickGaps.h"
#include "web/BrowserDocument.h"
#include "web/HttpClient.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <map>

using namespace larkspur;
using namespace std::chrono_literals;
using larkspur::test::HostileCase;
using larkspur::test::HttpRawServer;

namespace {

// Short limits so each case ends in seconds; the defaults are checked on their own.
FetchLimits shortLimits()
{
    return {1s, 1s, 3s, 256 * 1024, 4 * 1024 * 1024};
}

const test::HostileSizes kSizes{200, 200u * 1024 * 1024, 32u * 1024 * 1024};

// Every case ends by a limit (3 s at most) or at once; this leaves room for a busy machine.
constexpr qint64 kEndMs = 8000;
// The event loop must never stall for long; the goal is 50 ms, this is the alarm.
constexpr qint64 kGapMs = 250;

const HostileCase& caseNamed(const std::vector<HostileCase>& cases, const std::string& name)
{
    for (const HostileCase& c : cases)
        if (c.name == name) return c;
    throw std::logic_error("no hostile case " + name);
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs) {
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return done();
}

} // namespace

TEST(HostileServers, DefaultLimitsAreTheDocumentedOnes)
{
    for (const FetchLimits& l : {HttpClient().limits(), BrowserDocument().limits()}) {
        EXPECT_EQ(l.idle, 60s);
        EXPECT_EQ(l.total, 300s);
        EXPECT_EQ(l.headerBytes, 256u * 1024);
        EXPECT_EQ(l.bodyBytes, 64u * 1024 * 1024);
    }
    EXPECT_EQ(HttpClient().limits().connect, 120s);
    EXPECT_EQ(BrowserDocument().limits().connect, 30s);
}

TEST(HostileServers, GetEndsEveryCaseWithItsReason)
{
    const auto cases = test::hostileCases(kSizes);
    // Get does not decode: the bomb arrives as the small compressed stream it is.
    const std::map<std::string, std::string> expected = {
        {"no answer", "Read timed out (no data for 1 s)."},
        {"drip", "The answer took longer than 3 s."},
        {"header line of 1 MB", "Max line length exceeded."},
        {"10000 headers", "The answer's header lines exceed 256 KB."},
        {"redirect loop", "HTTP/1.1 302 Found"},
        {"chunked garbage", "The server broke off the answer after 16 bytes (Illegal or missing "
                            "hexadecimal sequence in chunked-encoding)."},
        {"length beyond body", "Read timed out (no data for 1 s)."},
        {"reset midway", "Socket Error # 104\r\nConnection reset by peer"},
        {"huge body", "The answer is larger than 4 MB."},
        {"gzip bomb", "body of " + std::to_string(test::gzipBomb(kSizes.bombBytes).size())},
        {"stalled TLS", "Connect timed out."},
    };
    ASSERT_EQ(expected.size(), cases.size());
    for (const HostileCase& hostile : cases) {
        HttpRawServer server(hostile.handler);
        HttpClient client(shortLimits());
        test::TickGaps gaps;
        QElapsedTimer clock;
        clock.start();
        std::string outcome;
        try {
            outcome =
                "body of " + std::to_string(client.Get(test::hostileUrl(server, hostile)).size());
        } catch (const HttpError& e) {
            outcome = e.what();
        }
        EXPECT_EQ(outcome, expected.at(hostile.name)) << hostile.name;
        EXPECT_LT(clock.elapsed(), kEndMs) << hostile.name;
        EXPECT_LT(gaps.longestMs(), kGapMs) << hostile.name;
    }
}

TEST(HostileServers, BrowserEndsEveryCaseWithItsReasonAndKeepsWhatArrived)
{
    const auto cases = test::hostileCases(kSizes);
    struct Outcome
    {
        std::string error; // the start of NavigateError's text; empty: none
        std::string text;  // the start of the document's text
        std::size_t size;  // its length in bytes
    };
    const std::size_t cap = shortLimits().bodyBytes;
    const std::map<std::string, Outcome> expected = {
        {"no answer", {"No data from the server for 1 s.", "", 0}},
        {"drip", {"The page took longer than 3 s to load.", "xxx", 0}},
        {"header line of 1 MB", {"The server's header lines exceed 256 KB.", "", 0}},
        {"10000 headers", {"The server's header lines exceed 256 KB.", "", 0}},
        {"redirect loop", {"Maximum (20) redirects followed", "", 0}},
        {"chunked garbage", {"The server broke off the answer after 16 bytes (", "first part", 10}},
        {"length beyond body", {"No data from the server for 1 s.", "short", 5}},
        {"reset midway", {"The server broke off the answer after 5000 bytes (", "rrr", 4997}},
        {"huge body", {"", "aaa", cap}},
        {"gzip bomb", {"", "aaa", cap}},
        {"stalled TLS", {"SSL connection timeout", "", 0}},
    };
    ASSERT_EQ(expected.size(), cases.size());
    for (const HostileCase& hostile : cases) {
        const Outcome& want = expected.at(hostile.name);
        HttpRawServer server(hostile.handler);
        BrowserDocument browser;
        browser.setLimits(shortLimits());
        // Harvest code may switch the 5 s timer off; the limits must hold without it.
        QObject::connect(&browser, &BrowserDocument::NavigateComplete2, &browser,
                         [&] { browser.navtout().stop(); });
        QSignalSpy errors(&browser, &BrowserDocument::NavigateError);
        QSignalSpy complete(&browser, &BrowserDocument::DocumentComplete);
        test::TickGaps gaps;
        QElapsedTimer clock;
        clock.start();
        browser.Navigate(test::hostileUrl(server, hostile));
        ASSERT_TRUE(waitUntil([&] { return complete.count() > 0; }, kEndMs)) << hostile.name;
        EXPECT_LT(clock.elapsed(), kEndMs) << hostile.name;
        EXPECT_LT(gaps.longestMs(), kGapMs) << hostile.name;
        EXPECT_FALSE(browser.isLoading());

        ASSERT_EQ(errors.count(), want.error.empty() ? 0 : 1) << hostile.name;
        if (!want.error.empty()) {
            EXPECT_TRUE(
                errors.at(0).at(1).toString().startsWith(QString::fromStdString(want.error)))
                << hostile.name << ": " << errors.at(0).at(1).toString().toStdString();
        }
        const std::string text = browser.innerText();
        EXPECT_TRUE(text.starts_with(want.text)) << hostile.name << ": " << text.substr(0, 40);
        if (hostile.name != "drip") {
            EXPECT_EQ(text.size(), want.size) << hostile.name;
        }
    }
}

TEST(HostileServers, CancellingEndsAHeldFetchAtOnce)
{
    // The busy label's click: Disconnect for Get, Stop for the browser, with the defaults.
    const auto cases = test::hostileCases(kSizes);
    for (const std::string name : {"no answer", "drip", "length beyond body", "stalled TLS"}) {
        const HostileCase& hostile = caseNamed(cases, name);
        HttpRawServer server(hostile.handler);
        const std::string url = test::hostileUrl(server, hostile);
        HttpClient client;
        test::TickGaps gaps;
        QElapsedTimer clock;
        clock.start();
        QTimer::singleShot(300, [&] { client.Disconnect(FetchGroup::LyricsHarvest); });
        std::string outcome = "answered";
        try {
            client.Get(url, FetchGroup::LyricsHarvest);
        } catch (const HttpError& e) {
            outcome = e.what();
        }
        // A body of known length keeps what came; the others fail.
        EXPECT_EQ(outcome, name == "no answer" || name == "stalled TLS"
                               ? "Connection Closed Gracefully."
                               : "answered")
            << name;
        EXPECT_LT(clock.elapsed(), 2000) << name;

        BrowserDocument browser;
        QTimer::singleShot(300, &browser, [&] { browser.Stop(); });
        browser.Navigate(url);
        EXPECT_TRUE(waitUntil([&] { return !browser.isLoading(); }, 2000)) << name;
        EXPECT_LT(gaps.longestMs(), kGapMs) << name;
    }
}

TEST(HostileServers, AFetchCancelledWhileTakingALargeBodyLeavesNothingForTheNext)
{
    // A large body is taken a few megabytes per turn; what waits for the next turn must not
    // reach the next fetch.
    const auto cases = test::hostileCases(kSizes);
    HttpRawServer huge(caseNamed(cases, "huge body").handler);
    HttpRawServer page([](test::HttpRawConnection& c) {
        while (c.readRequest())
            c.send("HTTP/1.1 200 OK\r\nContent-Length: 17\r\n\r\n<p>next page</p>\n");
    });
    FetchLimits roomy = HttpClient::defaultLimits();
    roomy.bodyBytes = 1024u * 1024 * 1024; // the cancel must come first
    HttpClient client(roomy);
    bool cutMidBody = false; // on a busy machine the earliest cancel may come before any byte
    for (const int afterMs : {20, 60, 150}) {
        QTimer::singleShot(afterMs, [&] { client.Disconnect(); });
        try {
            cutMidBody = !client.Get(huge.url("/page")).empty() || cutMidBody;
        } catch (const HttpError& e) { // cut before the headers came
            EXPECT_STREQ(e.what(), "Connection Closed Gracefully.") << afterMs;
        }
        EXPECT_EQ(client.Get(page.url("/page")), "<p>next page</p>\n") << afterMs;

        BrowserDocument browser;
        QSignalSpy complete(&browser, &BrowserDocument::DocumentComplete);
        browser.Navigate(huge.url("/page"));
        QTimer::singleShot(afterMs, &browser, [&] { browser.Stop(); });
        ASSERT_TRUE(waitUntil([&] { return !browser.isLoading(); }, 5000));
        browser.Navigate(page.url("/page"));
        ASSERT_TRUE(waitUntil([&] { return complete.count() > 0; }, 5000)) << afterMs;
        EXPECT_EQ(browser.innerText(), "next page") << afterMs;
    }
    EXPECT_TRUE(cutMidBody);
}
