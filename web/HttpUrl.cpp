#include "web/HttpUrl.h"

#include <algorithm>
#include <cctype>

namespace larkspur {

namespace {

std::string lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// A blank or control byte in the target would end the request line early or start a
// new header line, so it goes out percent-encoded.
std::string safeTarget(std::string_view target)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(target.size() + 1);
    for (char c : target) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b == 0x7f) {
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 15];
        } else {
            out += c;
        }
    }
    if (out.empty() || out.front() != '/') out.insert(out.begin(), '/');
    return out;
}

std::optional<int> parsePort(std::string_view digits)
{
    if (digits.empty() || digits.size() > 5) return std::nullopt;
    int port = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        port = port * 10 + (c - '0');
    }
    if (port < 1 || port > 65535) return std::nullopt;
    return port;
}

// "user:pw@host:port" -> host and port. False when the host is missing or the port bad.
bool splitAuthority(std::string_view authority, HttpUrl& url)
{
    if (auto at = authority.rfind('@'); at != std::string_view::npos)
        authority.remove_prefix(at + 1);
    std::string_view host = authority;
    std::string_view port;
    if (authority.starts_with('[')) {
        const auto close = authority.find(']');
        if (close == std::string_view::npos) return false;
        host = authority.substr(0, close + 1);
        std::string_view rest = authority.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return false;
            port = rest.substr(1);
        }
    } else if (auto colon = authority.rfind(':'); colon != std::string_view::npos) {
        host = authority.substr(0, colon);
        port = authority.substr(colon + 1);
    }
    // The host goes into a header line as it stands, so it must not be able to end one.
    if (host.empty() || std::any_of(host.begin(), host.end(), [](char c) {
            const auto b = static_cast<unsigned char>(c);
            return b <= 0x20 || b == 0x7f;
        }))
        return false;
    url.host = std::string(host);
    url.port = url.scheme == "https" ? 443 : 80;
    if (!port.empty()) {
        const auto p = parsePort(port);
        if (!p) return false;
        url.port = *p;
    }
    return true;
}

} // namespace

std::string HttpUrl::connectionKey() const
{
    return scheme + "://" + lower(host) + ":" + std::to_string(port);
}

std::string HttpUrl::hostHeader() const
{
    return isDefaultPort() ? host : host + ":" + std::to_string(port);
}

HttpUrlResult parseHttpUrl(std::string_view text, const HttpUrl* previous)
{
    std::string s(text);
    std::replace(s.begin(), s.end(), '\\', '/');
    if (auto hash = s.find('#'); hash != std::string::npos) s.erase(hash);

    HttpUrlResult result;
    HttpUrl url;
    const auto sep = s.find("://");
    const bool hasScheme =
        sep != std::string::npos && sep > 0 &&
        std::all_of(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(sep), [](char c) {
            return std::isalpha(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
        });
    if (hasScheme) {
        url.scheme = lower(std::string_view(s).substr(0, sep));
        if (url.scheme != "http" && url.scheme != "https") {
            result.unknownScheme = true;
            return result;
        }
        const std::string_view rest = std::string_view(s).substr(sep + 3);
        const auto end = rest.find_first_of("/?");
        if (!splitAuthority(rest.substr(0, end), url)) return result;
        url.target = safeTarget(end == std::string_view::npos ? "" : rest.substr(end));
        result.url = std::move(url);
        return result;
    }

    if (!previous) return result;
    url = *previous;
    if (s.starts_with("//")) {
        const std::string_view rest = std::string_view(s).substr(2);
        const auto end = rest.find_first_of("/?");
        if (!splitAuthority(rest.substr(0, end), url)) return result;
        url.target = safeTarget(end == std::string_view::npos ? "" : rest.substr(end));
    } else if (s.starts_with('/')) {
        url.target = safeTarget(s);
    } else {
        // Relative to the previous request's path, without its query.
        std::string path = previous->target.substr(0, previous->target.find('?'));
        if (s.starts_with('?')) {
            url.target = safeTarget(path + s);
        } else {
            path.erase(path.rfind('/') + 1);
            url.target = safeTarget(path + s);
        }
    }
    result.url = std::move(url);
    return result;
}

} // namespace larkspur
