#include "web/HttpCookieJar.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <charconv>

namespace larkspur {

namespace {

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::string hostKey(std::string_view host)
{
    std::string key(host);
    for (char& c : key)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return key;
}

// A CR or LF sent back in the Cookie header would split the request's header lines.
bool hasControlBytes(std::string_view s)
{
    return std::any_of(s.begin(), s.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 ? c != '\t' : u == 0x7f;
    });
}

bool equalsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

void HttpCookieJar::storeSetCookie(std::string_view host, std::string_view value, bool overHttps,
                                   std::time_t now)
{
    // One cookie per header: an "Expires" date has a comma of its own.
    storeOne(host, value, overHttps, now);
}

void HttpCookieJar::storeSetCookie2(std::string_view host, std::string_view value, bool overHttps,
                                    std::time_t now)
{
    bool quoted = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= value.size(); ++i) {
        if (i < value.size() && value[i] == '"') quoted = !quoted;
        if (i == value.size() || (value[i] == ',' && !quoted)) {
            storeOne(host, value.substr(start, i - start), overHttps, now);
            start = i + 1;
        }
    }
}

void HttpCookieJar::storeOne(std::string_view host, std::string_view text, bool overHttps,
                             std::time_t now)
{
    std::size_t semi = text.find(';');
    const std::string_view pair = trim(text.substr(0, semi));
    const auto eq = pair.find('=');
    if (eq == std::string_view::npos) return;
    Cookie cookie;
    cookie.name = std::string(trim(pair.substr(0, eq)));
    cookie.value = std::string(trim(pair.substr(eq + 1)));
    if (cookie.name.empty()) return;
    if (hasControlBytes(cookie.name) || hasControlBytes(cookie.value)) return;
    if (cookie.name.size() + cookie.value.size() > kMaxCookieBytes) return;

    bool removes = false;
    bool hasMaxAge = false;
    while (semi != std::string_view::npos) {
        text.remove_prefix(semi + 1);
        semi = text.find(';');
        const std::string_view attr = trim(text.substr(0, semi));
        const auto aeq = attr.find('=');
        const std::string_view name = trim(attr.substr(0, aeq));
        const std::string_view val =
            aeq == std::string_view::npos ? std::string_view() : trim(attr.substr(aeq + 1));
        if (equalsNoCase(name, "secure")) {
            cookie.secure = true;
        } else if (equalsNoCase(name, "max-age")) {
            long long seconds = 0;
            const std::string_view digits =
                val.starts_with('"') && val.size() >= 2 ? val.substr(1, val.size() - 2) : val;
            const auto [p, ec] =
                std::from_chars(digits.data(), digits.data() + digits.size(), seconds);
            if (ec != std::errc() || p != digits.data() + digits.size()) continue;
            hasMaxAge = true;
            removes = seconds <= 0;
            // Far-future ages are clamped so the sum cannot overflow.
            constexpr long long kMaxAgeSeconds = 400LL * 24 * 3600;
            cookie.expires = removes ? 0 : now + static_cast<std::time_t>(std::min(seconds, kMaxAgeSeconds));
        } else if (equalsNoCase(name, "expires") && !hasMaxAge) {
            const std::time_t when = curl_getdate(std::string(val).c_str(), nullptr);
            if (when == -1) continue;
            removes = when <= now;
            cookie.expires = removes ? 0 : when;
        }
    }
    // A secure cookie from a plain connection could be planted by anyone on the way.
    if (cookie.secure && !overHttps) return;

    auto& cookies = m_byHost[hostKey(host)];
    auto it = std::find_if(cookies.begin(), cookies.end(),
                           [&](const Cookie& c) { return c.name == cookie.name; });
    if (removes) {
        if (it != cookies.end()) cookies.erase(it);
    } else if (it != cookies.end()) {
        *it = std::move(cookie);
    } else {
        // Expired cookies make room before live ones do.
        if (cookies.size() >= kMaxCookiesPerHost)
            std::erase_if(cookies,
                          [now](const Cookie& c) { return c.expires != 0 && c.expires <= now; });
        if (cookies.size() >= kMaxCookiesPerHost) cookies.erase(cookies.begin());
        cookies.push_back(std::move(cookie));
    }
}

std::string HttpCookieJar::headerFor(std::string_view host, bool overHttps, std::time_t now) const
{
    std::string header;
    const auto found = m_byHost.find(hostKey(host));
    if (found == m_byHost.end()) return header;
    for (const Cookie& c : found->second) {
        if (c.secure && !overHttps) continue;
        if (c.expires != 0 && c.expires <= now) continue;
        if (!header.empty()) header += "; ";
        header += c.name;
        header += '=';
        header += c.value;
    }
    return header;
}

} // namespace larkspur
