#include "playback/SongList.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

std::string_view SongList::get(std::size_t i) const
{
    const Span& s = m_spans.at(i);
    return std::string_view(m_arena).substr(s.offset, s.length);
}

void SongList::append(std::string_view text)
{
    // The text may point into the arena itself; copy it before the arena can move.
    if (!text.empty() && text.data() >= m_arena.data() &&
        text.data() < m_arena.data() + m_arena.size()) {
        const std::string copy(text);
        append(copy);
        return;
    }
    m_arena.append(text);
}

void SongList::put(std::size_t i, std::string_view text)
{
    if (i >= m_spans.size()) throw std::out_of_range("song list index out of range");
    const std::size_t offset = m_arena.size();
    append(text);
    m_garbage += m_spans[i].length;
    m_spans[i] = {offset, text.size()};
    changed();
    compactIfWasteful();
}

void SongList::add(std::string_view text)
{
    const std::size_t offset = m_arena.size();
    append(text);
    m_spans.push_back({offset, text.size()});
    changed();
}

void SongList::remove(std::size_t i)
{
    if (i >= m_spans.size()) throw std::out_of_range("song list index out of range");
    m_garbage += m_spans[i].length;
    m_spans.erase(m_spans.begin() + static_cast<std::ptrdiff_t>(i));
    changed();
    compactIfWasteful();
}

void SongList::clear()
{
    m_arena.clear();
    m_spans.clear();
    m_garbage = 0;
    changed();
}

void SongList::compactIfWasteful()
{
    if (m_garbage < 65536 || m_garbage < m_arena.size() / 2) return;
    std::string fresh;
    fresh.reserve(m_arena.size() - m_garbage);
    for (Span& s : m_spans) {
        const std::size_t offset = fresh.size();
        fresh.append(m_arena, s.offset, s.length);
        s.offset = offset;
    }
    m_arena = std::move(fresh);
    m_garbage = 0;
}

std::string SongList::text() const
{
    std::size_t total = 0;
    for (const Span& s : m_spans) total += s.length + 2;
    std::string out;
    out.resize(total);
    char* p = out.data();
    for (const Span& s : m_spans) {
        std::memcpy(p, m_arena.data() + s.offset, s.length);
        p += s.length;
        *p++ = '\r';
        *p++ = '\n';
    }
    return out;
}

void SongList::setText(std::string text)
{
    std::vector<Span> spans;
    const char* base = text.data();
    const std::size_t n = text.size();
    spans.reserve(n / 48 + 16);
    // CR LF, LF and a lone CR each end a line. A file that mixes them (an editor that
    // appended Mac lines to a Unix list) would otherwise hide songs inside other paths.
    // The next LF is remembered, so a run of lone CRs is not searched to its LF each time.
    std::size_t nextLf = 0;
    bool lfKnown = false;
    std::size_t start = 0;
    while (start < n) {
        if (!lfKnown || nextLf < start) {
            const auto* lf = static_cast<const char*>(std::memchr(base + start, '\n', n - start));
            nextLf = lf ? static_cast<std::size_t>(lf - base) : n;
            lfKnown = true;
        }
        const auto* cr = static_cast<const char*>(std::memchr(base + start, '\r', nextLf - start));
        std::size_t end = nextLf;
        std::size_t next = nextLf + 1;
        if (cr) {
            end = static_cast<std::size_t>(cr - base);
            next = end + 1 < n && base[end + 1] == '\n' ? end + 2 : end + 1;
        }
        spans.push_back({start, end - start});
        start = next;
    }
    m_arena = std::move(text);
    m_spans = std::move(spans);
    m_garbage = 0;
    changed();
}

void SongList::changed()
{
    static std::atomic<std::uint64_t> last{0};
    m_version = ++last;
}

bool holdsLineBreak(std::string_view path)
{
    return path.find_first_of("\r\n") != std::string_view::npos;
}

std::string lineBreakNotice(std::size_t skipped)
{
    if (skipped == 0) return {};
    if (skipped == 1) return "1 path holding a line break was left out.";
    return std::to_string(skipped) + " paths holding a line break were left out.";
}

} // namespace larkspur
