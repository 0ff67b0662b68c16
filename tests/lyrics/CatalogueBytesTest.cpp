// The bytes the catalogue search puts on the wire, read from the raw request lines of a
// loopback site that answers in Latin-1.

#include "lyrics/CatalogueSearch.h"
#include "support/HttpRawServer.h"
#include "web/HttpClient.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

using namespace larkspur;
using larkspur::test::HttpRawConnection;
using larkspur::test::HttpRawServer;

namespace {

std::string row(const std::string& link)
{
    return "<div style=\"margin-left:5px\"><font face=\"Arial\"><a href=\"" + link +
           "\">T</a></font><br><font size=\"2\">x</div>\n";
}

// Every answer is Latin-1: the front page with its session, the result page, a song page.
void latin1Site(HttpRawConnection& c)
{
    while (const auto request = c.readRequest()) {
        std::string body = "<div class=\"song\">\nLa la</div>";
        if (request->starts_with("GET / "))
            body = "<frame name=\"menu\" src=\"menu.php?sid=S\">";
        else if (request->starts_with("GET /suche.php"))
            body = "Ergebnisse <b>1-3</b> von insgesamt <b>3</b>" + row("song/caf\xE9.html") +
                   row("s.php?t=Gr\xFC\xDF") + row("x%E9.html");
        c.send("HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=ISO-8859-1\r\n"
               "Content-Length: " +
               std::to_string(body.size()) + "\r\n\r\n" + body);
    }
}

} // namespace

TEST(CatalogueBytes, QueriesGoOutInLatin1AndLinksAsThePageHadThem)
{
    HttpRawServer server(latin1Site);
    ::setenv("LARKSPUR_CATALOGUE_URL", server.url("").c_str(), 1);
    HttpClient http;
    CatalogueState state;
    std::vector<std::string> notes;
    CatalogueView view;
    view.showNote = [&](const std::string& note) { notes.push_back(note); };
    CatalogueSearch search(state, http, view);
    const auto lastRequestLine = [&] {
        const auto requests = server.requests();
        return requests.empty() ? std::string()
                                : requests.back().substr(0, requests.back().find("\r\n"));
    };

    struct Case
    {
        std::string text, query, lacking;
    };
    const Case cases[] = {
        {"Beyoncé", "Beyonc%E9", ""},
        {"Ärger im Paradies", "%C4rger+im+Paradies", ""},
        {"naïve Ça ×", "na%EFve+%C7a+%D7", ""},
        {"Sigur Rós – Hoppípolla", "Sigur+R%F3s+?+Hopp%EDpolla", "–"},
        {"€uro 😀", "?uro+?", "€😀"},
    };
    for (const auto& c : cases) {
        notes.clear();
        ASSERT_EQ(search.search(c.text, true), CatalogueSearch::Outcome::Shown) << c.text;
        EXPECT_EQ(lastRequestLine(), "GET /suche.php?sid=S&query=" + c.query +
                                         "&search=title&offset=0&viewperpage=10 HTTP/1.1");
        if (c.lacking.empty()) {
            EXPECT_TRUE(notes.empty()) << c.text;
        } else {
            ASSERT_EQ(notes.size(), 1u) << c.text;
            EXPECT_NE(notes[0].find("\"" + c.lacking + "\""), std::string::npos) << notes[0];
        }
    }

    const std::string songs[] = {"/song/caf%E9.html", "/s.php?t=Gr%FC%DF", "/x%E9.html"};
    for (std::size_t i = 0; i < std::size(songs); ++i) {
        EXPECT_EQ(search.loadRow(i), CatalogueSearch::Outcome::Shown);
        EXPECT_EQ(lastRequestLine(), "GET " + songs[i] + " HTTP/1.1");
    }
    ::unsetenv("LARKSPUR_CATALOGUE_URL");
}
