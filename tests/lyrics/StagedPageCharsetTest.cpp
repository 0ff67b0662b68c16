// A fetched lyrics page on its way to the rendered text: fetch, conversion to UTF-8,
// cleaning, staging, rendering. The cleaning cuts the head and the header is gone by then,
// so the page's charset has to be applied before.

#include "lyrics/CleanLyricsPage.h"
#include "support/HttpRawServer.h"
#include "support/TestFiles.h"
#include "web/BrowserDocument.h"
#include "web/HtmlCharset.h"
#include "web/HttpClient.h"
#include "web/StagingPage.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QSignalSpy>
#include <QTimer>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using namespace larkspur;
using larkspur::test::HttpRawConnection;
using larkspur::test::HttpRawServer;

namespace {

struct Page
{
    std::string path;
    std::string contentType; // no header when empty
    std::string body;
    std::string renderedText; // UTF-8
};

std::string renderStagingPage(BrowserDocument& browser)
{
    QSignalSpy complete(&browser, &BrowserDocument::DocumentComplete);
    browser.Navigate(stagingPagePath());
    QElapsedTimer clock;
    clock.start();
    while (complete.count() == 0 && clock.elapsed() < 5000) {
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    EXPECT_EQ(complete.count(), 1);
    return browser.innerText();
}

} // namespace

TEST(StagedPageCharset, LettersSurviveInTheCharsetOfTheHeaderOrOfTheMetaTag)
{
    const std::string privet = "\xCF\xF0\xE8\xE2\xE5\xF2, \xEC\xE8\xF0"; // windows-1251
    const std::string privetUtf8 = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82, "
                                   "\xD0\xBC\xD0\xB8\xD1\x80";
    // Shift_JIS; the second byte of the fifth-last letter is 0x5C, an ASCII backslash.
    const std::string konnichiwa = "\x82\xB1\x82\xF1\x82\xC9\x82\xBF\x82\xCD \x95\x5C\x8E\xA6";
    const std::string konnichiwaUtf8 = "\xE3\x81\x93\xE3\x82\x93\xE3\x81\xAB\xE3\x81\xA1\xE3\x81"
                                       "\xAF \xE8\xA1\xA8\xE7\xA4\xBA";
    const std::vector<Page> pages = {
        {"/1251-header", "text/html; charset=windows-1251",
         "<html><head><title>t</title></head><body><p>" + privet + "</p></body></html>",
         privetUtf8},
        {"/sjis-header", "text/html; Charset=\"Shift_JIS\"",
         "<html><head></head><body><p>" + konnichiwa + "</p></body></html>", konnichiwaUtf8},
        {"/1251-meta", "text/html",
         "<html><head><meta charset=\"windows-1251\"></head><body><p>\xA8\xEB\xEA\xE0</p>"
         "</body></html>",
         "\xD0\x81\xD0\xBB\xD0\xBA\xD0\xB0"},
        {"/sjis-meta", "",
         "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">"
         "</head><BODY><p>" +
             konnichiwa + "</p></BODY></html>",
         konnichiwaUtf8},
        // Without a body tag nothing is cut, so the page's own meta tag is staged too.
        {"/1251-no-body", "", "<meta charset=windows-1251><p>" + privet + "</p>", privetUtf8},
        // Nothing named: not UTF-8, so windows-1252.
        {"/western", "text/html",
         "<body><p>Gr\xF6\xDF"
         "e \x80</p></body>",
         "Gr\xC3\xB6\xC3\x9F"
         "e \xE2\x82\xAC"},
    };
    std::map<std::string, const Page*> routes;
    for (const Page& p : pages)
        routes[p.path] = &p;
    HttpRawServer server([&routes](HttpRawConnection& c) {
        while (const auto request = c.readRequest()) {
            const std::size_t from = request->find(' ') + 1;
            const Page& p = *routes.at(request->substr(from, request->find(' ', from) - from));
            c.send("HTTP/1.1 200 OK\r\n" +
                   (p.contentType.empty() ? "" : "Content-Type: " + p.contentType + "\r\n") +
                   "Content-Length: " + std::to_string(p.body.size()) + "\r\n\r\n" + p.body);
        }
    });

    test::CacheFolder cache;
    HttpClient client;
    BrowserDocument browser;
    for (const Page& p : pages) {
        const HttpPage fetched = client.GetPage(server.url(p.path), FetchGroup::LyricsHarvest);
        EXPECT_EQ(fetched.body, p.body) << p.path;
        EXPECT_EQ(fetched.contentType, p.contentType) << p.path;
        writeUtf8StagingPage(CleanLyricsPage(htmlPageToUtf8(fetched.body, fetched.contentType)));
        EXPECT_EQ(renderStagingPage(browser), p.renderedText) << p.path;
    }
}
