// URL splitting and link resolution. Input: a base URL, a NUL, then a link found on it.

#include "fuzz/FuzzCheck.h"
#include "web/HttpUrl.h"

#include <string>

using namespace larkspur;

namespace {

// Nothing that could end a request or header line, or split the request line.
bool lineSafe(std::string_view s)
{
    for (const char c : s)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) return false;
    return true;
}

void checkUrl(const HttpUrl& url)
{
    FUZZ_CHECK(url.scheme == "http" || url.scheme == "https");
    FUZZ_CHECK(!url.host.empty() && lineSafe(url.host));
    FUZZ_CHECK(url.port >= 1 && url.port <= 65535);
    FUZZ_CHECK(url.target.starts_with('/') && lineSafe(url.target));
    FUZZ_CHECK(url.target.find('#') == std::string::npos);

    // Written out again, it splits into the same parts.
    const HttpUrlResult again = parseHttpUrl(url.scheme + "://" + url.hostHeader() + url.target);
    FUZZ_CHECK(again.url.has_value());
    FUZZ_CHECK(again.url->connectionKey() == url.connectionKey());
    FUZZ_CHECK(again.url->target == url.target);
}

void checkParsed(std::string_view text)
{
    const HttpUrlResult parsed = parseHttpUrl(text);
    FUZZ_CHECK(!(parsed.unknownScheme && parsed.relative));
    if (parsed.url) {
        FUZZ_CHECK(!parsed.unknownScheme && !parsed.relative);
        checkUrl(*parsed.url);
    }
    FUZZ_CHECK(parseHttpUrl(trimUrlEnds(text)).url.has_value() == parsed.url.has_value());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto f = fuzz::fields(fuzz::bytesOf(data, size), 2);
    checkParsed(f[0]);
    checkParsed(f[1]);
    const std::string resolved = resolveHttpUrl(f[0], f[1]);
    if (!resolved.empty()) {
        const HttpUrlResult parsed = parseHttpUrl(resolved);
        FUZZ_CHECK(parsed.url.has_value());
        checkUrl(*parsed.url);
    }
    return 0;
}
