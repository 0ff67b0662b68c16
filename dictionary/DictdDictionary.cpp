#include "dictionary/DictdDictionary.h"
#include "web/HtmlCharset.h"

#include <zlib.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <utility>

namespace larkspur {

namespace {

// Limits against a corrupt index asking for absurd allocations.
constexpr std::uint64_t kMaxEntry = 16u << 20;
constexpr std::uint64_t kMaxWholeData = 512u << 20;
constexpr std::size_t kMaxLine = 64u << 10;

struct Fd
{
    int fd = -1;
    Fd() = default;
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd()
    {
        if (fd >= 0) ::close(fd);
    }
};

bool openFile(const std::filesystem::path& path, Fd& out, std::uint64_t& size)
{
    out.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (out.fd < 0) return false;
    struct stat st
    {
    };
    if (::fstat(out.fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

// Reads up to `len` bytes at `off`; fewer only at the end of the file or on an error.
std::string readAt(int fd, std::uint64_t off, std::size_t len)
{
    std::string buf(len, '\0');
    std::size_t got = 0;
    while (got < len) {
        const ssize_t n = ::pread(fd, buf.data() + got, len - got, static_cast<off_t>(off + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    buf.resize(got);
    return buf;
}

// dictd writes numbers in base 64, most significant digit first.
std::optional<std::uint64_t> decodeBase64(std::string_view s)
{
    if (s.empty() || s.size() > 10) return std::nullopt;
    std::uint64_t v = 0;
    for (char c : s) {
        int d;
        if (c >= 'A' && c <= 'Z')
            d = c - 'A';
        else if (c >= 'a' && c <= 'z')
            d = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            d = c - '0' + 52;
        else if (c == '+')
            d = 62;
        else if (c == '/')
            d = 63;
        else
            return std::nullopt;
        v = v * 64 + static_cast<std::uint64_t>(d);
    }
    return v;
}

char32_t lowerCodePoint(char32_t c)
{
    if (c >= 'A' && c <= 'Z') return c + 32;
    if (c < 0x80) return c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return c | 1;
    if (((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) && (c & 1)) return c + 1;
    if (c == 0x178) return 0xFF;
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 32;
    if (c >= 0x410 && c <= 0x42F) return c + 32;
    if (c >= 0x400 && c <= 0x40F) return c + 80;
    return c;
}

// Whether dictfmt keeps the character in a key when punctuation is ignored.
bool keptInKey(char32_t c)
{
    if (c < 0x80) return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ';
    if (c < 0xC0) return c == 0xAA || c == 0xB5 || c == 0xBA;
    if (c == 0xD7 || c == 0xF7) return false;
    if (c >= 0x2000 && c <= 0x2BFF) return false; // punctuation, symbols, arrows
    if (c >= 0x3000 && c <= 0x303F) return false;
    return true;
}


// One UTF-8 sequence at `i`; an invalid byte comes back as itself with `valid` false.
char32_t decodeAt(std::string_view s, std::size_t& i, bool& valid)
{
    const auto b = static_cast<unsigned char>(s[i]);
    const std::size_t extra = b >= 0xF0 && b < 0xF8 ? 3 : b >= 0xE0 ? 2 : b >= 0xC2 ? 1 : 0;
    valid = b < 0x80;
    if (extra == 0 || i + extra >= s.size()) {
        ++i;
        return b;
    }
    char32_t c = b & (0x3F >> extra);
    for (std::size_t k = 1; k <= extra; ++k) {
        const auto t = static_cast<unsigned char>(s[i + k]);
        if ((t & 0xC0) != 0x80) {
            ++i;
            return b;
        }
        c = (c << 6) | (t & 0x3F);
    }
    valid = true;
    i += extra + 1;
    return c;
}

} // namespace

std::string dictdKey(std::string_view word, bool allChars)
{
    std::string out;
    out.reserve(word.size());
    for (std::size_t i = 0; i < word.size();) {
        bool valid = true;
        char32_t c = decodeAt(word, i, valid);
        if (!valid) {
            // Stray bytes are kept so that different inputs keep different keys.
            out += static_cast<char>(c);
            continue;
        }
        c = lowerCodePoint(c);
        if (!allChars && (c == '\t' || c == '\n' || c == '\r')) c = ' ';
        if (allChars || keptInKey(c)) appendUtf8(out, c);
    }
    return out;
}

struct DictdDictionary::State
{
    enum class Data { DictZip, Inflated, Plain };

    Fd index;
    std::uint64_t indexSize = 0;
    bool allChars = false;

    Fd data;
    std::uint64_t dataSize = 0;
    Data kind = Data::Plain;
    std::uint64_t chunkLength = 0;
    std::vector<std::uint64_t> chunkStarts; // file offsets; one more than there are chunks
    std::string inflated;                   // a plain gzip, inflated whole

    struct Line
    {
        std::uint64_t start = 0;
        std::uint64_t next = 0;
        std::string text;
        bool atEnd = true; // no line starts at or after the position asked for
    };

    // The first line starting at or after `pos`, read in blocks from `pos - 1`.
    Line lineFrom(std::uint64_t pos) const
    {
        Line line;
        std::string buf;
        const std::uint64_t bufStart = pos > 0 ? pos - 1 : 0;
        const auto more = [&] {
            const std::string block = readAt(index.fd, bufStart + buf.size(), 512);
            buf += block;
            return !block.empty();
        };
        std::size_t lineStart = 0;
        if (pos > 0) {
            std::size_t nl;
            while ((nl = buf.find('\n')) == std::string::npos)
                if (buf.size() > kMaxLine || !more()) return line;
            lineStart = nl + 1;
        }
        std::size_t end;
        while ((end = buf.find('\n', lineStart)) == std::string::npos) {
            if (buf.size() - lineStart > kMaxLine || !more()) {
                end = buf.size();
                break;
            }
        }
        if (lineStart >= buf.size()) return line;
        line.start = bufStart + lineStart;
        line.text = buf.substr(lineStart, end - lineStart);
        line.next = bufStart + std::min(end + 1, buf.size());
        line.atEnd = false;
        return line;
    }

    std::string keyOf(const std::string& line) const
    {
        return dictdKey(std::string_view(line).substr(0, line.find('\t')), allChars);
    }

    // Start of the first line whose key is not less than `key`, or the index size.
    std::uint64_t lowerBound(const std::string& key) const
    {
        std::uint64_t lo = 0, hi = indexSize;
        while (lo < hi) {
            const std::uint64_t mid = lo + (hi - lo) / 2;
            const Line line = lineFrom(mid);
            if (line.atEnd || keyOf(line.text) >= key)
                hi = mid;
            else
                lo = mid + 1;
        }
        const Line line = lineFrom(lo);
        return line.atEnd ? indexSize : line.start;
    }

    bool hasHeadword(std::string_view raw) const
    {
        const std::string key = dictdKey(raw, allChars);
        const Line line = lineFrom(lowerBound(key));
        return !line.atEnd && keyOf(line.text) == key;
    }

    std::optional<std::string> inflateChunk(std::size_t chunk) const
    {
        const std::uint64_t begin = chunkStarts[chunk];
        const std::uint64_t size = chunkStarts[chunk + 1] - begin;
        std::string in = readAt(data.fd, begin, size);
        if (in.size() != size) return std::nullopt;
        std::string out(chunkLength, '\0');
        z_stream z{};
        if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return std::nullopt;
        z.next_in = reinterpret_cast<Bytef*>(in.data());
        z.avail_in = static_cast<uInt>(in.size());
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = static_cast<uInt>(out.size());
        const int rc = inflate(&z, Z_SYNC_FLUSH);
        const std::size_t produced = out.size() - z.avail_out;
        inflateEnd(&z);
        if (rc != Z_OK && rc != Z_STREAM_END) return std::nullopt;
        out.resize(produced);
        return out;
    }

    std::optional<std::string> entry(std::uint64_t off, std::uint64_t len) const
    {
        if (len > kMaxEntry) return std::nullopt;
        switch (kind) {
        case Data::Plain: {
            if (off > dataSize || len > dataSize - off) return std::nullopt;
            std::string text = readAt(data.fd, off, len);
            if (text.size() != len) return std::nullopt;
            return text;
        }
        case Data::Inflated:
            if (off > inflated.size() || len > inflated.size() - off) return std::nullopt;
            return inflated.substr(off, len);
        case Data::DictZip:
            break;
        }
        if (len == 0) return std::string();
        const std::uint64_t first = off / chunkLength;
        const std::uint64_t last = (off + len - 1) / chunkLength;
        if (last + 1 >= chunkStarts.size()) return std::nullopt;
        std::string text;
        text.reserve(len);
        for (std::uint64_t c = first; c <= last; ++c) {
            const auto chunk = inflateChunk(c);
            if (!chunk) return std::nullopt;
            const std::uint64_t from = c == first ? off % chunkLength : 0;
            const std::uint64_t want =
                std::min<std::uint64_t>(len - text.size(), chunkLength - from);
            if (from + want > chunk->size()) return std::nullopt;
            text.append(*chunk, from, want);
        }
        return text;
    }

    // Reads the gzip header; a dictzip "RA" field gives the chunks. Without it the whole
    // stream is inflated once.
    bool readDataHeader()
    {
        const std::string head = readAt(data.fd, 0, 12 + 65535 + 4096);
        const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(head[i]); };
        if (head.size() < 18 || byte(0) != 0x1F || byte(1) != 0x8B) {
            kind = Data::Plain;
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
                    chunkLength = byte(body + 2) | (byte(body + 3) << 8);
                    const std::size_t count = byte(body + 4) | (byte(body + 5) << 8);
                    if (chunkLength == 0 || 6 + 2 * count > fieldLen) return false;
                    chunkStarts.assign(count + 1, 0);
                    for (std::size_t i = 0; i < count; ++i)
                        chunkStarts[i + 1] = chunkStarts[i] + (byte(body + 6 + 2 * i) |
                                                               (byte(body + 7 + 2 * i) << 8));
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
        if (dictzip) {
            for (auto& s : chunkStarts)
                s += pos;
            kind = Data::DictZip;
            return true;
        }
        return inflateWhole();
    }

    bool inflateWhole()
    {
        if (dataSize > kMaxWholeData) return false;
        std::string in = readAt(data.fd, 0, dataSize);
        z_stream z{};
        if (inflateInit2(&z, MAX_WBITS + 16) != Z_OK) return false;
        z.next_in = reinterpret_cast<Bytef*>(in.data());
        z.avail_in = static_cast<uInt>(in.size());
        int rc = Z_OK;
        char buf[1 << 16];
        while (rc == Z_OK) {
            z.next_out = reinterpret_cast<Bytef*>(buf);
            z.avail_out = sizeof buf;
            rc = inflate(&z, Z_NO_FLUSH);
            inflated.append(buf, sizeof buf - z.avail_out);
            if (inflated.size() > 4 * kMaxWholeData) rc = Z_MEM_ERROR;
            if (rc == Z_BUF_ERROR && z.avail_in == 0) break;
        }
        inflateEnd(&z);
        kind = Data::Inflated;
        // A truncated stream still gives the entries before the cut.
        return rc == Z_STREAM_END || rc == Z_BUF_ERROR;
    }
};

std::optional<DictdDictionary> DictdDictionary::open(const std::filesystem::path& basePath)
{
    try {
        auto state = std::make_shared<State>();
        std::filesystem::path indexPath = basePath;
        indexPath += ".index";
        if (!openFile(indexPath, state->index, state->indexSize)) return std::nullopt;
        std::filesystem::path dataPath = basePath;
        dataPath += ".dict.dz";
        if (!openFile(dataPath, state->data, state->dataSize)) {
            if (state->data.fd >= 0) ::close(std::exchange(state->data.fd, -1));
            dataPath = basePath;
            dataPath += ".dict";
            if (!openFile(dataPath, state->data, state->dataSize)) return std::nullopt;
        }
        if (!state->readDataHeader()) return std::nullopt;
        // dictfmt --allchars keeps the header's headwords whole, punctuation included.
        state->allChars = true;
        state->allChars = state->hasHeadword("00-database-allchars");
        return DictdDictionary(std::move(state));
    } catch (...) {
        return std::nullopt;
    }
}

std::vector<std::string> DictdDictionary::lookup(std::string_view word) const
{
    std::vector<std::string> found;
    try {
        const State& s = *m_state;
        const std::string key = dictdKey(word, s.allChars);
        if (key.empty()) return found;
        std::uint64_t pos = s.lowerBound(key);
        for (;;) {
            const State::Line line = s.lineFrom(pos);
            if (line.atEnd || s.keyOf(line.text) != key) break;
            pos = line.next;
            const std::string_view text = line.text;
            const auto tab1 = text.find('\t');
            const auto tab2 = text.find('\t', tab1 + 1);
            if (tab1 == std::string_view::npos || tab2 == std::string_view::npos) continue;
            const auto off = decodeBase64(text.substr(tab1 + 1, tab2 - tab1 - 1));
            const auto len =
                decodeBase64(text.substr(tab2 + 1, text.find('\t', tab2 + 1) - tab2 - 1));
            if (!off || !len) continue;
            if (auto entry = s.entry(*off, *len)) found.push_back(std::move(*entry));
        }
    } catch (...) {
        // A failed read or allocation leaves what was found so far.
    }
    return found;
}

std::optional<std::string> lookupEnglishGerman(std::string_view word,
                                               const std::filesystem::path& folder)
{
    std::string text;
    for (const char* name : {"freedict-eng-deu", "freedict-deu-eng"}) {
        const auto dictionary = DictdDictionary::open(folder / name);
        if (!dictionary) continue;
        for (std::string& entry : dictionary->lookup(word)) {
            while (!entry.empty() && (entry.back() == '\n' || entry.back() == ' '))
                entry.pop_back();
            if (entry.empty()) continue;
            if (!text.empty()) text += "\n\n";
            text += entry;
        }
    }
    if (text.empty()) return std::nullopt;
    return text;
}

} // namespace larkspur
