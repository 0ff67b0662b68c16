// Preloaded into a test process: records each fsync (of a file or a folder) and each rename,
// in order, to the file named by LARKSPUR_FSYNC_PROBE_LOG.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <sys/stat.h>

namespace {

void note(const char* what)
{
    const char* log = std::getenv("LARKSPUR_FSYNC_PROBE_LOG");
    if (!log) return;
    if (FILE* f = std::fopen(log, "a")) {
        std::fprintf(f, "%s\n", what);
        std::fclose(f);
    }
}

} // namespace

extern "C" int fsync(int fd)
{
    using Fn = int (*)(int);
    static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "fsync"));
    struct stat st {};
    note(fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) ? "fsync folder" : "fsync file");
    return real(fd);
}

extern "C" int rename(const char* from, const char* to)
{
    using Fn = int (*)(const char*, const char*);
    static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "rename"));
    note(("rename " + std::string(std::strrchr(to, '/') ? std::strrchr(to, '/') + 1 : to)).c_str());
    return real(from, to);
}
