#include "dictionary/DictdData.h"

#include "dictionary/DictdLimits.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>

namespace larkspur {

namespace {

// What a plain gzip may be read of to give kDictdMaxInflated: deflate's stored blocks add
// five bytes to every 64 KB, and the header comes on top.
constexpr std::uint64_t kMaxGzipInput = kDictdMaxInflated + kDictdMaxInflated / 1024 + (1u << 17);

constexpr std::size_t kBlock = 1u << 16;

} // namespace

bool DictdData::open(const std::filesystem::path& path, std::string& why)
{
    m_path = path;
    if (!m_file.open(path, why)) return false;
    if (readHeader()) return true;
    why = "Cannot use the dictionary file \"" + path.string() + "\": its gzip header is broken.";
    return false;
}

// Reads the gzip header; a dictzip "RA" field gives the chunks.
bool DictdData::readHeader()
{
    const std::string head = m_file.readAt(0, 12 + 65535 + 4096);
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(head[i]); };
    if (head.size() < 18 || byte(0) != 0x1F || byte(1) != 0x8B) {
        m_kind = Kind::Plain;
        return true;
    }
    if (byte(2) != 8) return false;
    const unsigned flags = byte(3);
    std::size_t pos = 10;
    bool dictzip = false;
    if (flags & 4) {
        const std::size_t xlen = byte(10) | (byte(11) << 8);
        pos = 12;
        const std::size_t extraEnd = pos + xlen;
        if (extraEnd > head.size()) return false;
        while (pos + 4 <= extraEnd) {
            const std::size_t fieldLen = byte(pos + 2) | (byte(pos + 3) << 8);
            const std::size_t body = pos + 4;
            if (body + fieldLen > extraEnd) return false;
            if (head[pos] == 'R' && head[pos + 1] == 'A' && fieldLen >= 6) {
                m_chunkLength = byte(body + 2) | (byte(body + 3) << 8);
                const std::size_t count = byte(body + 4) | (byte(body + 5) << 8);
                if (m_chunkLength == 0 || 6 + 2 * count > fieldLen) return false;
                m_chunkStarts.assign(count + 1, 0);
                for (std::size_t i = 0; i < count; ++i)
                    m_chunkStarts[i + 1] =
                        m_chunkStarts[i] + (byte(body + 6 + 2 * i) | (byte(body + 7 + 2 * i) << 8));
                dictzip = true;
            }
            pos = body + fieldLen;
        }
        pos = extraEnd;
    }
    for (unsigned flag : {8u, 16u}) { // file name, comment
        if (!(flags & flag)) continue;
        const auto end = head.find('\0', pos);
        if (end == std::string::npos) return false;
        pos = end + 1;
    }
    if (flags & 2) pos += 2; // header CRC
    if (!dictzip) {
        // Inflated at each lookup as far as its entries need.
        m_kind = Kind::Gzip;
        return true;
    }
    for (auto& s : m_chunkStarts)
        s += pos;
    m_kind = Kind::DictZip;
    return true;
}

bool DictdData::mayHold(std::uint64_t offset, std::uint64_t length) const
{
    switch (m_kind) {
    case Kind::Plain:
        return offset <= m_file.size() && length <= m_file.size() - offset;
    case Kind::DictZip:
        return length == 0 || (offset + length - 1) / m_chunkLength + 1 < m_chunkStarts.size();
    case Kind::Gzip:
        break;
    }
    return true;
}

void DictdData::read(std::vector<Piece>& pieces) const
{
    if (m_kind == Kind::Gzip) return readGzip(pieces);
    std::size_t cachedChunk = SIZE_MAX;
    std::string cached;
    for (Piece& piece : pieces) {
        piece.outcome = Piece::Outcome::Unreadable;
        piece.text.clear();
        if (m_kind == Kind::DictZip) {
            readDictZip(piece, cachedChunk, cached);
        } else if (mayHold(piece.offset, piece.length)) {
            piece.text = m_file.readAt(piece.offset, piece.length);
            if (piece.text.size() == piece.length) piece.outcome = Piece::Outcome::Read;
        }
        if (piece.outcome != Piece::Outcome::Read) piece.text.clear();
    }
}

