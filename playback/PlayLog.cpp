#include "playback/PlayLog.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace larkspur {

void PlayLog::append(const std::string& line) const
{
    int fd = ::open(m_fileName.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0 && errno == EACCES) // a log we may only write to: appended without the check
        fd = ::open(m_fileName.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0)
        throw PlayLogError("Cannot open play log " + m_fileName + ": " + std::strerror(errno));
    // A crash (or a full disk) may have cut the last line short: start on a line of our own,
    // so that two records never run together.
    std::string data;
    struct stat st {};
    char last = '\n';
    if (::fstat(fd, &st) == 0 && st.st_size > 0 && ::pread(fd, &last, 1, st.st_size - 1) != 1)
        last = '\n';
    if (last != '\n') data = "\r\n";
    // One write call, so a line is never split by another writer.
    data += line;
    data += "\r\n";
    const char* p = data.data();
    std::size_t left = data.size();
    int err = 0;
    while (left > 0) {
        const ssize_t w = ::write(fd, p, left);
        if (w < 0) {
            if (errno == EINTR) continue;
            err = errno;
            break;
        }
        p += w;
        left -= static_cast<std::size_t>(w);
    }
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err != 0)
        throw PlayLogError("Cannot write play log " + m_fileName + ": " + std::strerror(err));
}

} // namespace larkspur
