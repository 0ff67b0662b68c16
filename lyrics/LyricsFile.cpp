#include "lyrics/LyricsFile.h"

#include "files/ReplaceFile.h"
#include "web/HtmlCharset.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace larkspur {

namespace {

std::string reason(const std::string& what, const std::string& path)
{
    return what + " \"" + path + "\": " + std::strerror(errno);
}

// The bytes less a UTF-8 sequence begun at their end and not finished.
std::string_view withoutSplitCharacter(std::string_view bytes)
{
    for (std::size_t back = 1; back <= 4 && back <= bytes.size(); ++back) {
        const auto c = static_cast<unsigned char>(bytes[bytes.size() - back]);
        if ((c & 0xC0) == 0x80) continue; // a continuation byte: look further back
        const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        return length > back ? bytes.substr(0, bytes.size() - back) : bytes;
    }
    return bytes;
}

} // namespace

std::string withCrLf(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            out += "\r\n";
            // CR LF and LF CR are one break each.
            if (i + 1 < text.size() && (text[i + 1] == '\r' || text[i + 1] == '\n') &&
                text[i + 1] != c)
                ++i;
        } else {
            out += c;
        }
    }
    return out;
}

std::optional<std::string> readLyricsFile(const std::string& path)
{
    auto whole = readLyricsFile(path, std::string::npos);
    if (!whole) return std::nullopt;
    return std::move(whole->text);
}

std::optional<LyricsFileStart> readLyricsFile(const std::string& path, std::size_t maxBytes)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
        throw LyricsFileError(reason("Cannot read the lyrics file", path));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw LyricsFileError("Cannot read the lyrics file \"" + path + "\": not a regular file");
    }
    std::string bytes;
    char buf[65536];
    // One byte past the bound tells a file that goes on from one that ends there.
    const std::size_t wanted = maxBytes == std::string::npos ? maxBytes : maxBytes + 1;
    while (bytes.size() < wanted) {
        const ssize_t n = ::read(fd, buf, std::min(sizeof buf, wanted - bytes.size()));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const std::string why = reason("Cannot read the lyrics file", path);
            ::close(fd);
            throw LyricsFileError(why);
        }
        if (n == 0) break;
        bytes.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    LyricsFileStart start;
    start.cut = bytes.size() > maxBytes;
    if (start.cut) {
        bytes.resize(maxBytes);
        if (const auto kept = withoutSplitCharacter(bytes); isValidUtf8(kept))
            bytes.resize(kept.size());
    }
    if (!isValidUtf8(bytes)) bytes = decodeToUtf8(bytes, "windows-1252");
    start.text = withCrLf(bytes);
    return start;
}

void writeLyricsFile(const std::string& path, std::string_view text)
{
    ReplaceOptions options;
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0) {
        options.setMode = true;
        options.mode = old.st_mode;
    }
    std::string error;
    if (replaceFile(path, text, options, error) != Replaced::Done)
        throw LyricsFileError("Cannot save the lyrics to \"" + path + "\": " + error);
}

} // namespace larkspur
