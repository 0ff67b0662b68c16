#pragma once
// What lyrics and dictionary code need from the HTTP client, so tests can give them a fake.

#include <string>
#include <vector>

namespace larkspur {

// Whose fetch it is. Several subsystems fetch through the one client; each cancels only its
// own fetches (a click on its busy label) with Disconnect(group).
enum class FetchGroup {
    Default,        // callers that do not say
    LyricsHarvest,  // the page of a web search result
    Catalogue,      // the lyrics catalogue site
    LyricsDatabase, // the lyrics database, for the playing song
    LyricsLibrary,  // the lyrics database, for a whole song list
};

// One fetched page.
struct HttpPage
{
    std::string body;        // the bytes as they came, in the page's own charset
    std::string contentType; // the answer's "Content-Type" value; empty when it had none
};

// One GET (or a POST, when it has a body) with what a caller may choose beyond the URL.
struct HttpRequest
{
    std::string url;
    FetchGroup group = FetchGroup::Default;
    // Empty: the client's usual one. A service may ask its callers to name themselves.
    std::string userAgent;
    // A POST sends these bytes with this Content-Type; "{}" is a body too.
    std::string body;
    std::string contentType;
    bool post = false;
    // Further "Name: value" header lines (a service's token, say); none may hold a line break.
    std::vector<std::string> headers;
};

class HttpFetcher
{
  public:
    virtual ~HttpFetcher() = default;
    // The page at `url`; throws HttpError on any failure.
    virtual HttpPage GetPage(const std::string& url, FetchGroup group = FetchGroup::Default) = 0;
    // As GetPage, with the request's own User-Agent. A fetcher that sends no headers of its
    // own (a test's fake) may keep this forwarding to GetPage.
    virtual HttpPage Fetch(const HttpRequest& request)
    {
        return GetPage(request.url, request.group);
    }
    // The body of `url` as bytes; throws HttpError on any failure.
    std::string Get(const std::string& url, FetchGroup group = FetchGroup::Default)
    {
        return GetPage(url, group).body;
    }
    // Ends the waiting fetches of `group` early; those of other groups go on.
    virtual void Disconnect(FetchGroup group) = 0;
    // Closes the connection; every Get that is waiting ends early.
    virtual void Disconnect() = 0;
};

} // namespace larkspur
