#pragma once
// ScanDirectory: the files of a folder tree whose names match a mask, as new song list
// entries ("0|" + path). Each folder's sub-folders are scanned before its own files, both in
// the order the file system lists them (nothing sorted); hidden files are included; the mask
// ("*" and "?" wildcards) ignores letter case. Only regular files count, also through a link;
// FIFOs, devices and sockets never do. Links to folders are followed; each folder and each
// file (device and inode) is taken once, by the first path that reaches it, so link loops end.
// Folders that cannot be opened or entered and paths too long to open are counted, not added;
// so are paths holding CR or LF, which a song list cannot hold.
//
// Thread: scan() runs on the calling thread (a worker thread in the program) and calls the
// progress callback there; cancel() may be called from any thread. A cancelled scan returns
// no entries, and so does every later scan of the same scanner: use one scanner per scan.
// Adddirectory1Click, roughly:
//   DirectoryScanner scanner([&](ScanProgress p) { post p to the progress dialog });
//   run scanner.scan(folder) on a worker; dialog's Cancel calls scanner.cancel();
//   back on the interface thread: appendEntries(dl, result.entries); SaveSongList();
//   tell the user scanSummary(result)

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace larkspur {

struct ScanProgress
{
    std::size_t folders = 0; // folders entered so far
    std::size_t songs = 0;   // matching files found so far
};

struct ScanResult
{
    std::vector<std::string> entries;
    std::size_t unreadable = 0; // folders and files that could not be read, too long paths too
    std::size_t lineBreaks = 0; // songs left out because their path holds CR or LF
    bool cancelled = false;     // then nothing else is filled in
};

class DirectoryScanner
{
  public:
    using ProgressFn = std::function<void(const ScanProgress&)>;
    // Opens a folder (path ends with "/") for listing: a descriptor, or -1 with errno set.
    using OpenFolderFn = std::function<int(const std::string& path)>;

    // progress: called on the scanning thread when a folder is entered, after every 1024
    // files found and when a folder's files are done; may be empty. openFolder: empty for
    // the system's open(); tests put failures in here.
    explicit DirectoryScanner(ProgressFn progress = {}, OpenFolderFn openFolder = {})
        : m_progress(std::move(progress)), m_openFolder(std::move(openFolder))
    {}

    // The entries for every matching file under directory (only its own files when not
    // recursive), with what was left out. An empty or unreadable directory adds nothing; an
    // empty directory path gives nothing.
    ScanResult scan(const std::string& directory, const std::string& mask = "*.mp3",
                    bool recursive = true);

    void cancel() { m_cancelled.store(true, std::memory_order_relaxed); }
    bool cancelled() const { return m_cancelled.load(std::memory_order_relaxed); }

  private:
    struct Walk;

    ProgressFn m_progress;
    OpenFolderFn m_openFolder;
    std::atomic<bool> m_cancelled{false};
    ScanProgress m_counts;
};

// One synchronous scan without progress or cancelling.
std::vector<std::string> ScanDirectory(const std::string& Directory, const std::string& Mask,
                                       bool Recursive);

// What the user is told when a scan ends: songs added, what could not be read, what was left
// out for a line break.
std::string scanSummary(const ScanResult& result, std::size_t alreadyListed = 0);

// The mask test of the scan: "*" any run, "?" one character, letters a-z in either case.
bool matchesFileMask(std::string_view name, std::string_view mask);

} // namespace larkspur
