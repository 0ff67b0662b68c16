#pragma once
// How long and how much one fetch may take before it is given up. A hostile or broken
// server (one that never answers, drips a byte now and then, or sends endless headers or
// an endless body) must not hold a fetch, or the memory behind it, for ever.

#include <chrono>
#include <cstddef>
#include <string>

namespace larkspur {

struct FetchLimits
{
    // Name look-up, TCP connect and TLS handshake together.
    std::chrono::milliseconds connect{0};
    // Once connected: no byte at all for this long ends the fetch as failed.
    std::chrono::milliseconds idle{0};
    // From the start to the last byte, whatever arrives meanwhile.
    std::chrono::milliseconds total{0};
    // Every header line of one answer together (status line and trailers included).
    std::size_t headerBytes = 0;
    // The body as it is kept (after decoding, where the fetcher decodes).
    std::size_t bodyBytes = 0;
};

// A kept connection idle for longer is not used again: a server may have stopped reading
// it meanwhile, and the next fetch would wait out the idle limit on it.
inline constexpr long kConnectionReuseSeconds = 3;

// "60 s", "1.5 s", "250 ms": a limit as a message shows it.
std::string limitText(std::chrono::milliseconds limit);
// "256 KB", "64 MB", "100 bytes".
std::string limitText(std::size_t bytes);

} // namespace larkspur