// Empty when the chunk cannot be read or inflated.
std::string DictdData::inflateChunk(std::size_t chunk) const
{
    const std::uint64_t begin = m_chunkStarts[chunk];
    const std::uint64_t size = m_chunkStarts[chunk + 1] - begin;
    std::string in = m_file.readAt(begin, size);
    if (in.size() != size) return {};
    std::string out(m_chunkLength, '\0');
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return {};
    z.next_in = reinterpret_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&z, Z_SYNC_FLUSH);
    const std::size_t produced = out.size() - z.avail_out;
    inflateEnd(&z);
    if (rc != Z_OK && rc != Z_STREAM_END) return {};
    out.resize(produced);
    return out;
}

void DictdData::readDictZip(Piece& piece, std::size_t& cachedChunk, std::string& cached) const
{
    if (piece.length == 0) {
        piece.outcome = Piece::Outcome::Read;
        return;
    }
    if (!mayHold(piece.offset, piece.length)) return;
    const std::uint64_t first = piece.offset / m_chunkLength;
    const std::uint64_t last = (piece.offset + piece.length - 1) / m_chunkLength;
    piece.text.reserve(piece.length);
    for (std::uint64_t c = first; c <= last; ++c) {
        // Entries of one headword often share a chunk: inflate it once.
        if (c != cachedChunk) {
            cached = inflateChunk(c);
            cachedChunk = cached.empty() ? SIZE_MAX : c;
        }
        const std::uint64_t from = c == first ? piece.offset % m_chunkLength : 0;
        const std::uint64_t want =
            std::min<std::uint64_t>(piece.length - piece.text.size(), m_chunkLength - from);
        if (from + want > cached.size()) return;
        piece.text.append(cached, from, want);
    }
    piece.outcome = Piece::Outcome::Read;
}

void DictdData::readGzip(std::vector<Piece>& pieces) const
{
    using Outcome = Piece::Outcome;
    std::uint64_t furthest = 0;
    for (Piece& piece : pieces) {
        piece.text.clear();
        if (piece.offset > kDictdMaxInflated || piece.length > kDictdMaxInflated - piece.offset) {
            piece.outcome = Outcome::PastInflateBound;
            continue;
        }
        piece.outcome = Outcome::Unreadable;
        piece.text.resize(piece.length);
        furthest = std::max(furthest, piece.offset + piece.length);
    }

    // One pass from the start, copying each block's overlap into the pieces it holds.
    std::uint64_t produced = 0, consumed = 0;
    z_stream z{};
    if (furthest > 0 && inflateInit2(&z, MAX_WBITS + 16) == Z_OK) {
        std::string in;
        char out[kBlock];
        int rc = Z_OK;
        while (produced < furthest && (rc == Z_OK || rc == Z_BUF_ERROR)) {
            if (z.avail_in == 0) {
                if (consumed >= kMaxGzipInput) break;
                in = m_file.readAt(consumed, kBlock);
                if (in.empty()) break; // cut short: the entries before the cut still stand
                consumed += in.size();
                z.next_in = reinterpret_cast<Bytef*>(in.data());
                z.avail_in = static_cast<uInt>(in.size());
            } else if (rc == Z_BUF_ERROR) {
                break;
            }
            const auto room =
                static_cast<uInt>(std::min<std::uint64_t>(kBlock, furthest - produced));
            z.next_out = reinterpret_cast<Bytef*>(out);
            z.avail_out = room;
            rc = inflate(&z, Z_NO_FLUSH);
            const std::uint64_t end = produced + (room - z.avail_out);
            for (Piece& piece : pieces) {
                if (piece.outcome == Outcome::PastInflateBound) continue;
                const std::uint64_t from = std::max(produced, piece.offset);
                const std::uint64_t to = std::min(end, piece.offset + piece.length);
                if (from < to)
                    piece.text.replace(from - piece.offset, to - from, out + (from - produced),
                                       to - from);
            }
            produced = end;
        }
        inflateEnd(&z);
    }
    for (Piece& piece : pieces) {
        if (piece.outcome == Outcome::PastInflateBound) continue;
        if (piece.offset + piece.length <= produced)
            piece.outcome = Outcome::Read;
        else
            piece.text.clear();
    }
}

} // namespace larkspur
