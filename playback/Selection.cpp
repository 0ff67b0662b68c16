#include "playback/Selection.h"

#include <chrono>

namespace larkspur {

std::uint64_t TimeSeededRandom::millisecondsOfDay()
{
    using namespace std::chrono;
    const auto now = system_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(duration_cast<milliseconds>(now).count() % 86400000LL);
}

TimeSeededRandom::TimeSeededRandom() : m_engine(millisecondsOfDay()) {}

std::size_t TimeSeededRandom::below(std::size_t n)
{
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(m_engine);
}

Selection drawSong(const SongList& list, long long index, RandomSource& random,
                   const FileExists& fileExists)
{
    Selection sel;
    const std::size_t n = list.count();
    if (n == 0) return sel;
    const bool explicitIndex = index != -1;
    if (explicitIndex && (index < 0 || static_cast<std::size_t>(index) >= n)) return sel;

    std::size_t found = 0;
    std::size_t missing = 0;  // missing files, as the classic rule counts them
    std::size_t rejected = 0; // banned and malformed random draws
    for (;;) {
        const std::size_t i = explicitIndex ? static_cast<std::size_t>(index) : random.below(n);
        ++sel.draws;
        const SongEntry entry = splitEntry(list.get(i));
        const std::optional<int> count = parseCount(entry.countText);
        if (!count) {
            if (explicitIndex) {
                sel.outcome = Selection::Outcome::Chosen;
                sel.index = i;
                sel.path = std::string(entry.path);
                sel.malformed = true;
                return sel;
            }
            if (missing + ++rejected >= n) {
                sel.outcome = Selection::Outcome::GaveUp;
                return sel;
            }
            continue;
        }
        long long c = *count;
        const std::string path(entry.path);
        const bool exists = fileExists(path);
        if (exists) {
            ++found;
        } else {
            c = 0;
            if (n <= ++missing + rejected) {
                sel.outcome = Selection::Outcome::GaveUp;
                return sel;
            }
        }
        if (explicitIndex || (exists && c != -1 && c < static_cast<long long>(found))) {
            sel.outcome = Selection::Outcome::Chosen;
            sel.index = i;
            sel.newEntry = makeEntry(c + 1, path);
            sel.path = path;
            return sel;
        }
        if (exists && c == -1 && missing + ++rejected >= n) {
            sel.outcome = Selection::Outcome::GaveUp;
            return sel;
        }
    }
}

} // namespace larkspur
