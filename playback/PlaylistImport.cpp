#include "playback/PlaylistImport.h"
#include "files/PathName.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace larkspur {

namespace {

constexpr std::size_t kMinTextLine = 5;
constexpr std::size_t kMinPlsLine = 10;

char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

std::string lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = asciiLower(c);
    return out;
}

bool blankOrControl(char c)
{
    return static_cast<unsigned char>(c) <= ' ';
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && blankOrControl(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blankOrControl(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string newEntry(std::string_view path)
{
    std::string entry;
    entry.reserve(path.size() + 2);
    entry += "0|";
    entry += path;
    return entry;
}

bool asciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// "scheme://": a letter, then letters, digits, "+", "-" or ".".
bool isUrl(std::string_view path)
{
    const auto end = path.find("://");
    if (end == std::string_view::npos || end == 0 || !asciiLetter(path.front())) return false;
    for (const char c : path.substr(1, end - 1))
        if (!asciiLetter(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.')
            return false;
    return true;
}

// Absolute on the system that wrote the list; no folder here would make it playable.
bool isWindowsDrivePath(std::string_view path)
{
    return path.size() >= 3 && asciiLetter(path[0]) && path[1] == ':' &&
           (path[2] == '\\' || path[2] == '/');
}

// Up to the last "/" ("/" for a file at the root); empty without a folder.
std::string_view folderOf(std::string_view fileName)
{
    const auto slash = fileName.find_last_of('/');
    if (slash == std::string_view::npos) return {};
    return fileName.substr(0, slash == 0 ? 1 : slash);
}

bool isSongListEntry(std::string_view line)
{
    if (line.find('|') == std::string_view::npos) return false;
    return parseCount(splitEntry(line).countText).has_value();
}

} // namespace

PlaylistKind playlistKindOf(std::string_view fileName)
{
    const auto slash = fileName.find_last_of('/');
    const auto dot = fileName.find_last_of('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return PlaylistKind::Text;
    const std::string ext = lower(fileName.substr(dot));
    if (ext == ".m3u" || ext == ".m3u8") return PlaylistKind::M3u;
    if (ext == ".pls") return PlaylistKind::Pls;
    return PlaylistKind::Text;
}

std::vector<std::string_view> playlistLines(std::string_view text)
{
    // Editors on some systems put a UTF-8 mark first; it belongs to no line.
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = start;
        while (end < text.size() && text[end] != '\n' && text[end] != '\r')
            ++end;
        lines.push_back(text.substr(start, end - start));
        if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ++end;
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> parseM3u(std::string_view text)
{
    std::vector<std::string> entries;
    for (const std::string_view line : playlistLines(text)) {
        if (line.size() < kMinTextLine || line.front() == '#') continue;
        entries.push_back(newEntry(line));
    }
    return entries;
}

std::vector<std::string> parsePls(std::string_view text)
{
    std::vector<std::string> entries;
    for (const std::string_view line : playlistLines(text)) {
        if (line.size() < kMinPlsLine || lower(line.substr(0, 4)) != "file") continue;
        const auto eq = line.find('=');
        const std::string_view value =
            eq == std::string_view::npos ? std::string_view() : line.substr(eq + 1);
        entries.push_back(newEntry(trimmed(value)));
    }
    return entries;
}

std::vector<std::string> parseTextPlaylist(std::string_view text)
{
    std::vector<std::string> entries;
    for (const std::string_view line : playlistLines(text)) {
        if (line.size() < kMinTextLine) continue;
        // A saved song list must not get a second count in front of each line.
        entries.push_back(isSongListEntry(line) ? std::string(line) : newEntry(line));
    }
    return entries;
}

std::vector<std::string> parsePlaylist(PlaylistKind kind, std::string_view text)
{
    switch (kind) {
    case PlaylistKind::M3u:
        return parseM3u(text);
    case PlaylistKind::Pls:
        return parsePls(text);
    case PlaylistKind::Text:
        break;
    }
    return parseTextPlaylist(text);
}

std::string resolvePlaylistPath(std::string_view path, std::string_view folder)
{
    if (path.empty() || folder.empty() || path.front() == '/' || isUrl(path) ||
        isWindowsDrivePath(path))
        return std::string(path);
    while (path.starts_with("./"))
        path.remove_prefix(2);
    std::string out(folder);
    if (out.back() != '/') out.push_back('/');
    out += path;
    return out;
}

PlaylistImport importPlaylistText(std::string_view fileName, std::string_view text)
{
    PlaylistImport result;
    result.kind = playlistKindOf(fileName);
    result.entries = parsePlaylist(result.kind, text);
    const std::string_view folder = folderOf(fileName);
    std::vector<std::string> kept;
    kept.reserve(result.entries.size());
    for (std::string& entry : result.entries) {
        const SongEntry parts = splitEntry(entry);
        std::string path = resolvePlaylistPath(parts.path, folder);
        // Lines hold no breaks, but the playlist's folder name may.
        if (holdsLineBreak(path)) {
            ++result.lineBreaks;
            continue;
        }
        if (path != parts.path) entry = std::string(parts.countText) + "|" + path;
        kept.push_back(std::move(entry));
    }
    result.entries = std::move(kept);
    return result;
}

PlaylistImport importPlaylistFile(const std::string& fileName)
{
    const auto fail = [&](int error) {
        return PlaylistReadError(fileName + ": " + std::strerror(error));
    };
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw fail(errno);
    struct stat st
    {
    };
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        throw fail(EISDIR);
    }
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            ::close(fd);
            throw fail(error);
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);

    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(fileName, error);
    return importPlaylistText(error ? fileName : absolute.string(), text);
}

NewEntries entriesForDroppedPaths(const std::vector<std::string>& paths)
{
    NewEntries got;
    got.entries.reserve(paths.size());
    for (const auto& path : paths) {
        if (holdsLineBreak(path))
            ++got.lineBreaks;
        else
            got.entries.push_back(newEntry(path));
    }
    return got;
}

namespace {

std::string_view pathOfEntry(std::string_view entry)
{
    const std::size_t bar = entry.find('|');
    return bar == std::string_view::npos ? entry : entry.substr(bar + 1);
}

} // namespace

AddedSongs appendNewEntries(SongList& list, const std::vector<std::string>& entries)
{
    // Adding a folder or playlist twice must not list every song twice.
    std::unordered_set<std::string> listed;
    listed.reserve(list.count() + entries.size());
    for (std::size_t i = 0; i < list.count(); ++i)
        listed.emplace(pathOfEntry(list.get(i)));
    AddedSongs added;
    for (const auto& entry : entries) {
        auto [at, isNew] = listed.emplace(pathOfEntry(entry));
        if (!isNew) {
            ++added.alreadyListed;
            continue;
        }
        list.add(entry);
        added.paths.push_back(*at);
    }
    return added;
}

std::size_t appendEntries(SongList& list, const std::vector<std::string>& entries)
{
    return appendNewEntries(list, entries).alreadyListed;
}

std::vector<std::string> missingPaths(const std::vector<std::string>& paths,
                                      const FileExists& exists)
{
    std::vector<std::string> missing;
    for (const auto& path : paths)
        if (!exists(path)) missing.push_back(path);
    return missing;
}

std::string alreadyListedText(std::size_t already)
{
    return std::to_string(already) +
           (already == 1 ? " song was already in the list." : " songs were already in the list.");
}

std::string addedSongsText(const AddedSongs& added)
{
    constexpr std::size_t kNamed = 3;
    const std::size_t n = added.paths.size();
    std::string text = "Added " + std::to_string(n) + (n == 1 ? " song" : " songs");
    if (!added.missing.empty()) {
        const std::size_t missing = added.missing.size();
        text += n == 1 ? ", not found: " : ", " + std::to_string(missing) + " of them not found: ";
        for (std::size_t i = 0; i < missing && i < kNamed; ++i) {
            if (i > 0) text += i + 1 == missing ? " and " : ", ";
            text += fileNameOf(added.missing[i]);
        }
        if (missing > kNamed) text += " and " + std::to_string(missing - kNamed) + " more";
    }
    text += ".";
    if (added.alreadyListed > 0) text += " " + alreadyListedText(added.alreadyListed);
    return text;
}

} // namespace larkspur
