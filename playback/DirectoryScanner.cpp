#include "playback/DirectoryScanner.h"

#include <algorithm>
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

struct FolderId
{
    dev_t dev;
    ino_t ino;
    bool operator==(const FolderId&) const = default;
};

struct FolderIdHash
{
    std::size_t operator()(const FolderId& id) const
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

enum class Kind { Folder, LinkedFolder, File };

struct Item
{
    std::string name;
    Kind kind;
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
    std::unordered_set<FolderId, FolderIdHash> visited;
    std::vector<FolderId> ancestors;
    std::size_t nextReport = 1024;

    void report() const
    {
        if (scanner.m_progress) scanner.m_progress(scanner.m_counts);
    }

    // path ends with "/".
    void folder(std::string& path, bool viaLink)
    {
        if (scanner.cancelled()) return;
        const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return;
        struct stat st
        {
        };
        if (::fstat(fd, &st) != 0) {
            ::close(fd);
            return;
        }
        const FolderId id{st.st_dev, st.st_ino};
        // A link may lead anywhere already seen; a plain folder can only repeat an ancestor
        // (bind mounts), which would loop as well.
        const bool seen =
            viaLink ? visited.contains(id)
                    : std::find(ancestors.begin(), ancestors.end(), id) != ancestors.end();
        if (seen) {
            ::close(fd);
            return;
        }
        visited.insert(id);

        std::vector<Item> items = readFolder(fd);
        ++scanner.m_counts.folders;
        report();

        ancestors.push_back(id);
        const std::size_t length = path.size();
        if (recursive) {
            for (const Item& item : items) {
                if (item.kind == Kind::File) continue;
                path.append(item.name).push_back('/');
                folder(path, item.kind == Kind::LinkedFolder);
                path.resize(length);
                if (scanner.cancelled()) break;
            }
        }
        ancestors.pop_back();

        for (const Item& item : items) {
            if (item.kind != Kind::File) continue;
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

    // Sub-folders and matching files, in listing order. Takes over fd.
    std::vector<Item> readFolder(int fd) const
    {
        std::vector<Item> items;
        DIR* dir = ::fdopendir(fd);
        if (!dir) {
            ::close(fd);
            return items;
        }
        while (const dirent* e = ::readdir(dir)) {
            const std::string_view name = e->d_name;
            if (name == "." || name == "..") continue;
            unsigned char type = e->d_type;
            struct stat st
            {
            };
            if (type == DT_UNKNOWN) {
                if (::fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
                type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : DT_REG;
            }
            Kind kind = Kind::File;
            if (type == DT_DIR)
                kind = Kind::Folder;
            else if (type == DT_LNK && ::fstatat(fd, e->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode))
                kind = Kind::LinkedFolder;
            if (kind == Kind::File && !mask.matches(name)) continue;
            items.push_back({std::string(name), kind});
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
    Walk walk{*this, FileMask(mask), recursive, {}, {}, {}, 1024};
    std::string path = directory;
    if (path.back() != '/') path.push_back('/');
    walk.folder(path, false);
    ScanResult result;
    if (cancelled()) {
        result.cancelled = true;
        return result;
    }
    result.entries = std::move(walk.entries);
    return result;
}

std::vector<std::string> ScanDirectory(const std::string& Directory, const std::string& Mask,
                                       bool Recursive)
{
    return DirectoryScanner().scan(Directory, Mask, Recursive).entries;
}

std::string scanSummary(const ScanResult&)
{
    return {};
}

} // namespace larkspur
