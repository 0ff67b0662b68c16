#include "playback/SongListFile.h"

#include "files/PathName.h"

#include "files/ReplaceFile.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <sys/statvfs.h>
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

// The file's own rights decide, for root too: a list set read-only is left alone.
bool userMayWrite(const std::string& path, const struct stat& st)
{
    if (::geteuid() == 0) return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

// ReadOnly when no save can change the file, whoever tries.
ListFileResult readOnlyCheck(const std::string& target, const struct stat& st)
{
    const std::string cannot = "Cannot save the song list " + quoted(target) + ": ";
    const std::string lost = " Play counts and bans of this session are not kept.";
    struct statvfs fs {};
    if (::statvfs(target.c_str(), &fs) == 0 && (fs.f_flag & ST_RDONLY))
        return failure(Status::ReadOnly, cannot + "the file system is read-only." + lost);
    if (!userMayWrite(target, st))
        return failure(Status::ReadOnly, cannot + "the file is read-only." + lost);
    return {};
}

// The file a save writes: the target of a symbolic link rather than the link.
std::string saveTarget(const std::string& fileName)
{
    struct stat lst {};
    if (::lstat(fileName.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        if (char* real = ::realpath(fileName.c_str(), nullptr)) {
            std::string target = real;
            ::free(real);
            return target;
        }
    }
    return fileName;
}

enum class NewFile { Written, CannotCreate, Failed };

// Writes data to savingFile(path) and renames it over path.
NewFile replaceByRename(const std::string& path, const std::string& data, const struct stat* old,
                        std::string& error)
{
    struct stat folder {};
    if (::geteuid() == 0 && ::stat(folderOf(path).c_str(), &folder) == 0 &&
        (folder.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        // Root could, but a folder set read-only is respected like a read-only file.
        error = systemText(EACCES);
        return NewFile::CannotCreate;
    }
    ReplaceOptions options;
    if (old) {
        options.setMode = true;
        options.mode = old->st_mode;
        // The renamed file would belong to us; where its owner cannot be kept, write in place.
        options.setOwner = old->st_uid != ::geteuid() || old->st_gid != ::getegid();
        options.uid = old->st_uid;
        options.gid = old->st_gid;
    }
    switch (replaceFile(path, data, options, error)) {
    case Replaced::Done:
        return NewFile::Written;
    case Replaced::CannotCreate:
        return NewFile::CannotCreate;
    case Replaced::Failed:
        break;
    }
    return NewFile::Failed;
}

std::string canonicalName(const std::string& fileName)
{
    if (char* real = ::realpath(fileName.c_str(), nullptr)) {
        std::string r = real;
        ::free(real);
        return r;
    }
    return fileName;
}

std::string dataFolderOr(const std::string& backupFolder)
{
    return backupFolder.empty() ? userDataFolder() : backupFolder;
}

// While a list is written in place, the data folder holds "<name>.<hash>.unfinished": the
// list's full name on the first line, then the complete new text. A crash while it exists
// may have left the list half written; the next load or save finishes the write from it.
std::string unfinishedPath(const std::string& folder, const std::string& target)
{
    return listDataFile(folder, target, "unfinished");
}

bool readWhole(const std::string& path, std::string& out)
{
    Fd in(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    return in.get() >= 0 && ::fstat(in.get(), &st) == 0 && S_ISREG(st.st_mode) &&
           static_cast<std::uint64_t>(st.st_size) <= kMaxListFileBytes &&
           readAll(in.get(), out, static_cast<std::size_t>(st.st_size));
}

// `opened` tells whether the file may have changed.
bool overwrite(const std::string& path, const std::string& data, bool* opened = nullptr)
{
    Fd out(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
    if (opened) *opened = out.get() >= 0;
    if (out.get() < 0) return false;
    const bool ok = writeFully(out.get(), data.data(), data.size()) &&
                    ::ftruncate(out.get(), static_cast<off_t>(data.size())) == 0 &&
                    ::fsync(out.get()) == 0;
    return out.close() && ok;
}

void dropUnfinished(const std::string& journal)
{
    if (::unlink(journal.c_str()) == 0) syncFolder(folderOf(journal));
}

// The text an in-place write that was cut short meant to leave, if there is one for target.
std::optional<std::string> unfinishedText(const std::string& journal, const std::string& target)
{
    std::string bytes;
    if (!readWhole(journal, bytes)) return std::nullopt;
    const auto eol = bytes.find('\n');
    if (eol == std::string::npos || bytes.compare(0, eol, target) != 0) return std::nullopt;
    return bytes.substr(eol + 1);
}

// Longer than any in-place write of a list takes.
constexpr time_t kUnfinishedWriteSeconds = 60;

// Finishes an in-place write cut short by a crash; `intended` receives the text it meant to
// leave. NotWritten: the file could not be mended, and the record is kept for the next try.
enum class Mended { Nothing, Done, NotWritten };

Mended finishUnfinishedWrite(const std::string& target, const std::string& folder,
                             std::string& intended)
{
    const std::string journal = unfinishedPath(folder, target);
    auto text = unfinishedText(journal, target);
    if (!text) return Mended::Nothing;
    // The write follows its record within moments; a list changed long after it was edited
    // since, by someone who saw it cut short, and is theirs.
    struct stat list {}, record {};
    if (::stat(target.c_str(), &list) == 0 && ::stat(journal.c_str(), &record) == 0 &&
        list.st_mtime > record.st_mtime + kUnfinishedWriteSeconds) {
        dropUnfinished(journal);
        return Mended::Nothing;
    }
    intended = std::move(*text);
    if (!overwrite(target, intended)) return Mended::NotWritten;
    dropUnfinished(journal);
    return Mended::Done;
}

ListFileResult writeInPlace(const std::string& path, const std::string& canonical,
                            const std::string& data, const std::string& backupFolder,
                            const std::string& whyNotRenamed)
{
    // First a copy of the list as it is, which is what a crash during the write leaves to
    // restore from.
    std::string old;
    if (!readWhole(path, old))
        return failure(Status::Failed, "Cannot save the song list " + quoted(path) +
                                           ": it cannot be read back (" + systemText(errno) +
                                           ").");
    const std::string folder = dataFolderOr(backupFolder);
    const std::string backup = nameWithEnding(folder, fileNameOf(path), ".backup");
    const std::string journal = unfinishedPath(folder, canonical);
    std::string error;
    ReplaceOptions privateFile;
    privateFile.setMode = true;
    privateFile.mode = 0600;
    if (!makeFolders(folder) || replaceFile(backup, old, privateFile, error) != Replaced::Done ||
        replaceFile(journal, canonical + "\n" + data, privateFile, error) != Replaced::Done)
        return failure(Status::Failed,
                       "Cannot save the song list " + quoted(path) + ": its folder takes no new file (" +
                           whyNotRenamed + ") and no copy of it could be made in " +
                           quoted(folder) + (error.empty() ? "" : " (" + error + ")") + ".");

    const std::string kept = " A copy of the list as it was is in " + quoted(backup) + ".";
    bool opened = false;
    if (!overwrite(path, data, &opened)) {
        error = systemText(errno);
        // Put the old text back; failing that, the next load finishes the write. A file that
        // would not even open is as it was, and there is nothing to finish.
        if (!opened || overwrite(path, old)) dropUnfinished(journal);
        return failure(Status::Failed, "Writing the song list " + quoted(path) +
                                           " in place failed (" + error + ")." + kept);
    }
    dropUnfinished(journal);
    ListFileResult r;
    r.inPlace = true;
    r.backupPath = backup;
    return r;
}

} // namespace

ListFileResult checkSongListWritable(const std::string& fileName)
{
    const std::string target = saveTarget(fileName);
    struct stat st {};
    // A missing file is made by the save; anything else the save itself reports.
    if (::stat(target.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    return readOnlyCheck(target, st);
}

std::string listDataFile(const std::string& folder, const std::string& listFile,
                         const std::string& ending)
{
    const std::string full = canonicalName(listFile);
    // The hash of the whole path stays in full when the name has to be shortened.
    return nameWithEnding(folder, fileNameOf(full), "." + nameHash(full) + "." + ending);
}

ListCopy copyListAside(const SongList& list, const std::string& listFile, const std::string& folder,
                       const std::string& ending)
{
    const std::string dataFolder = dataFolderOr(folder);
    const std::string path = listDataFile(dataFolder, listFile, ending);
    ReplaceOptions privateFile;
    privateFile.setMode = true;
    privateFile.mode = 0600;
    std::string error;
    if (!makeFolders(dataFolder)) return {{}, "the folder \"" + dataFolder + "\" cannot be made"};
    if (replaceFile(path, list.text(), privateFile, error) != Replaced::Done)
        return {{}, "\"" + path + "\": " + error};
    return {path, {}};
}

std::string userDataFolder()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && *data == '/') return std::string(data) + "/larkspur";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "") + "/.local/share/larkspur";
}

ListFileResult loadSongList(const std::string& fileName, SongList& list, std::uint64_t maxBytes,
                            const std::string& backupFolder)
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
    std::string intended;
    if (finishUnfinishedWrite(canonicalName(fileName), dataFolderOr(backupFolder), intended) ==
        Mended::NotWritten) {
        // The file stays half written for now, but the list is the one last saved.
        list.setText(std::move(intended));
        return {};
    }
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
    const std::string target = saveTarget(fileName);
    const std::string cannot = "Cannot save the song list " + quoted(target) + ": ";
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (!exists && errno != ENOENT) return failure(Status::Failed, cannot + systemText(errno) + ".");
    if (exists && !S_ISREG(st.st_mode))
        return failure(Status::Failed, cannot + "it is not a regular file.");
    if (exists) {
        // Before anything is put in the data folder for a write that cannot happen.
        ListFileResult readOnly = readOnlyCheck(target, st);
        if (!readOnly.ok()) return readOnly;
    }

    const std::string canonical = canonicalName(target);
    const std::string folder = dataFolderOr(backupFolder);
    std::string intended;
    if (exists && finishUnfinishedWrite(canonical, folder, intended) == Mended::NotWritten)
        return failure(Status::Failed, cannot + "an earlier save that was cut short could not be "
                                                "finished (" + systemText(errno) + ").");

    const std::string content = list.text();
    std::string error;
    switch (replaceByRename(target, content, exists ? &st : nullptr, error)) {
    case NewFile::Written:
        // A record of an in-place write for a list that was since replaced would be stale.
        dropUnfinished(unfinishedPath(folder, canonicalName(target)));
        return {};
    case NewFile::Failed:
        return failure(Status::Failed, cannot + error + ".");
    case NewFile::CannotCreate:
        break;
    }
    if (!exists) return failure(Status::Failed, cannot + error + ".");
    return writeInPlace(target, canonical, content, folder, error);
}

} // namespace larkspur
