#include "support/HostileServers.h"

#include <zlib.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>
#include <stdexcept>

namespace larkspur::test {

namespace {

constexpr int kHoldMs = 600000; // the fetch, never the server, must end a held connection

std::string head(const std::string& fields)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n" + fields + "\r\n";
}

// Sends `bytes` letters in pieces; stops when the peer goes.
void sendLetters(HttpRawConnection& c, std::size_t bytes)
{
    const std::string piece(1024 * 1024, 'a');
    while (bytes > 0 && !c.stopping()) {
        const std::size_t n = std::min(bytes, piece.size());
        if (!c.send(std::string_view(piece).substr(0, n))) return;
        bytes -= n;
    }
}

} // namespace

std::vector<HostileCase> hostileCases(const HostileSizes& sizes)
{
    std::vector<HostileCase> cases;
    cases.push_back({"no answer", [](HttpRawConnection& c) {
                         if (c.readRequest()) c.waitPeerClose(kHoldMs);
                     }});
    cases.push_back({"drip", [drip = sizes.dripMs](HttpRawConnection& c) {
                         if (!c.readRequest()) return;
                         c.send(head("Content-Length: 100000\r\n"));
                         while (!c.stopping()) {
                             c.pause(drip);
                             if (!c.send("x")) return;
                         }
                     }});
    cases.push_back(
        {"header line of 1 MB", [](HttpRawConnection& c) {
             if (!c.readRequest()) return;
             c.send(head("X-Big: " + std::string(1024 * 1024, 'b') + "\r\nContent-Length: 2\r\n") +
                    "ok");
             c.waitPeerClose(kHoldMs);
         }});
    cases.push_back({"10000 headers", [](HttpRawConnection& c) {
                         if (!c.readRequest()) return;
                         std::string fields;
                         char line[64];
                         for (int i = 0; i < 10000; ++i) {
                             std::snprintf(line, sizeof line, "X-Field-%05d: value %05d\r\n", i, i);
                             fields += line;
                         }
                         c.send(head(fields + "Content-Length: 2\r\n") + "ok");
                         c.waitPeerClose(kHoldMs);
                     }});
    cases.push_back({"redirect loop", [](HttpRawConnection& c) {
                         while (c.readRequest())
                             c.send("HTTP/1.1 302 Found\r\nLocation: /page\r\n"
                                    "Content-Length: 0\r\n\r\n");
                     }});
    cases.push_back({"chunked garbage", [](HttpRawConnection& c) {
                         if (!c.readRequest()) return;
                         c.send(head("Transfer-Encoding: chunked\r\n") +
                                "10\r\n<p>first part</p\r\nzz-not-a-size\r\nmore\r\n");
                         c.waitPeerClose(kHoldMs);
                     }});
    cases.push_back({"length beyond body", [](HttpRawConnection& c) {
                         if (!c.readRequest()) return;
                         c.send(head("Content-Length: 1000\r\n") + "<p>short</p>");
                         c.waitPeerClose(kHoldMs);
                     }});
    cases.push_back({"reset midway", [](HttpRawConnection& c) {
                         if (!c.readRequest()) return;
                         c.send(head("Content-Length: 100000\r\n") + "<p>" +
                                std::string(4997, 'r'));
                         c.pause(100);
                         c.reset();
                     }});
    cases.push_back({"huge body", [bytes = sizes.bodyBytes](HttpRawConnection& c) {
                         if (!c.readRequest()) return;
                         c.send(head("Content-Length: " + std::to_string(bytes) + "\r\n"));
                         sendLetters(c, bytes);
                     }});
    cases.push_back({"gzip bomb", [bytes = sizes.bombBytes](HttpRawConnection& c) {
                         const std::string& bomb = gzipBomb(bytes);
                         if (!c.readRequest()) return;
                         c.send(head("Content-Encoding: gzip\r\nContent-Length: " +
                                     std::to_string(bomb.size()) + "\r\n") +
                                bomb);
                         c.waitPeerClose(kHoldMs);
                     }});
    cases.push_back({"stalled TLS",
                     [](HttpRawConnection& c) {
                         if (!c.readSome().empty()) c.waitPeerClose(kHoldMs);
                     },
                     true});
    return cases;
}

std::string hostileUrl(const HttpRawServer& server, const HostileCase& hostile)
{
    const std::string url = server.url("/page");
    return hostile.https ? "https" + url.substr(4) : url;
}

const std::string& gzipBomb(std::size_t bytes)
{
    static std::mutex mutex;
    static std::map<std::size_t, std::string> made;
    std::lock_guard lock(mutex);
    std::string& bomb = made[bytes];
    if (!bomb.empty()) return bomb;
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    std::string input(1024 * 1024, 'a');
    char out[64 * 1024];
    std::size_t left = bytes;
    int flush = Z_NO_FLUSH;
    do {
        const std::size_t n = std::min(left, input.size());
        left -= n;
        flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
        z.next_in = reinterpret_cast<Bytef*>(input.data());
        z.avail_in = static_cast<uInt>(n);
        do {
            z.next_out = reinterpret_cast<Bytef*>(out);
            z.avail_out = sizeof out;
            deflate(&z, flush);
            bomb.append(out, sizeof out - z.avail_out);
        } while (z.avail_out == 0);
    } while (flush != Z_FINISH);
    deflateEnd(&z);
    return bomb;
}

std::size_t peakResidentBytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stoul(line.substr(6)) * 1024;
    return 0;
}

void resetPeakResident()
{
    // "5" resets the peak to the current resident size (Linux 4.0 on).
    std::ofstream("/proc/self/clear_refs") << "5";
}

} // namespace larkspur::test
