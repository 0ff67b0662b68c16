#include "playback/DirectoryScanner.h"
#include "playback/PlaylistImport.h"
#include "playback/SongList.h"

#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace larkspur {

namespace {

char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

bool sameLetter(char a, char b)
{
    return asciiLower(a) == asciiLower(b);
}

struct FileId
{
    dev_t dev;
    ino_t ino;
    bool operator==(const FileId&) const = default;
};

struct FileIdHash
{
    std::size_t operator()(const FileId& id) const
    {
        return std::hash<unsigned long long>()(static_cast<unsigned long long>(id.ino) * 31u +
                                               static_cast<unsigned long long>(id.dev));
    }
};

// Masks of the form "*" + plain text (the usual "*.mp3") need only a suffix test.
class FileMask
{
  public:
    explicit FileMask(std::string_view mask) : m_mask(mask)
    {
        m_suffixOnly = !mask.empty() && mask.front() == '*' &&
                       mask.find_first_of("*?", 1) == std::string_view::npos;
        if (m_suffixOnly) m_suffix = mask.substr(1);
    }

    bool matches(std::string_view name) const
    {
        if (!m_suffixOnly) return matchesFileMask(name, m_mask);
        if (name.size() < m_suffix.size()) return false;
        const std::string_view tail = name.substr(name.size() - m_suffix.size());
        for (std::size_t i = 0; i < tail.size(); ++i)
            if (!sameLetter(tail[i], m_suffix[i])) return false;
        return true;
    }

  private:
    std::string_view m_mask;
    std::string_view m_suffix;
    bool m_suffixOnly = false;
};

enum class Kind { Folder, File };

struct Item
{
    std::string name;
    Kind kind;
    FileId id; // files only
};

} // namespace

bool matchesFileMask(std::string_view name, std::string_view mask)
{
    // Greedy wildcard match with one backtrack point: linear for the masks people type.
    std::size_t n = 0, m = 0;
    std::size_t starMask = std::string_view::npos, starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == '*') {
            starMask = m++;
            starName = n;
        } else if (m < mask.size() && (mask[m] == '?' || sameLetter(mask[m], name[n]))) {
            ++m;
            ++n;
        } else if (starMask != std::string_view::npos) {
            m = starMask + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*')
        ++m;
    return m == mask.size();
}

struct DirectoryScanner::Walk
{
    DirectoryScanner& scanner;
    FileMask mask;
    bool recursive;
    std::vector<std::string> entries;
    std::unordered_set<FileId, FileIdHash> visitedFolders;
    std::unordered_set<FileId, FileIdHash> addedFiles;
    std::size_t unreadable = 0;
    std::size_t lineBreaks = 0;
    std::size_t nextReport = 1024;

    void report() const
    {
        if (scanner.m_progress) scanner.m_progress(scanner.m_counts);
    }

    int openFolder(const std::string& path) const
    {
        if (scanner.m_openFolder) return scanner.m_openFolder(path);
        return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }

    // path ends with "/".
    void folder(std::string& path)
    {
        if (scanner.cancelled()) return;
        const int fd = openFolder(path); // too long a path fails here as well
        if (fd < 0) {
            ++unreadable;
            return;
        }
        struct stat st
        {
        };
        if (::fstat(fd, &st) != 0) {
            ::close(fd);
            ++unreadable;
            return;
        }
        // Reached before by another path (links, link loops, bind mounts): listed already.
        if (!visitedFolders.insert({st.st_dev, st.st_ino}).second) {
            ::close(fd);
            return;
        }
        // A folder that can be listed but not entered gives names nothing can open.
        if (::faccessat(fd, ".", X_OK, AT_EACCESS) != 0) {
            ::close(fd);
            ++unreadable;
            return;
        }

        std::vector<Item> items = readFolder(fd, st.st_dev);
        ++scanner.m_counts.folders;
        report();

        const std::size_t length = path.size();
        if (recursive) {
            for (const Item& item : items) {
                if (item.kind != Kind::Folder) continue;
                path.append(item.name).push_back('/');
                folder(path);
                path.resize(length);
                if (scanner.cancelled()) break;
            }
        }

        const bool folderBreaks = holdsLineBreak(path);
        for (const Item& item : items) {
            if (item.kind != Kind::File || addedFiles.contains(item.id)) continue;
            if (folderBreaks || holdsLineBreak(item.name)) {
                ++lineBreaks;
                continue;
            }
            if (length + item.name.size() >= PATH_MAX) { // could never be opened to play
                ++unreadable;
                continue;
            }
            addedFiles.insert(item.id);
            std::string entry;
            entry.reserve(2 + length + item.name.size());
            entry.append("0|").append(path).append(item.name);
            entries.push_back(std::move(entry));
            if (++scanner.m_counts.songs >= nextReport) {
                nextReport += 1024;
                report();
            }
        }
        if (!items.empty()) report();
    }

