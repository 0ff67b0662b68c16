// Preloaded into the save probe: stops the process at a chosen instant of a write to one
// file, so that a test can kill it exactly there. LARKSPUR_STOP_FILE names the file and
// LARKSPUR_STOP_AT the instant: "write" after half of a large write, "ftruncate" just before
// the file is cut to its new length. "X" on standard output tells the test it is stopped.
// A name ending in "*" stands for every file whose name starts with the rest.

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

bool isStopFile(int fd, const char* at)
{
    const char* file = std::getenv("LARKSPUR_STOP_FILE");
    const char* when = std::getenv("LARKSPUR_STOP_AT");
    if (!file || !when || std::strcmp(when, at) != 0) return false;
    char name[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(link.c_str(), name, sizeof name - 1);
    const std::string opened(name, n > 0 ? static_cast<std::size_t>(n) : 0), wanted = file;
    if (wanted.ends_with('*'))
        return n > 0 && opened.starts_with(wanted.substr(0, wanted.size() - 1));
    return n > 0 && opened == wanted;
}

void stopHere()
{
    ::syscall(SYS_write, 1, "X\n", 2);
    ::raise(SIGSTOP);
}

} // namespace

extern "C" ssize_t write(int fd, const void* data, size_t size)
{
    if (size > 65536 && isStopFile(fd, "write")) {
        const ssize_t half = ::syscall(SYS_write, fd, data, size / 2);
        stopHere();
        return half;
    }
    return ::syscall(SYS_write, fd, data, size);
}

extern "C" int ftruncate(int fd, off_t length)
{
    using Fn = int (*)(int, off_t);
    static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "ftruncate"));
    if (isStopFile(fd, "ftruncate")) stopHere();
    return real(fd, length);
}
