#include "playback/Selection.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <vector>

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

namespace {

// Plain draws are cheap and end within a few dozen for ordinary lists; past this many the
// rest of the call is worked out from the whole list instead.
std::size_t plainDrawLimit(std::size_t n) { return std::min<std::size_t>(4096, 64 + 8 * n); }

double unitRandom(RandomSource& random)
{
    constexpr std::size_t kSteps = std::size_t(1) << 53;
    return static_cast<double>(random.below(kSteps)) / static_cast<double>(kSteps);
}

struct Candidate
{
    long long fromDraw; // the existing-file draw from which a random draw accepts it
    std::size_t index;
};

void choose(Selection& sel, const SongList& list, std::size_t i, long long count, bool exists)
{
    const SongEntry entry = splitEntry(list.get(i));
    sel.outcome = Selection::Outcome::Chosen;
    sel.index = i;
    sel.path = std::string(entry.path);
    // A count at the top of its range stays there: one more would not read back, and the
    // song would never be drawn again.
    const long long played = exists ? count : 0;
    sel.newEntry =
        makeEntry(std::min<long long>(played + 1, std::numeric_limits<int>::max()), sel.path);
}

// Goes on with the rule from the state after `found` existing-file draws, without drawing
// entry by entry. Draws of missing or malformed entries change nothing, so only draws among
// the E existing files matter: at existing-file draw k an entry is accepted when its count
// is below k and it is not banned. Between two consecutive thresholds the set of acceptable
// entries is fixed (A of them), so that stretch of L draws holds an acceptance with chance
// 1 - (1 - A/E)^L, and an accepted entry is equally likely any of the A. This takes one step
// per distinct count, whatever the counts are.
void finishFromWholeList(Selection& sel, const SongList& list, long long found,
                         RandomSource& random, const FileExists& fileExists)
{
    std::vector<Candidate> candidates;
    long long existing = 0;
    for (std::size_t i = 0; i < list.count(); ++i) {
        const SongEntry entry = splitEntry(list.get(i));
        const std::optional<int> count = parseCount(entry.countText);
        if (!count) continue;
        if (!fileExists(std::string(entry.path))) {
            if (sel.missing.empty()) sel.missing = std::string(entry.path);
            continue;
        }
        ++existing;
        if (*count == -1) continue;
        candidates.push_back({std::max<long long>(1, static_cast<long long>(*count) + 1), i});
    }
    if (candidates.empty()) {
        sel.outcome = Selection::Outcome::GaveUp;
        return;
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate& a, const Candidate& b) { return a.fromDraw < b.fromDraw; });
    const double e = static_cast<double>(existing);
    long long draw = found + 1;
    std::size_t acceptable = 0;
    for (;;) {
        while (acceptable < candidates.size() && candidates[acceptable].fromDraw <= draw)
            ++acceptable;
        if (acceptable == 0) {
            draw = candidates[0].fromDraw;
            continue;
        }
        bool hit = acceptable == candidates.size() || acceptable == static_cast<std::size_t>(existing);
        if (!hit) {
            const double stretch = static_cast<double>(candidates[acceptable].fromDraw - draw);
            const double chance = -std::expm1(stretch * std::log1p(-static_cast<double>(acceptable) / e));
            hit = unitRandom(random) < chance;
        }
        if (hit) {
            const Candidate& c = candidates[random.below(acceptable)];
            const SongEntry entry = splitEntry(list.get(c.index));
            choose(sel, list, c.index, *parseCount(entry.countText), true);
            return;
        }
        draw = candidates[acceptable].fromDraw;
    }
}

} // namespace

Selection drawSong(const SongList& list, long long index, RandomSource& random,
                   const FileExists& fileExists)
{
    Selection sel;
    const std::size_t n = list.count();
    if (n == 0) return sel;

    if (index != -1) {
        if (index < 0 || static_cast<std::size_t>(index) >= n) return sel;
        const auto i = static_cast<std::size_t>(index);
        sel.draws = 1;
        const SongEntry entry = splitEntry(list.get(i));
        const std::optional<int> count = parseCount(entry.countText);
        if (!count) {
            sel.outcome = Selection::Outcome::Chosen;
            sel.index = i;
            sel.path = std::string(entry.path);
            sel.malformed = true;
            return sel;
        }
        const bool exists = fileExists(std::string(entry.path));
        // A single missing entry is the give-up rule's first draw reaching the list's size.
        if (!exists && n <= 1) {
            sel.outcome = Selection::Outcome::GaveUp;
            return sel;
        }
        choose(sel, list, i, *count, exists);
        return sel;
    }

    long long found = 0;
    const std::size_t limit = plainDrawLimit(n);
    while (static_cast<std::size_t>(sel.draws) < limit) {
        const std::size_t i = random.below(n);
        ++sel.draws;
        const SongEntry entry = splitEntry(list.get(i));
        const std::optional<int> count = parseCount(entry.countText);
        if (!count) continue;
        if (!fileExists(std::string(entry.path))) {
            if (sel.missing.empty()) sel.missing = std::string(entry.path);
            continue;
        }
        ++found;
        if (*count != -1 && *count < found) {
            choose(sel, list, i, *count, true);
            return sel;
        }
    }
    finishFromWholeList(sel, list, found, random, fileExists);
    return sel;
}

bool anyPlayable(const SongList& list, const FileExists& fileExists,
                 const std::set<std::size_t>& failed)
{
    for (std::size_t i = 0; i < list.count(); ++i) {
        if (failed.count(i)) continue;
        const SongEntry entry = splitEntry(list.get(i));
        const std::optional<int> count = parseCount(entry.countText);
        if (count && *count != -1 && fileExists(std::string(entry.path))) return true;
    }
    return false;
}

} // namespace larkspur
