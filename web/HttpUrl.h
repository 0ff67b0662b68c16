#pragma once
// Splitting of the URLs handed to HttpClient::Get. Pure functions, no I/O.

#include <optional>
#include <string>
#include <string_view>

namespace larkspur {

struct HttpUrl
{
    std::string scheme; // "http" or "https", lower case
    std::string host;   // as written in the URL; IPv6 literals keep their brackets
    int port = 80;
    std::string target; // path + document + query: "/" at least, fragment dropped

    bool isDefaultPort() const { return port == (scheme == "https" ? 443 : 80); }
    // Scheme, host and port: fetches with equal keys may share a connection.
    std::string connectionKey() const;
    // What goes after "Host: ".
    std::string hostHeader() const;
};

// `text` without the blanks and control characters (bytes 0x00-0x20) at its ends, which
// browsers drop from a link before reading it.
std::string_view trimUrlEnds(std::string_view text);

// A site's scheme and host (and port): the environment variable when set, else the built-in
// one; no trailing slash.
std::string siteHost(const char* environmentVariable, std::string_view builtIn);

// Splits an absolute "http://" or "https://" URL, after trimming its ends (trimUrlEnds).
// Backslashes count as slashes; user information is dropped (nothing is ever
// authenticated); the fragment is never kept. Bytes that would break the request line
// (controls, blanks, DEL) are percent-encoded; everything else is kept as it stands.
// Returns nothing when no host can be found, the port is not a number from 1 to 65535, the
// scheme is neither http nor https ("ftp://", "javascript:", "mailto:": unknownScheme), or
// there is no scheme at all (a relative link, an empty text: relative). A relative link is
// never taken relative to an earlier request: the page it came from is what it is relative
// to, and only its finder knows that page (see resolveHttpUrl).
struct HttpUrlResult
{
    std::optional<HttpUrl> url;
    bool unknownScheme = false;
    bool relative = false;
};
HttpUrlResult parseHttpUrl(std::string_view text);

// `link`, found on the page at the absolute http(s) URL `base`, as an absolute URL: "x.htm",
// "../x.htm", "/x.htm", "?q=1" and "//host/x.htm" are taken relative to `base` (dot
// segments resolved), an absolute http(s) link is returned as it stands. Both are trimmed
// first. Empty when the link names no page that Get could fetch: another scheme
// ("javascript:", "mailto:"), an empty link or a bare "#fragment" (the page itself), or a
// relative link on a base that is not an http(s) URL.
std::string resolveHttpUrl(std::string_view base, std::string_view link);

} // namespace larkspur
