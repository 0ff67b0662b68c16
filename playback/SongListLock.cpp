#include "playback/SongListLock.h"

#include "files/ReplaceFile.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace larkspur {

namespace {

// The same list reached by another name must find the same lock.
std::string canonical(const std::string& path)
{
    if (char* real = ::realpath(path.c_str(), nullptr)) {
        std::string r = real;
        ::free(real);
        return r;
    }
    if (!path.empty() && path[0] == '/') return path;
    char cwd[4096];
    return ::getcwd(cwd, sizeof cwd) ? std::string(cwd) + "/" + path : path;
}

std::string privateRuntimeFolder(const std::string& given)
{
    if (!given.empty()) return given;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime == '/') return std::string(runtime) + "/larkspur";
    return "/tmp/larkspur-" + std::to_string(::geteuid());
}

} // namespace

SongListLock::Result SongListLock::lockAt(const std::string& path)
{
    // A holder that ends removes the file; a lock taken on a file already removed would
    // lock nothing, so check the name still leads to the locked file.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) return Result::Unavailable;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const bool held = errno == EWOULDBLOCK;
            ::close(fd);
            return held ? Result::HeldElsewhere : Result::Unavailable;
        }
        struct stat mine {}, named {};
        if (::fstat(fd, &mine) == 0 && ::stat(path.c_str(), &named) == 0 &&
            mine.st_dev == named.st_dev && mine.st_ino == named.st_ino) {
            const std::string pid = std::to_string(::getpid()) + "\n";
            if (::ftruncate(fd, 0) == 0 && ::write(fd, pid.data(), pid.size()) < 0) {
                // the pid is only a hint for a person looking at the file
            }
            m_fd = fd;
            m_path = path;
            return Result::Taken;
        }
        ::close(fd);
    }
    return Result::Unavailable;
}

SongListLock::Result SongListLock::acquire(const std::string& listFile,
                                           const std::string& runtimeFolder)
{
    release();
    const std::string list = canonical(listFile);
    Result r = lockAt(besideFile(list, ".lock"));
    if (r != Result::Unavailable) return r;
    const std::string folder = privateRuntimeFolder(runtimeFolder);
    ::mkdir(folder.c_str(), 0700);
    return lockAt(folder + "/" + nameHash(list) + ".lock");
}

void SongListLock::release()
{
    if (m_fd < 0) return;
    ::unlink(m_path.c_str());
    ::close(m_fd);
    m_fd = -1;
    m_path.clear();
}

} // namespace larkspur
