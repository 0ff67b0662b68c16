#include "lyrics/TagBounds.h"

#include "lyrics/SourceLimits.h"
#include "web/FetchLimits.h"

#include <cstdint>
#include <fstream>
#include <vector>
#include <zlib.h>

namespace larkspur {

namespace {

constexpr std::size_t kHeaderBytes = 10;
constexpr std::size_t kAudioBytes = 64 * 1024;

std::uint32_t byteAt(std::string_view s, std::size_t i)
{
    return static_cast<unsigned char>(s[i]);
}

std::uint32_t plain32(std::string_view s, std::size_t at)
{
    return byteAt(s, at) << 24 | byteAt(s, at + 1) << 16 | byteAt(s, at + 2) << 8 |
           byteAt(s, at + 3);
}

// Seven bits a byte; a number with a high bit set was written plain by some taggers, and
// TagLib reads it so.
std::uint32_t syncsafe32(std::string_view s, std::size_t at)
{
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        if (byteAt(s, at + i) & 0x80) return plain32(s, at);
        sum = sum << 7 | byteAt(s, at + i);
    }
    return sum;
}

// FF 00 back to FF.
std::string withoutUnsync(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        out += s[i];
        if (byteAt(s, i) == 0xFF && i + 1 < s.size() && s[i + 1] == '\0') ++i;
    }
    return out;
}

// What zlib makes of `in`, counted up to just past `limit`.
std::size_t inflatedSize(std::string_view in, std::size_t limit)
{
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return 0;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    std::vector<unsigned char> out(64 * 1024);
    std::size_t total = 0;
    for (;;) {
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        const int status = inflate(&z, Z_NO_FLUSH);
        total += out.size() - z.avail_out;
        if (status != Z_OK || total > limit) break;
    }
    inflateEnd(&z);
    return total;
}

bool isFrameIdChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

std::string frameRefusal(std::string_view body, unsigned version, bool tagUnsync)
{
    const std::size_t idBytes = version < 3 ? 3 : 4;
    const std::size_t headerBytes = version < 3 ? 6 : 10;
    std::size_t pos = 0;
    std::size_t frames = 0;
    std::size_t inflated = 0;
    while (pos + headerBytes <= body.size() && body[pos] != '\0') {
        const std::string_view id = body.substr(pos, idBytes);
        for (char c : id)
            if (!isFrameIdChar(c)) return {}; // TagLib stops here too
        std::size_t size = version < 3   ? plain32(body, pos + 2) & 0xFFFFFF
                           : version < 4 ? plain32(body, pos + 4)
                                         : syncsafe32(body, pos + 4);
        if (size == 0 || size > body.size() - pos - headerBytes) return {};
        if (++frames > kTagMaxFrames)
            return "it holds more than " + std::to_string(kTagMaxFrames) + " frames";
        const unsigned flags = version < 3 ? 0 : byteAt(body, pos + 9);
        const bool compressed = version == 3 ? flags & 0x80 : version > 3 && (flags & 0x08);
        const bool encrypted = version == 3 ? flags & 0x40 : version > 3 && (flags & 0x04);
        if (compressed && size > 4) {
            // TagLib inflates from behind the claimed size to the end of what it holds.
            std::string decoded;
            std::string_view data = body.substr(pos + headerBytes);
            if (version > 3 && (tagUnsync || (flags & 0x02))) {
                decoded = withoutUnsync(data.substr(0, size));
                data = decoded;
            }
            const std::size_t claimed = version < 4 ? plain32(data, 0) : syncsafe32(data, 0);
            const std::string name(id);
            if (claimed > kTagFrameMaxBytes)
                return "its frame " + name + " claims " + limitText(claimed) + " inflated";
            if (!encrypted) {
                const std::size_t room = std::min(kTagFrameMaxBytes, kTagMaxBytes - inflated);
                const std::size_t got = inflatedSize(data.substr(4), room);
                if (got > room)
                    return "its frame " + name + " inflates to more than " + limitText(room);
                inflated += got;
            }
        }
        pos += headerBytes + size;
    }
    return {};
}

} // namespace

std::string tagRefusal(std::string_view tag)
{
    if (tag.size() < kHeaderBytes) return {};
    const unsigned version = byteAt(tag, 3);
    const unsigned flags = byteAt(tag, 5);
    const std::size_t size = syncsafe32(tag, 6);
    if (size > kTagMaxBytes) return "it takes " + limitText(size);
    std::string_view body = tag.substr(kHeaderBytes, size);
    std::string decoded;
    if ((flags & 0x80) && version <= 3) {
        decoded = withoutUnsync(body);
        body = decoded;
    }
    if ((flags & 0x40) && body.size() >= 4) {
        const std::size_t extended = syncsafe32(body, 0);
        if (extended <= body.size()) body.remove_prefix(extended);
    }
    return frameRefusal(body, version, flags & 0x80);
}

BoundedTag readBoundedTag(const std::string& songPath)
{
    BoundedTag result;
    std::ifstream in(songPath, std::ios::binary);
    char header[kHeaderBytes];
    if (!in.read(header, sizeof header)) return result;
    const std::string_view head(header, sizeof header);
    if (head.substr(0, 3) != "ID3" || byteAt(head, 3) < 2 || byteAt(head, 3) > 4) return result;
    for (std::size_t i = 6; i < kHeaderBytes; ++i)
        if (byteAt(head, i) & 0x80) return result; // not a tag header after all
    const std::size_t size = syncsafe32(head, 6);
    if (size > kTagMaxBytes) {
        result.outcome = BoundedTag::Outcome::Refused;
        result.why = "it takes " + limitText(size);
        return result;
    }
    const bool footer = byteAt(head, 3) == 4 && (byteAt(head, 5) & 0x10);
    result.bytes.assign(head);
    result.bytes.resize(kHeaderBytes + size + (footer ? kHeaderBytes : 0) + kAudioBytes);
    in.read(result.bytes.data() + kHeaderBytes,
            static_cast<std::streamsize>(result.bytes.size() - kHeaderBytes));
    result.bytes.resize(kHeaderBytes + static_cast<std::size_t>(in.gcount()));
    if (in.bad()) {
        result.bytes.clear();
        return result;
    }
    result.why = tagRefusal(result.bytes);
    if (!result.why.empty()) {
        result.outcome = BoundedTag::Outcome::Refused;
        result.bytes.clear();
        return result;
    }
    result.outcome = BoundedTag::Outcome::Read;
    return result;
}

} // namespace larkspur
