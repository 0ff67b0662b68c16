#pragma once
// Wall-clock timing shared by the benchmark programs.

#include <algorithm>
#include <chrono>

namespace larkspur::bench {

using Clock = std::chrono::steady_clock;

inline double msSince(Clock::time_point t)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// The fastest of several runs: the least disturbed by other work on the machine.
template <typename F> double bestOf(int runs, F f)
{
    double best = 1e18;
    for (int i = 0; i < runs; ++i) {
        const auto t = Clock::now();
        f();
        best = std::min(best, msSince(t));
    }
    return best;
}

} // namespace larkspur::bench
