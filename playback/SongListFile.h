#pragma once
// The song list file on disk. Loading refuses what cannot be a song list (a pipe, a device,
// a folder, a huge or binary file) so that it is never read without end nor saved over.
// Saving never leaves a half-written list: a new file is renamed over the old one; only when
// the folder cannot take a new file is the list written in place, after a copy of the old
// one and a record of the new one have been put in the user's data folder. A crash during
// that write leaves the list half written until the next load or save finishes it from the
// record, so a load always gives the old list or the new one, whole.

#include "playback/SongList.h"

#include <cstdint>
#include <string>

namespace larkspur {

// A million entries take about 80 MB; anything past this is not a song list.
constexpr std::uint64_t kMaxListFileBytes = std::uint64_t(1) << 30;

struct ListFileResult
{
    enum class Status {
        Ok,
        Missing,    // no such file
        Unreadable, // the system refused to open or read it
        NotAFile,   // a folder, a pipe, a device, a socket
        TooLarge,
        NotText,    // UTF-16/UTF-32 or NUL bytes: saving would damage it
        ReadOnly,   // the file, or its file system, is read-only: not saved
        Failed,     // the save failed; the old file is as it was (see message)
    };
    Status status = Status::Ok;
    std::string message; // for the user; empty when Ok
    bool inPlace = false;   // saved by writing over the file itself
    std::string backupPath; // the copy of the old list made before writing in place

    bool ok() const { return status == Status::Ok; }
    explicit operator bool() const { return ok(); }
};

// Replaces the list with the file's lines. The list is untouched unless the result is Ok.
// An in-place write of the list that a crash cut short is finished first, from the record
// kept in backupFolder (empty: the user's data folder).
ListFileResult loadSongList(const std::string& fileName, SongList& list,
                            std::uint64_t maxBytes = kMaxListFileBytes,
                            const std::string& backupFolder = {});

// Writes the list to fileName (through a symbolic link to its target), keeping the file's
// mode and owner, and syncs the folder after the rename. backupFolder receives the copy of
// the old list when the file has to be written in place; empty means the user's data folder.
ListFileResult saveSongList(const std::string& fileName, const SongList& list,
                            const std::string& backupFolder = {});

// Whether a save can change the file at all: ReadOnly, with the words for the user, when the
// file or its file system is read-only; Ok otherwise (a missing file included: the save makes
// it). Nothing is written.
ListFileResult checkSongListWritable(const std::string& fileName);

// "<folder>/<base name>.<hash of the full path>.<ending>": a file of the data folder that
// belongs to this list alone, whatever other lists of the same name there are. A base name too
// long for that is shortened as nameWithEnding does.
std::string listDataFile(const std::string& folder, const std::string& listFile,
                         const std::string& ending);

// $XDG_DATA_HOME/larkspur, or ~/.local/share/larkspur.
std::string userDataFolder();

// A copy of the list as it stands, counts and bans included, made where a person can find it
// to recover the list by hand: listDataFile(folder, listFile, ending), readable by the user
// alone (folder empty: the user's data folder). Before a clear, and at an exit that could
// not save.
struct ListCopy
{
    std::string path;  // empty when no copy was made
    std::string error; // why not, for the user; empty when it was made
};
ListCopy copyListAside(const SongList& list, const std::string& listFile, const std::string& folder,
                       const std::string& ending);

} // namespace larkspur
