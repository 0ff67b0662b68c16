#include "web/HttpUrl.h"

#include <cstdlib>

#include <algorithm>
#include <cctype>
#include <vector>

namespace larkspur {

namespace {

constexpr auto npos = std::string::npos;

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
    // The host goes into a header line as it stands, so it must not be able to end one;
    // a colon outside brackets ("h:x:80") would be read as a port the next time.
    const bool bracketed = host.starts_with('[');
    if (host.empty() || std::any_of(host.begin(), host.end(), [&](char c) {
            const auto b = static_cast<unsigned char>(c);
            return b <= 0x20 || b == 0x7f || (c == ':' && !bracketed);
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

// The scheme of an absolute URL (letters, then letters, digits, "+", "-" or "." before
// the first ":"); nothing for a relative one.
std::optional<std::string_view> schemeOf(std::string_view s)
{
    const auto colon = s.find(':');
    if (colon == std::string_view::npos || colon == 0 ||
        !std::isalpha(static_cast<unsigned char>(s.front())))
        return std::nullopt;
    const std::string_view name = s.substr(0, colon);
    const bool valid = std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
    });
    if (!valid) return std::nullopt;
    return name;
}

// An absolute path with its "." and ".." segments resolved, as browsers do for relative
// links; ".." never climbs above the root.
std::string withoutDotSegments(std::string_view path)
{
    std::vector<std::string_view> kept;
    bool endsInFolder = false;
    for (std::size_t from = 1;;) {
        const std::size_t slash = path.find('/', from);
        const bool last = slash == std::string_view::npos;
        const std::string_view segment = path.substr(from, last ? path.npos : slash - from);
        if (segment == "..") {
            if (!kept.empty()) kept.pop_back();
            endsInFolder = last;
        } else if (segment == ".") {
            endsInFolder = last;
        } else {
            kept.push_back(segment);
        }
        if (last) break;
        from = slash + 1;
    }
    std::string out;
    for (const std::string_view segment : kept) {
        out += '/';
        out += segment;
    }
    if (endsInFolder || out.empty()) out += '/';
    return out;
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

std::string_view trimUrlEnds(std::string_view text)
{
    const auto low = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    while (!text.empty() && low(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && low(text.back()))
        text.remove_suffix(1);
    return text;
}

HttpUrlResult parseHttpUrl(std::string_view text)
{
    std::string s(trimUrlEnds(text));
    std::replace(s.begin(), s.end(), '\\', '/');
    if (auto hash = s.find('#'); hash != std::string::npos) s.erase(hash);

    HttpUrlResult result;
    const auto scheme = schemeOf(s);
    if (!scheme) {
        result.relative = true;
        return result;
    }
    HttpUrl url;
    url.scheme = lower(*scheme);
    if (url.scheme != "http" && url.scheme != "https") {
        result.unknownScheme = true;
        return result;
    }
    const std::string_view afterScheme = std::string_view(s).substr(scheme->size() + 1);
    if (!afterScheme.starts_with("//")) return result; // "http:x" names no host
    const std::string_view rest = afterScheme.substr(2);
    const auto end = rest.find_first_of("/?");
    if (!splitAuthority(rest.substr(0, end), url)) return result;
    url.target = safeTarget(end == std::string_view::npos ? "" : rest.substr(end));
    result.url = std::move(url);
    return result;
}

namespace {

std::string joinedUrl(std::string_view base, std::string_view link)
{
    std::string s(trimUrlEnds(link));
    std::replace(s.begin(), s.end(), '\\', '/');
    if (auto hash = s.find('#'); hash != std::string::npos) s.erase(hash);
    if (s.empty()) return {};
    if (const auto scheme = schemeOf(s)) {
        const std::string name = lower(*scheme);
        return name == "http" || name == "https" ? s : std::string();
    }
    const HttpUrlResult page = parseHttpUrl(base);
    if (!page.url) return {};
    const HttpUrl& b = *page.url;
    if (s.starts_with("//")) return b.scheme + ":" + s;

    const std::string origin = b.scheme + "://" + b.hostHeader();
    const std::string basePath = b.target.substr(0, b.target.find('?'));
    if (s.front() == '?') return origin + basePath + s;
    const auto query = s.find('?');
    std::string path = s.substr(0, query);
    if (path.front() != '/') path = basePath.substr(0, basePath.rfind('/') + 1) + path;
    return origin + withoutDotSegments(path) + (query == npos ? "" : s.substr(query));
}

} // namespace

std::string resolveHttpUrl(std::string_view base, std::string_view link)
{
    // A join can still name no host ("//[" on any page, "http://" as it stands): that is
    // no page to fetch either.
    std::string url = joinedUrl(base, link);
    return url.empty() || parseHttpUrl(url).url ? url : std::string();
}

std::string siteHost(const char* environmentVariable, std::string_view builtIn)
{
    const char* env = std::getenv(environmentVariable);
    std::string host = env && *env ? env : std::string(builtIn);
    while (!host.empty() && host.back() == '/') host.pop_back();
    return host;
}

} // namespace larkspur
