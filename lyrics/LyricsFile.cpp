#include "lyrics/LyricsFile.h"

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
    const std::string tmp = path + ".saving";
    ::unlink(tmp.c_str());
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) throw LyricsFileError(reason("Cannot save the lyrics to", path));
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0) ::fchmod(fd, old.st_mode & 07777);
    bool ok = true;
    for (std::size_t done = 0; ok && done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<std::size_t>(n);
    }
    ok = ok && ::fsync(fd) == 0;
    std::string why = ok ? std::string() : reason("Cannot save the lyrics to", path);
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(tmp.c_str(), path.c_str()) != 0) {
        ok = false;
        why = reason("Cannot save the lyrics to", path);
    }
    if (!ok) {
        ::unlink(tmp.c_str());
        throw LyricsFileError(why.empty() ? reason("Cannot save the lyrics to", path) : why);
    }
}

} // namespace larkspur
