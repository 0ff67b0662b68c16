#pragma once
// The program's HTTP client: GET a URL and get its body bytes, over one kept-alive
// connection, with a per-host cookie store that lasts as long as the client.
//
// Requests carry exactly the request line, "Host", "Accept", "User-Agent" and, when
// cookies apply, "Cookie". Redirects are not followed: an answer outside 200-299 or with
// a "Location" header fails. http and https (through libcurl's TLS) are supported.
//
// Threading: use from the thread that runs the Qt event loop (a QCoreApplication must
// exist). Get blocks its caller but runs a nested event loop meanwhile, so timers, menus
// and other handlers keep working; any of them may call Get again (that fetch gets its
// own transfer) or Disconnect (which cancels every waiting fetch, or those of one group).
// The client may even be destroyed by such a handler: the waiting fetch then fails. A
// cancelled Get with another Get nested inside it (started by a handler) fails as soon as
// that one has returned: the nested call sits on top of it.
//
// Limits (defaultLimits; a client may be given others): 120 s to connect (TLS handshake
// included); once connected, 60 s without a single byte fails the fetch ("Read timed
// out"); 300 s for the whole fetch, so a server dripping a byte now and then cannot hold
// it either (a 1 MB page over a 4 KB/s link takes 250 s, and lyrics pages are far
// smaller); a status or header line over 16 384 bytes, or over 256 KB of header lines in
// all (as much as a browser takes), fails it; so does a body over 64 MB, which no page of
// lyrics comes near. Each limit fails with a text of its own (see HttpError).

#include "web/FetchLimits.h"
#include "web/HttpError.h"
#include "web/HttpFetcher.h"

#include <memory>
#include <string>

namespace larkspur {

class HttpClient : public HttpFetcher
{
  public:
    explicit HttpClient(FetchLimits limits = defaultLimits());
    ~HttpClient() override;
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // `url`: an absolute http or https URL. Blanks and control characters at its ends are
    // dropped first; blanks inside go out as "%20". Anything else (a relative link, another
    // scheme such as "javascript:" or "mailto:", an empty text) fails with HttpError and
    // sends nothing: a relative link is never taken relative to the previous request, which
    // may have gone to another site; resolve it against its own page (resolveHttpUrl).
    // Returns the body bytes unchanged (no charset conversion; htmlPageToUtf8 does that) and
    // the answer's Content-Type. Throws HttpError. A fetch cancelled by Disconnect fails,
    // except while a body of known length or one read until the connection's end was
    // arriving: then the part that arrived is returned.
    // `group` says whose fetch it is, for Disconnect(group). Get gives the body alone.
    HttpPage GetPage(const std::string& url, FetchGroup group = FetchGroup::Default) override;
    // As GetPage; a non-empty `request.userAgent` replaces the usual User-Agent for this one
    // request. One holding a line break fails with HttpError and sends nothing.
    HttpPage Fetch(const HttpRequest& request) override;

    // Cancels the waiting fetches of `group` only, as Disconnect() would; the fetches of
    // other groups go on. The kept connection is closed too when no other fetch is waiting.
    void Disconnect(FetchGroup group) override;

    // Closes the connection at once and cancels every waiting Get, of every group. Safe to
    // call at any time, from a handler running inside a waiting Get included.
    void Disconnect() override;

    static FetchLimits defaultLimits();
    const FetchLimits& limits() const;

    struct Impl;

  private:
    std::shared_ptr<Impl> m_impl;
};

} // namespace larkspur
