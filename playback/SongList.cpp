#include "playback/SongList.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace larkspur {

SongEntry splitEntry(std::string_view line)
{
    const auto bar = line.find('|');
    if (bar == std::string_view::npos) return {line, {}};
    return {line.substr(0, bar), line.substr(bar + 1)};
}

std::optional<int> parseCount(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size()) return std::nullopt;
    long long value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > 2147483648LL) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > 2147483647LL) return std::nullopt;
    return static_cast<int>(value);
}

std::string makeEntry(long long count, std::string_view path)
{
    char buf[24];
    auto res = std::to_chars(buf, buf + sizeof buf, count);
    std::string out(buf, res.ptr);
    out.reserve(out.size() + 1 + path.size());
    out += '|';
    out += path;
    return out;
}

void SongList::remove(std::size_t i)
{
    if (i >= m_entries.size()) throw std::out_of_range("song list index out of range");
    m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(i));
}

std::string SongList::text() const
{
    std::size_t total = 0;
    for (const auto& e : m_entries) total += e.size() + 2;
    std::string out;
    out.reserve(total);
    for (const auto& e : m_entries) {
        out += e;
        out += "\r\n";
    }
    return out;
}

void SongList::setText(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    const std::size_t n = text.size();
    while (start < n) {
        std::size_t end = start;
        while (end < n && text[end] != '\n' && text[end] != '\r') ++end;
        lines.emplace_back(text.substr(start, end - start));
        if (end < n && text[end] == '\r' && end + 1 < n && text[end + 1] == '\n') ++end;
        start = end + 1;
    }
    m_entries = std::move(lines);
}

namespace {

bool readWholeFile(const std::string& fileName, std::string& out)
{
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return false;
    }
    out.clear();
    out.resize(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    for (;;) {
        if (got == out.size()) out.resize(out.size() + 65536);
        const ssize_t r = ::read(fd, out.data() + got, out.size() - got);
        if (r < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return false;
        }
        if (r == 0) break;
        got += static_cast<std::size_t>(r);
    }
    out.resize(got);
    ::close(fd);
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

} // namespace

bool loadSongList(const std::string& fileName, SongList& list)
{
    std::string content;
    if (!readWholeFile(fileName, content)) return false;
    list.setText(content);
    return true;
}

bool saveSongList(const std::string& fileName, const SongList& list)
{
    if (fileName.empty()) return false;
    // Replace the file a symbolic link points to, not the link.
    std::string target = fileName;
    struct stat lst {};
    if (::lstat(fileName.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        if (char* real = ::realpath(fileName.c_str(), nullptr)) {
            target = real;
            ::free(real);
        }
    }
    const std::string tmp = target + ".saving";
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    // Keep the permissions of the list being replaced.
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) ::fchmod(fd, st.st_mode & 07777);
    const std::string content = list.text();
    bool ok = writeAll(fd, content.data(), content.size());
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = ::rename(tmp.c_str(), target.c_str()) == 0;
    if (!ok) ::unlink(tmp.c_str());
    return ok;
}

} // namespace larkspur
