#include "playback/SongListFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace larkspur {

namespace {

using Status = ListFileResult::Status;

ListFileResult failure(Status status, const std::string& text)
{
    ListFileResult r;
    r.status = status;
    r.message = text;
    return r;
}

std::string quoted(const std::string& name) { return "\"" + name + "\""; }

std::string systemText(int error) { return std::strerror(error); }

class Fd
{
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0) ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    // Closes now, so a failing close can be seen.
    bool close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

bool readAll(int fd, std::string& out, std::size_t expected)
{
    out.clear();
    // One byte more than expected, so the end is seen without growing the buffer.
    out.resize(expected + 1);
    std::size_t got = 0;
    for (;;) {
        if (got == out.size()) out.resize(out.size() * 2);
        const ssize_t r = ::read(fd, out.data() + got, out.size() - got);
        if (r < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (r == 0) break;
        got += static_cast<std::size_t>(r);
    }
    out.resize(got);
    return true;
}

bool writeAll(int fd, const char* data, std::size_t size)
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

// Text in another wide encoding, or binary data, would be rewritten as CR LF separated
// bytes and never decode again.
bool looksLikeText(const std::string& bytes)
{
    const auto starts = [&](const char* mark, std::size_t n) {
        return bytes.size() >= n && std::memcmp(bytes.data(), mark, n) == 0;
    };
    if (starts("\xFF\xFE", 2) || starts("\xFE\xFF", 2) || starts("\x00\x00\xFE\xFF", 4))
        return false;
    return bytes.find('\0') == std::string::npos;
}

std::string folderOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseName(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void syncFolder(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// The file's own rights decide, for root too: a list set read-only is left alone.
bool userMayWrite(const std::string& path, const struct stat& st)
{
    if (::geteuid() == 0) return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

bool makeFolders(const std::string& folder)
{
    if (folder.empty()) return false;
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    const std::string parent = folderOf(folder);
    if (parent != folder && parent != "." && !makeFolders(parent)) return false;
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

// Writes data to a new file beside path and renames it over path. errno is kept for the
// caller when creating the new file fails.
enum class NewFile { Written, CannotCreate, Failed };

NewFile replaceByRename(const std::string& path, const std::string& data, const struct stat* old,
                        std::string& error)
{
    const std::string tmp = path + ".saving";
    struct stat folder {};
    if (::geteuid() == 0 && ::stat(folderOf(path).c_str(), &folder) == 0 &&
        (folder.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        // Root could, but a folder set read-only is respected like a read-only file.
        error = systemText(EACCES);
        return NewFile::CannotCreate;
    }
    ::unlink(tmp.c_str()); // left by a crash
    Fd fd(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (fd.get() < 0) {
        error = systemText(errno);
        return NewFile::CannotCreate;
    }
    if (old) {
        ::fchmod(fd.get(), old->st_mode & 07777);
        // The renamed file would belong to us; where its owner cannot be kept, write in place.
        if ((old->st_uid != ::geteuid() || old->st_gid != ::getegid()) &&
            ::fchown(fd.get(), old->st_uid, old->st_gid) != 0) {
            fd.close();
            ::unlink(tmp.c_str());
            error = "its owner could not be kept";
            return NewFile::CannotCreate;
        }
    }
    bool ok = writeAll(fd.get(), data.data(), data.size()) && ::fsync(fd.get()) == 0;
    if (!ok) error = systemText(errno);
    ok = fd.close() && ok;
    if (ok && ::rename(tmp.c_str(), path.c_str()) != 0) {
        error = systemText(errno);
        ok = false;
    }
    if (!ok) {
        ::unlink(tmp.c_str());
        return NewFile::Failed;
    }
    syncFolder(folderOf(path));
    return NewFile::Written;
}

ListFileResult writeInPlace(const std::string& path, const std::string& data,
                            const std::string& backupFolder, const std::string& whyNotRenamed)
{
    // First a copy of the list as it is, which is what a crash during the write leaves to
    // restore from.
    std::string old;
    {
        Fd in(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        struct stat st {};
        if (in.get() < 0 || ::fstat(in.get(), &st) != 0 ||
            !readAll(in.get(), old, static_cast<std::size_t>(st.st_size)))
            return failure(Status::Failed, "Cannot save the song list " + quoted(path) +
                                               ": it cannot be read back (" + systemText(errno) +
                                               ").");
    }
    const std::string folder = backupFolder.empty() ? userDataFolder() : backupFolder;
    const std::string backup = folder + "/" + baseName(path) + ".backup";
    std::string error;
    if (!makeFolders(folder) || replaceByRename(backup, old, nullptr, error) != NewFile::Written)
        return failure(Status::Failed,
                       "Cannot save the song list " + quoted(path) + ": its folder takes no new file (" +
                           whyNotRenamed + ") and no copy of it could be made in " +
                           quoted(folder) + (error.empty() ? "" : " (" + error + ")") + ".");

    const std::string kept = " A copy of the list as it was is in " + quoted(backup) + ".";
    Fd out(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
    if (out.get() < 0)
        return failure(Status::Failed, "Cannot save the song list " + quoted(path) + ": " +
                                           systemText(errno) + "." + kept);
    bool ok = writeAll(out.get(), data.data(), data.size()) &&
              ::ftruncate(out.get(), static_cast<off_t>(data.size())) == 0 && ::fsync(out.get()) == 0;
    if (!ok) error = systemText(errno);
    ok = out.close() && ok;
    if (!ok)
        return failure(Status::Failed, "Writing the song list " + quoted(path) +
                                           " in place failed (" + error + ")." + kept);
    ListFileResult r;
    r.inPlace = true;
    r.backupPath = backup;
    return r;
}

} // namespace

std::string userDataFolder()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && *data == '/') return std::string(data) + "/larkspur";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "") + "/.local/share/larkspur";
}

ListFileResult loadSongList(const std::string& fileName, SongList& list, std::uint64_t maxBytes)
{
    const std::string cannot = "Cannot use the song list " + quoted(fileName) + ": ";
    // Non-blocking, so opening a pipe with no writer returns at once.
    Fd fd(::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT) return failure(Status::Missing, cannot + "there is no such file.");
        return failure(Status::Unreadable, cannot + systemText(errno) + ".");
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        return failure(Status::Unreadable, cannot + systemText(errno) + ".");
    if (S_ISDIR(st.st_mode)) return failure(Status::NotAFile, cannot + "it is a folder.");
    if (!S_ISREG(st.st_mode))
        return failure(Status::NotAFile, cannot + "it is not a regular file.");
    if (static_cast<std::uint64_t>(st.st_size) > maxBytes)
        return failure(Status::TooLarge, cannot + "it is larger than any song list (" +
                                             std::to_string(st.st_size) + " bytes).");
    std::string content;
    if (!readAll(fd.get(), content, static_cast<std::size_t>(st.st_size)))
        return failure(Status::Unreadable, cannot + systemText(errno) + ".");
    if (content.size() > maxBytes)
        return failure(Status::TooLarge, cannot + "it is larger than any song list.");
    if (!looksLikeText(content))
        return failure(Status::NotText,
                       cannot + "it is not a plain text file (UTF-16, UTF-32 or binary data).");
    list.setText(std::move(content));
    return {};
}

ListFileResult saveSongList(const std::string& fileName, const SongList& list,
                            const std::string& backupFolder)
{
    if (fileName.empty()) return failure(Status::Failed, "The song list has no file name.");
    // Replace the file a symbolic link points to, not the link.
    std::string target = fileName;
    struct stat lst {};
    if (::lstat(fileName.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        if (char* real = ::realpath(fileName.c_str(), nullptr)) {
            target = real;
            ::free(real);
        }
    }
    const std::string cannot = "Cannot save the song list " + quoted(target) + ": ";
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (!exists && errno != ENOENT) return failure(Status::Failed, cannot + systemText(errno) + ".");
    if (exists && !S_ISREG(st.st_mode))
        return failure(Status::Failed, cannot + "it is not a regular file.");
    if (exists && !userMayWrite(target, st))
        return failure(Status::ReadOnly, cannot + "the file is read-only. Play counts and bans "
                                                  "of this session are not kept.");

    const std::string content = list.text();
    std::string error;
    switch (replaceByRename(target, content, exists ? &st : nullptr, error)) {
    case NewFile::Written:
        return {};
    case NewFile::Failed:
        return failure(Status::Failed, cannot + error + ".");
    case NewFile::CannotCreate:
        break;
    }
    if (!exists) return failure(Status::Failed, cannot + error + ".");
    return writeInPlace(target, content, backupFolder, error);
}

} // namespace larkspur
