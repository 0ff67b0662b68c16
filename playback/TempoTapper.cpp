#include "playback/TempoTapper.h"

#include <chrono>

namespace larkspur {

TempoTapper::TempoTapper(Clock clock) : m_clock(std::move(clock))
{
    if (!m_clock) {
        m_clock = [] {
            using namespace std::chrono;
            return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
        };
    }
    reset();
}

std::optional<int> TempoTapper::tap()
{
    return tapAt(m_clock());
}

std::optional<int> TempoTapper::tapAt(std::int64_t nowMs)
{
    // A tap at the same instant as the last one would give no interval to divide by.
    if (m_taps[0] != kEmpty && nowMs <= m_taps[0]) return std::nullopt;

    std::optional<int> bpm;
    for (std::size_t k = kSlots; k-- > 0;) {
        if (m_taps[k] == kEmpty) continue;
        // k + 1 intervals between the oldest remembered tap and now.
        const std::int64_t elapsedMs = nowMs - m_taps[k];
        bpm = static_cast<int>(static_cast<std::int64_t>(k + 1) * 60000 / elapsedMs);
        break;
    }
    for (std::size_t k = kSlots - 1; k > 0; --k)
        m_taps[k] = m_taps[k - 1];
    m_taps[0] = nowMs;
    return bpm;
}

} // namespace larkspur
