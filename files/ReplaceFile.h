#pragma once
// Replaces a file's contents so that a crash at any instant (SIGKILL, or with `sync` a power
// loss too) leaves either the whole old file or the whole new one. The data goes to
// "<file>.saving" first, which is renamed over the file. A writer that is killed
// leaves at most that one file behind, and the next save of the same file takes it over, so
// nothing piles up and no folder needs to be searched for leftovers. Two writers of the same
// file never write into the same new file: each holds an flock on it until it is renamed.
// A file whose name is too long to take the ending gets the shortened name nameWithEnding
// gives, which is the same on every save, so a leftover is still taken over.

#include <string>
#include <string_view>
#include <sys/types.h>

namespace larkspur {

inline constexpr std::string_view kSavingSuffix = ".saving";

struct ReplaceOptions
{
    bool setMode = false; // give the new file `mode`, whatever the umask
    mode_t mode = 0644;
    bool setOwner = false; // give the new file uid and gid; CannotCreate when refused
    uid_t uid = 0;
    gid_t gid = 0;
    bool sync = true; // fsync the data before the rename and the folder after it
};

enum class Replaced {
    Done,
    CannotCreate, // the new file could not be made beside the old one; nothing changed
    Failed,       // writing or renaming failed; the old file is as it was
};

// `error` receives the system's reason when the result is not Done.
Replaced replaceFile(const std::string& path, std::string_view data, const ReplaceOptions& options,
                     std::string& error);

// Writes all of data, going on after short writes and interruptions.
bool writeFully(int fd, const char* data, std::size_t size);

std::string folderOf(const std::string& path);

// The longest name of one file the folder takes, in bytes: what the file system says, else
// the usual 255.
std::size_t nameLimit(const std::string& folder);

// Sixteen hex digits (FNV-1a), the same in every run.
std::string nameHash(std::string_view text);

// "<folder>/<name><ending>". Where that name would pass the folder's limit, the name is cut
// short on a UTF-8 character boundary and followed by "~<nameHash of the whole name>" before
// the ending, so that two long names with the same start still get names of their own.
std::string nameWithEnding(const std::string& folder, const std::string& name,
                           std::string_view ending);

// nameWithEnding beside the file: "<path><ending>", shortened the same way.
std::string besideFile(const std::string& path, std::string_view ending);

// The new file replaceFile writes and renames over path.
std::string savingFile(const std::string& path);

// Makes the folder and any missing parents (mode 0700); true when it is there.
bool makeFolders(const std::string& folder);

// fsync of a folder, so that a rename in it survives a power loss.
void syncFolder(const std::string& folder);

} // namespace larkspur
