#pragma once
// Cookies received by the HTTP client, kept per host name in memory for the whole run.
// Cookies go back only to the host that set them; "Domain" and "Path" are not widened
// or narrowed. A "Secure" cookie only goes back over https. Not thread-safe.
//
// Bounded as browsers bound theirs, so a site flooding "Set-Cookie" cannot make every
// later request to it too long to send: a cookie whose name and value exceed 4 096 bytes
// is dropped, and a host keeps at most 50 cookies, the one set first going when another
// comes (a changed value keeps its cookie's place).

#include <ctime>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace larkspur {

class HttpCookieJar
{
public:
    static constexpr std::size_t kMaxCookieBytes = 4096;
    static constexpr std::size_t kMaxCookiesPerHost = 50;

    // One "Set-Cookie" value (one cookie) or "Set-Cookie2" value (a comma-separated list)
    // received from `host`. "Max-Age" of 0 or less, or an "Expires" date in the past,
    // removes the cookie of that name. `now` is seconds since the epoch.
    void storeSetCookie(std::string_view host, std::string_view value, bool overHttps,
                        std::time_t now);
    void storeSetCookie2(std::string_view host, std::string_view value, bool overHttps,
                         std::time_t now);

    // The value of the "Cookie" header ("a=1; b=2") for a request to `host`; empty when
    // no cookie applies.
    std::string headerFor(std::string_view host, bool overHttps, std::time_t now) const;

private:
    struct Cookie
    {
        std::string name;
        std::string value;
        bool secure = false;
        std::time_t expires = 0; // 0: until the program ends
    };
    void storeOne(std::string_view host, std::string_view text, bool overHttps, std::time_t now);

    std::map<std::string, std::vector<Cookie>> m_byHost;
};

} // namespace larkspur
