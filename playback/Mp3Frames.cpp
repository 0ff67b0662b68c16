#include "playback/Mp3Frames.h"

#include <algorithm>
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
// 32 bytes in (Fraunhofer). `frame` holds the whole frame.
bool isInfoFrame(const unsigned char* frame, const FrameHeader& h)
{
    const bool mono = ((frame[3] >> 6) & 3) == 3;
    const std::size_t side = h.version == 1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    const auto holds = [&](std::size_t offset, const char* tag) {
        return offset + 4 <= h.bytes && std::memcmp(frame + offset, tag, 4) == 0;
    };
    return holds(4 + side, "Xing") || holds(4 + side, "Info") || holds(36, "VBRI");
}

// The file a block at a time, so a long song is never held whole.
class Blocks
{
  public:
    Blocks(const std::string& path, std::uint64_t size) : m_in(path, std::ios::binary), m_size(size)
    {}
    bool open() const { return m_in.is_open(); }
    std::uint64_t size() const { return m_size; }
    // The `n` bytes at `pos`; nothing past the file's end (or what could be read of it).
    const unsigned char* at(std::uint64_t pos, std::size_t n)
    {
        if (pos + n > m_size) return nullptr;
        if (pos < m_base || pos + n > m_base + m_block.size()) {
            m_block.resize(std::max<std::size_t>(n, kBlockBytes));
            m_in.clear();
            m_in.seekg(static_cast<std::streamoff>(pos));
            m_in.read(reinterpret_cast<char*>(m_block.data()),
                      static_cast<std::streamsize>(m_block.size()));
            m_block.resize(m_in.gcount() > 0 ? static_cast<std::size_t>(m_in.gcount()) : 0);
            m_base = pos;
            if (m_block.size() < n) return nullptr;
        }
        return &m_block[pos - m_base];
    }

  private:
    static constexpr std::size_t kBlockBytes = 1 << 20;
    std::ifstream m_in;
    std::uint64_t m_size;
    std::uint64_t m_base = 0;
    std::vector<unsigned char> m_block;
};

} // namespace

std::optional<long long> mp3FramesLengthMs(const std::string& path, const std::atomic<bool>* cancel)
{
    // A FIFO or a device would hold the open() or never end.
    struct stat st
    {
    };
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    Blocks data(path, static_cast<std::uint64_t>(st.st_size));
    if (!data.open()) return std::nullopt;
    std::uint64_t at = 0;
    // ID3v2 tags, one after another: a ten-byte header (and footer) and a syncsafe size.
    for (const unsigned char* tag; (tag = data.at(at, 10)) && std::memcmp(tag, "ID3", 3) == 0;) {
        const std::uint64_t size = (std::uint64_t{tag[6]} & 0x7F) << 21 |
                                   (std::uint64_t{tag[7]} & 0x7F) << 14 |
                                   (std::uint64_t{tag[8]} & 0x7F) << 7 | (tag[9] & 0x7F);
        at += 10 + size + ((tag[5] & 0x10) ? 10 : 0);
    }
    // A frame counts where the next one follows it: two in a row are no chance match.
    const auto frameAt = [&](std::uint64_t pos,
                             const FrameHeader* like) -> std::optional<FrameHeader> {
        const unsigned char* b = data.at(pos, 4);
        const auto h = b ? parseHeader(b) : std::nullopt;
        if (!h || (like && !sameStream(*h, *like)) || pos + h->bytes > data.size())
            return std::nullopt;
        if (pos + h->bytes + 4 > data.size())
            return data.at(pos, h->bytes) ? h : std::nullopt; // the last
        b = data.at(pos, h->bytes + 4);
        const auto next = b ? parseHeader(b + h->bytes) : std::nullopt;
        return next && sameStream(*h, *next) ? h : std::nullopt;
    };
    std::optional<FrameHeader> first;
    // The first frame is looked for close after the tags; a file of other bytes is no MP3.
    for (const std::uint64_t end = std::min(data.size(), at + 65536); at < end && !first; ++at)
        first = frameAt(at, nullptr);
    if (!first) return std::nullopt;
    --at;
    long long samples = 0;
    if (const unsigned char* frame = data.at(at, first->bytes); frame && isInfoFrame(frame, *first))
        at += first->bytes;
    for (std::size_t count = 0; at + 4 <= data.size(); ++count) {
        if ((count & 0xFFF) == 0 && cancel && cancel->load()) return std::nullopt;
        if (!data.at(at, 4)) break; // the file shrank since: what was counted stands
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
