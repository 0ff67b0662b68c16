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

// Splits an absolute "http://" or "https://" URL. Backslashes count as slashes; user
// information is dropped (nothing is ever authenticated); the fragment is never kept.
// A URL without scheme and host is resolved against `previous` (its host, port and
// directory). Bytes that would break the request line (controls, blanks, DEL) are
// percent-encoded; everything else is kept as it stands.
// Returns nothing when no host can be found, the port is not a number from 1 to 65535,
// or the scheme is neither http nor https.
struct HttpUrlResult
{
    std::optional<HttpUrl> url;
    bool unknownScheme = false;
};
HttpUrlResult parseHttpUrl(std::string_view text, const HttpUrl* previous);

} // namespace larkspur
