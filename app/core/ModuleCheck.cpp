#include "app/core/ModuleCheck.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace larkspur {

namespace {

using Ehdr = ElfW(Ehdr);
using Phdr = ElfW(Phdr);
using Shdr = ElfW(Shdr);
constexpr unsigned char kNativeClass = sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32;
constexpr std::uint64_t kPastAnyFile = UINT64_MAX;

bool readAt(int fd, void* out, std::size_t bytes, std::uint64_t offset)
{
    auto* p = static_cast<char*>(out);
    while (bytes > 0) {
        const ssize_t n = ::pread(fd, p, bytes, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        bytes -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

// Where `count` entries of `size` bytes from `offset` end; a damaged header that would wrap
// around reads as reaching past any file.
std::uint64_t rangeEnd(std::uint64_t offset, std::uint64_t count, std::uint64_t size)
{
    if (size != 0 && count > kPastAnyFile / size) return kPastAnyFile;
    const std::uint64_t bytes = count * size;
    return offset > kPastAnyFile - bytes ? kPastAnyFile : offset + bytes;
}

std::string cutShort(std::uint64_t fileBytes, std::uint64_t needed)
{
    if (needed == kPastAnyFile) return "its headers are damaged";
    return "it is cut short: it holds " + std::to_string(fileBytes) + " bytes, its headers name " +
           std::to_string(needed);
}

struct Fd
{
    int fd;
    ~Fd()
    {
        if (fd >= 0) ::close(fd);
    }
};

} // namespace

std::string moduleNotWhole(const std::string& path)
{
    const Fd file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    struct stat st {};
    if (file.fd < 0 || ::fstat(file.fd, &st) != 0) return {};
    if (!S_ISREG(st.st_mode)) return "it is no regular file"; // the loader would wait on a pipe
    const auto fileBytes = static_cast<std::uint64_t>(st.st_size);
    if (fileBytes == 0) return "it is empty";
    Ehdr eh{};
    const std::size_t head =
        static_cast<std::size_t>(std::min<std::uint64_t>(fileBytes, sizeof eh));
    if (!readAt(file.fd, &eh, head, 0)) return {};
    if (std::memcmp(eh.e_ident, ELFMAG, std::min<std::size_t>(head, SELFMAG)) != 0)
        return "it is no ELF file";
    if (head < sizeof eh) return cutShort(fileBytes, sizeof eh);
    if (eh.e_ident[EI_CLASS] != kNativeClass || eh.e_phentsize != sizeof(Phdr)) return {};

    std::uint64_t needed = rangeEnd(eh.e_phoff, eh.e_phnum, sizeof(Phdr));
    if (needed > fileBytes) return cutShort(fileBytes, needed);
    std::vector<Phdr> segments(eh.e_phnum);
    if (!readAt(file.fd, segments.data(), segments.size() * sizeof(Phdr), eh.e_phoff)) return {};
    for (const Phdr& p : segments)
        if (p.p_filesz > 0) needed = std::max(needed, rangeEnd(p.p_offset, 1, p.p_filesz));

    if (eh.e_shoff != 0 && eh.e_shentsize == sizeof(Shdr)) {
        std::uint64_t count = eh.e_shnum;
        if (count == 0) { // too many for the field: the first section header holds the count
            Shdr first{};
            if (rangeEnd(eh.e_shoff, 1, sizeof first) > fileBytes)
                return cutShort(fileBytes, std::max(needed, rangeEnd(eh.e_shoff, 1, sizeof first)));
            if (!readAt(file.fd, &first, sizeof first, eh.e_shoff)) return {};
            count = first.sh_size;
        }
        const std::uint64_t table = rangeEnd(eh.e_shoff, count, sizeof(Shdr));
        if (table > fileBytes) return cutShort(fileBytes, std::max(needed, table));
        std::vector<Shdr> sections(static_cast<std::size_t>(count)); // within the file's size
        if (!readAt(file.fd, sections.data(), sections.size() * sizeof(Shdr), eh.e_shoff))
            return {};
        for (const Shdr& s : sections)
            if (s.sh_type != SHT_NOBITS && s.sh_size > 0)
                needed = std::max(needed, rangeEnd(s.sh_offset, 1, s.sh_size));
    }
    return needed > fileBytes ? cutShort(fileBytes, needed) : std::string();
}

} // namespace larkspur
