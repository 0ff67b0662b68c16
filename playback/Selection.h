#pragma once
// The weighted draw that picks the next song. Pure decision logic: the random source and
// the file test are injected, nothing is opened or logged here.

#include "playback/SongList.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <set>
#include <string>

namespace larkspur {

class RandomSource
{
public:
    virtual ~RandomSource() = default;
    // Uniform integer in [0, n), n > 0.
    virtual std::size_t below(std::size_t n) = 0;
    // Called once at the start of every selection; a clock-seeded source reseeds here.
    virtual void seedFromClock() {}
};

// Mersenne twister seeded from the milliseconds of the time of day.
class TimeSeededRandom : public RandomSource
{
public:
    TimeSeededRandom();
    explicit TimeSeededRandom(std::uint64_t seed) : m_engine(seed) {}
    std::size_t below(std::size_t n) override;
    void seedFromClock() override { m_engine.seed(millisecondsOfDay()); }
    static std::uint64_t millisecondsOfDay();

private:
    std::mt19937_64 m_engine;
};

using FileExists = std::function<bool(const std::string& path)>;

struct Selection
{
    enum class Outcome {
        Chosen,  // index/path/newEntry describe the song to start
        GaveUp,  // nothing in the list can be accepted: nothing plays, nothing changes
        Nothing, // empty list or an index outside it
    };
    Outcome outcome = Outcome::Nothing;
    std::size_t index = 0;
    std::string path;
    // The entry to write back (count + 1, at most 2147483647, the largest count that reads
    // back). Empty for a malformed entry picked by index:
    // it stays unchanged and its start counts as a playback failure.
    std::string newEntry;
    bool malformed = false;
    int draws = 0; // random draws made entry by entry
    // The first well-formed entry whose file was missing when a random draw met it: passed
    // over, and worth a word.
    std::string missing;
};

// index -1: weighted random draw; any other value: that entry, always accepted.
//
// Every draw of an existing file raises the bar by one; an entry with play count c is
// accepted from the (c+1)-th existing-file draw of the call on. Missing files, banned
// entries (-1) and malformed entries are never accepted at random. The call gives up only
// when no entry can be accepted; it takes bounded time whatever the counts, and each entry's
// chance is exactly that of drawing until acceptance.
Selection drawSong(const SongList& list, long long index, RandomSource& random,
                   const FileExists& fileExists);

// Whether the random draw could still accept an entry other than those in `failed` (entries
// whose start failed): a well-formed, unbanned entry whose file exists.
bool anyPlayable(const SongList& list, const FileExists& fileExists,
                 const std::set<std::size_t>& failed);

} // namespace larkspur
