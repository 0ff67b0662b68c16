#include "files/ReplaceFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace larkspur {

namespace {

// Another running copy saving the same file is done in well under this.
constexpr int kBusyTries = 40;
constexpr long kBusyPauseNs = 25'000'000;

void pause()
{
    timespec t{0, kBusyPauseNs};
    while (::nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

// Opens the new file and locks it. A file of that name left by a killed writer is taken over;
// one that another writer holds is waited for a little.
int openLocked(const std::string& tmp, std::string& error, Replaced& why)
{
    for (int attempt = 0; attempt < kBusyTries; ++attempt) {
        // Non-blocking, so a pipe of that name cannot stop the save.
        const int fd =
            ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
        if (fd < 0) {
            error = std::strerror(errno);
            // A leftover we may not open (a read-only file's copy) goes; a folder stays.
            if (::unlink(tmp.c_str()) == 0) continue;
            why = Replaced::CannotCreate;
            return -1;
        }
        struct stat mine {}, named {};
        if (::fstat(fd, &mine) != 0 || !S_ISREG(mine.st_mode)) {
            ::close(fd);
            error = "\"" + tmp + "\" is in the way";
            why = Replaced::CannotCreate;
            return -1;
        }
        // Where the file system has no locks, the save goes on without one.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
            ::close(fd);
            pause();
            continue;
        }
        // The writer we waited for may have renamed it away meanwhile.
        if (::lstat(tmp.c_str(), &named) != 0 || named.st_dev != mine.st_dev ||
            named.st_ino != mine.st_ino) {
            ::close(fd);
            continue;
        }
        // A file of ours left by a kill has one name and is ours; anything else planted under
        // that name is not written into.
        if (mine.st_nlink != 1 || mine.st_uid != ::geteuid()) {
            ::close(fd);
            if (::unlink(tmp.c_str()) != 0) {
                error = "\"" + tmp + "\" is in the way";
                why = Replaced::CannotCreate;
                return -1;
            }
            continue;
        }
        if (::ftruncate(fd, 0) == 0) return fd;
        error = std::strerror(errno);
        ::close(fd);
        why = Replaced::CannotCreate;
        return -1;
    }
    error = "another program is saving the same file";
    why = Replaced::Failed;
    return -1;
}

} // namespace

bool writeFully(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t w = ::write(fd, data, size);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += w;
        size -= static_cast<std::size_t>(w);
    }
    return true;
}

std::string folderOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::size_t nameLimit(const std::string& folder)
{
    const long limit = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    // A folder not made yet has no limit to ask for, and "no limit" is taken as the usual one.
    return limit > 0 ? static_cast<std::size_t>(limit) : 255;
}

std::string nameHash(std::string_view text)
{
    std::uint64_t h = 14695981039346656037ull;
    for (unsigned char c : text) h = (h ^ c) * 1099511628211ull;
    char buf[20];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
    return buf;
}

namespace {

std::string fittedName(const std::string& name, std::string_view ending, std::size_t limit)
{
    if (name.size() + ending.size() <= limit) return name + std::string(ending);
    const std::string mark = "~" + nameHash(name);
    std::size_t keep =
        limit > mark.size() + ending.size() ? limit - mark.size() - ending.size() : 0;
    keep = std::min(keep, name.size());
    const auto inCharacter = [&] {
        return (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80;
    };
    // Back to the start of a character; a name that is not UTF-8 loses at most three bytes more.
    for (int i = 0; i < 3 && keep > 0 && inCharacter(); ++i) --keep;
    return name.substr(0, keep) + mark + std::string(ending);
}

} // namespace

std::string nameWithEnding(const std::string& folder, const std::string& name,
                           std::string_view ending)
{
    return folder + "/" + fittedName(name, ending, nameLimit(folder));
}

std::string besideFile(const std::string& path, std::string_view ending)
{
    const auto slash = path.find_last_of('/');
    const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(0, start) +
           fittedName(path.substr(start), ending, nameLimit(folderOf(path)));
}

std::string savingFile(const std::string& path) { return besideFile(path, kSavingSuffix); }

bool makeFolders(const std::string& folder)
{
    if (folder.empty()) return false;
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    const std::string parent = folderOf(folder);
    if (parent != folder && parent != "." && !makeFolders(parent)) return false;
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

void syncFolder(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

Replaced replaceFile(const std::string& path, std::string_view data, const ReplaceOptions& options,
                     std::string& error)
{
    const std::string tmp = savingFile(path);
    Replaced why = Replaced::Failed;
    const int fd = openLocked(tmp, error, why);
    if (fd < 0) return why;
    const auto drop = [&](Replaced result) {
        // Still locked, so this is our file and no other writer's.
        ::unlink(tmp.c_str());
        ::close(fd);
        return result;
    };
    if (options.setMode) ::fchmod(fd, options.mode & 07777);
    if (options.setOwner) {
        struct stat st {};
        if (::fstat(fd, &st) == 0 && (st.st_uid != options.uid || st.st_gid != options.gid) &&
            ::fchown(fd, options.uid, options.gid) != 0) {
            error = "its owner could not be kept";
            return drop(Replaced::CannotCreate);
        }
        // fchown may clear the set-id bits.
        if (options.setMode) ::fchmod(fd, options.mode & 07777);
    }
    if (!writeFully(fd, data.data(), data.size()) || (options.sync && ::fsync(fd) != 0)) {
        error = std::strerror(errno);
        return drop(Replaced::Failed);
    }
    // Renamed while still locked: a writer that opened the same name meanwhile finds it gone.
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        error = std::strerror(errno);
        return drop(Replaced::Failed);
    }
    ::close(fd);
    if (options.sync) syncFolder(folderOf(path));
    return Replaced::Done;
}

} // namespace larkspur
