// The cookie jar on its own, driven by lines: the first byte picks Set-Cookie ('1'),
// Set-Cookie2 ('2') or a Cookie header to read; the second the host; the third whether over
// https (odd); the rest is the header's value. The clock moves a minute per line.

#include "fuzz/FuzzCheck.h"
#include "web/HttpCookieJar.h"

#include <algorithm>
#include <string>
#include <vector>

using namespace larkspur;

namespace {

constexpr std::string_view kHosts[] = {"example.org", "EXAMPLE.org", "lyrics.example", "127.0.0.1"};

// The header's "name=value" items; neither part holds a ";", so "; " splits them exactly.
std::vector<std::string> items(std::string_view header)
{
    std::vector<std::string> out;
    while (!header.empty()) {
        const auto end = header.find("; ");
        out.emplace_back(header.substr(0, end));
        header.remove_prefix(end == std::string_view::npos ? header.size() : end + 2);
    }
    for (const auto& item : out) {
        FUZZ_CHECK(item.find(';') == std::string::npos);
        const auto eq = item.find('=');
        FUZZ_CHECK(eq != std::string::npos && eq > 0);
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view input = fuzz::bytesOf(data, size);
    HttpCookieJar jar;
    std::time_t now = 1'800'000'000;
    while (!input.empty()) {
        const auto nl = input.find('\n');
        const std::string_view line = input.substr(0, nl);
        input.remove_prefix(nl == std::string_view::npos ? input.size() : nl + 1);
        now += 60;
        if (line.size() < 3) continue;
        const std::string_view host = kHosts[static_cast<unsigned char>(line[1]) % std::size(kHosts)];
        const bool https = (line[2] & 1) != 0;
        const std::string_view value = line.substr(3);
        if (line[0] == '1')
            jar.storeSetCookie(host, value, https, now);
        else if (line[0] == '2')
            jar.storeSetCookie2(host, value, https, now);
        else
            items(jar.headerFor(host, https, now));
    }

    // A plain cookie just set comes back to its host whatever the letter case of the host
    // name, once; a Max-Age of 0 takes it away again.
    const std::string marker = "fuzz_marker=on";
    for (const std::string_view host : kHosts) {
        jar.storeSetCookie(host, marker, false, now);
        const auto set = items(jar.headerFor(host, true, now));
        FUZZ_CHECK(std::count(set.begin(), set.end(), marker) == 1);
        jar.storeSetCookie(host, "fuzz_marker=off; Max-Age=0", true, now);
        const auto gone = items(jar.headerFor(host, false, now));
        FUZZ_CHECK(std::none_of(gone.begin(), gone.end(),
                                [](const std::string& item) { return item.starts_with("fuzz_marker="); }));
    }
    return 0;
}