    // Sub-folders (links to folders too) and matching regular files (links to them too), in
    // listing order. Takes over fd.
    std::vector<Item> readFolder(int fd, dev_t dev)
    {
        std::vector<Item> items;
        DIR* dir = ::fdopendir(fd);
        if (!dir) {
            ::close(fd);
            ++unreadable;
            return items;
        }
        for (;;) {
            errno = 0;
            const dirent* e = ::readdir(dir);
            if (!e) {
                if (errno != 0) ++unreadable; // what was listed so far still counts
                break;
            }
            const std::string_view name = e->d_name;
            if (name == "." || name == "..") continue;
            if (e->d_type == DT_DIR) {
                items.push_back({std::string(name), Kind::Folder, {}});
            } else if (e->d_type == DT_REG) {
                // The listing's inode number spares a stat per song; both agree on the
                // file systems music lives on.
                if (mask.matches(name))
                    items.push_back({std::string(name), Kind::File, {dev, e->d_ino}});
            } else if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
                struct stat st
                {
                };
                if (::fstatat(fd, e->d_name, &st, 0) != 0) {
                    // A dangling link is only worth a word when it looks like a song.
                    if (errno != ENOENT || mask.matches(name)) ++unreadable;
                    continue;
                }
                if (S_ISDIR(st.st_mode))
                    items.push_back({std::string(name), Kind::Folder, {}});
                else if (S_ISREG(st.st_mode) && mask.matches(name))
                    items.push_back({std::string(name), Kind::File, {st.st_dev, st.st_ino}});
            }
            // FIFOs, devices and sockets are never songs: opening one would hang the player.
        }
        ::closedir(dir);
        return items;
    }
};

ScanResult DirectoryScanner::scan(const std::string& directory, const std::string& mask,
                                  bool recursive)
{
    m_counts = {};
    if (directory.empty()) return {};
    Walk walk{*this, FileMask(mask), recursive, {}, {}, {}};
    std::string path = directory;
    if (path.back() != '/') path.push_back('/');
    walk.folder(path);
    ScanResult result;
    if (cancelled()) {
        result.cancelled = true;
        return result;
    }
    result.entries = std::move(walk.entries);
    result.unreadable = walk.unreadable;
    result.lineBreaks = walk.lineBreaks;
    return result;
}

std::vector<std::string> ScanDirectory(const std::string& Directory, const std::string& Mask,
                                       bool Recursive)
{
    return DirectoryScanner().scan(Directory, Mask, Recursive).entries;
}

std::string scanSummary(const ScanResult& result, std::size_t alreadyListed)
{
    const std::size_t songs = result.entries.size() - alreadyListed;
    std::string text = "Added " + std::to_string(songs) + (songs == 1 ? " song." : " songs.");
    if (alreadyListed > 0) text += " " + alreadyListedText(alreadyListed);
    if (result.unreadable == 1) text += " 1 folder or file could not be read.";
    if (result.unreadable > 1)
        text += " " + std::to_string(result.unreadable) + " folders or files could not be read.";
    if (result.lineBreaks > 0) text += " " + lineBreakNotice(result.lineBreaks);
    return text;
}

} // namespace larkspur
