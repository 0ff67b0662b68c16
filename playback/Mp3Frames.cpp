#include "playback/Mp3Frames.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <vector>

#include <sys/stat.h>

namespace larkspur {

namespace {

struct FrameHeader
{
    int version = 0; // 1 (MPEG 1), 2 (MPEG 2) or 25 (MPEG 2.5)
    int layer = 0;
    int sampleRate = 0;
    int samples = 0;
    std::size_t bytes = 0;
};

// Kilobits per second by bitrate index 1-14: MPEG 1 layers 1-3, then MPEG 2 and 2.5 layer 1,
// layers 2 and 3.
constexpr int kBitrates[5][14] = {
    {32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
    {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
    {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
    {32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
    {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
};
constexpr int kSampleRates[3] = {44100, 48000, 32000}; // MPEG 1; halved for 2, quartered for 2.5

// A free-format frame (bitrate index 0) has no size of its own: as good as none.
std::optional<FrameHeader> parseHeader(const unsigned char* b)
{
    if (b[0] != 0xFF || (b[1] & 0xE0) != 0xE0) return std::nullopt;
    const int versionBits = (b[1] >> 3) & 3, layerBits = (b[1] >> 1) & 3;
    const int bitrateIndex = b[2] >> 4, rateIndex = (b[2] >> 2) & 3, padding = (b[2] >> 1) & 1;
    if (versionBits == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 ||
        rateIndex == 3)
        return std::nullopt;
    FrameHeader h;
    h.version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 25;
    h.layer = 4 - layerBits;
    h.sampleRate = kSampleRates[rateIndex] / (h.version == 1 ? 1 : h.version == 2 ? 2 : 4);
    const int table = h.version == 1 ? h.layer - 1 : h.layer == 1 ? 3 : 4;
    const long bitsPerSecond = kBitrates[table][bitrateIndex - 1] * 1000L;
    if (h.layer == 1) {
        h.samples = 384;
        h.bytes = static_cast<std::size_t>((12 * bitsPerSecond / h.sampleRate + padding) * 4);
    } else {
        h.samples = h.layer == 3 && h.version != 1 ? 576 : 1152;
        h.bytes = static_cast<std::size_t>(h.samples / 8 * bitsPerSecond / h.sampleRate + padding);
    }
    return h;
}

bool sameStream(const FrameHeader& a, const FrameHeader& b)
{
    return a.version == b.version && a.layer == b.layer && a.sampleRate == b.sampleRate;
}

// The first frame's side information is followed by "Xing" or "Info" (LAME), or by "VBRI"
// 32 bytes in (Fraunhofer).
bool isInfoFrame(const std::vector<unsigned char>& data, std::size_t at, const FrameHeader& h)
{
    const bool mono = ((data[at + 3] >> 6) & 3) == 3;
    const std::size_t side = h.version == 1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    const auto holds = [&](std::size_t offset, const char* tag) {
        return at + offset + 4 <= data.size() && std::memcmp(&data[at + offset], tag, 4) == 0;
    };
    return holds(4 + side, "Xing") || holds(4 + side, "Info") || holds(36, "VBRI");
}

} // namespace

std::optional<long long> mp3FramesLengthMs(const std::string& path, const std::atomic<bool>* cancel)
{
    // A FIFO or a device would hold the open() or never end.
    struct stat st
    {
    };
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    const std::vector<unsigned char> data{std::istreambuf_iterator<char>(in),
                                          std::istreambuf_iterator<char>()};
    if (in.bad()) return std::nullopt;
    std::size_t at = 0;
    // ID3v2 tags, one after another: a ten-byte header (and footer) and a syncsafe size.
    while (at + 10 <= data.size() && std::memcmp(&data[at], "ID3", 3) == 0) {
        const std::size_t size = (std::size_t{data[at + 6]} & 0x7F) << 21 |
                                 (std::size_t{data[at + 7]} & 0x7F) << 14 |
                                 (std::size_t{data[at + 8]} & 0x7F) << 7 | (data[at + 9] & 0x7F);
        at += 10 + size + ((data[at + 5] & 0x10) ? 10 : 0);
    }
    // A frame counts where the next one follows it: two in a row are no chance match.
    const auto frameAt = [&](std::size_t pos,
                             const FrameHeader* like) -> std::optional<FrameHeader> {
        if (pos + 4 > data.size()) return std::nullopt;
        const auto h = parseHeader(&data[pos]);
        if (!h || (like && !sameStream(*h, *like)) || pos + h->bytes > data.size())
            return std::nullopt;
        if (pos + h->bytes + 4 > data.size()) return h; // the last frame
        const auto next = parseHeader(&data[pos + h->bytes]);
        return next && sameStream(*h, *next) ? h : std::nullopt;
    };
    std::optional<FrameHeader> first;
    // The first frame is looked for close after the tags; a file of other bytes is no MP3.
    for (const std::size_t end = std::min(data.size(), at + 65536); at < end && !first; ++at)
        first = frameAt(at, nullptr);
    if (!first) return std::nullopt;
    --at;
    long long samples = 0;
    if (isInfoFrame(data, at, *first)) at += first->bytes;
    for (std::size_t count = 0; at + 4 <= data.size(); ++count) {
        if ((count & 0xFFF) == 0 && cancel && cancel->load()) return std::nullopt;
        if (const auto h = frameAt(at, &*first)) {
            samples += h->samples;
            at += h->bytes;
        } else {
            ++at; // a broken frame or bytes between frames: on to the next sync
        }
    }
    return samples * 1000 / first->sampleRate;
}

} // namespace larkspur
