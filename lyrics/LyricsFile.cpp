#include "lyrics/LyricsFile.h"

#include "files/ReplaceFile.h"
#include "web/HtmlCharset.h"

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
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
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
    if (!isValidUtf8(bytes)) bytes = decodeToUtf8(bytes, "windows-1252");
    return withCrLf(bytes);
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
