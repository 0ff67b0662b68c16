#include "dictionary/DictdFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace larkspur {

DictdFile::~DictdFile()
{
    if (m_fd >= 0) ::close(m_fd);
}

bool DictdFile::open(const std::filesystem::path& path, std::string& why)
{
    why.clear();
    const std::string cannot = "Cannot use the dictionary file \"" + path.string() + "\": ";
    // Non-blocking, so a pipe with no writer opens at once and is refused below.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT) why = cannot + std::strerror(errno) + ".";
        return false;
    }
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0) {
        why = cannot + std::strerror(errno) + ".";
    } else if (S_ISDIR(st.st_mode)) {
        why = cannot + "it is a folder.";
    } else if (!S_ISREG(st.st_mode)) {
        why = cannot + "it is not a regular file.";
    }
    if (!why.empty()) {
        ::close(fd);
        return false;
    }
    if (m_fd >= 0) ::close(m_fd);
    m_fd = fd;
    m_size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

std::string DictdFile::readAt(std::uint64_t off, std::size_t len) const
{
    std::string buf(len, '\0');
    std::size_t got = 0;
    while (got < len) {
        const ssize_t n = ::pread(m_fd, buf.data() + got, len - got, static_cast<off_t>(off + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    buf.resize(got);
    return buf;
}

} // namespace larkspur
