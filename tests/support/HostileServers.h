#pragma once
// Loopback servers that misbehave on purpose, one for each way a server can hold a fetch
// or flood its memory. Each answers any request on any path. Shared by the fetch tests and
// the benchmark that times them.

#include "support/HttpRawServer.h"

#include <cstddef>
#include <string>
#include <vector>

namespace larkspur::test {

struct HostileCase
{
    std::string name;
    HttpRawServer::Handler handler;
    bool https = false; // fetched as https://; the server never speaks TLS
};

struct HostileSizes
{
    int dripMs = 1000;                          // one body byte this often
    std::size_t bodyBytes = 200u * 1024 * 1024; // the endless body
    std::size_t bombBytes = 200u * 1024 * 1024; // the gzip bomb once decoded
};

// In a fixed order: "no answer", "drip", "header line of 1 MB", "10000 headers",
// "redirect loop", "chunked garbage", "length beyond body", "reset midway", "huge body",
// "gzip bomb", "stalled TLS".
std::vector<HostileCase> hostileCases(const HostileSizes& sizes = {});

// The URL of a page on `server` as `hostile` is fetched.
std::string hostileUrl(const HttpRawServer& server, const HostileCase& hostile);

// `bytes` letters "a" compressed as a gzip stream; kept for later calls with the same size.
const std::string& gzipBomb(std::size_t bytes);

// The process's peak resident memory since the last reset, in bytes; 0 when unknown.
std::size_t peakResidentBytes();
void resetPeakResident();

} // namespace larkspur::test
