#pragma once
// The tempo meter: beats per minute from the last taps, averaged over up to five intervals.
// Times come from an injected clock in milliseconds, so tests need no timer.
//
// TapTempo:          if (auto bpm = tapper.tap()) lbpm->setText(QString::number(*bpm));
// every song start:  tapper.reset(); lbpm->setText("0");

#include <array>
#include <climits>
#include <cstdint>
#include <functional>
#include <optional>

namespace larkspur {

class TempoTapper
{
  public:
    using Clock = std::function<std::int64_t()>; // milliseconds, never going back

    // Default clock: a monotonic one, so changes of the wall clock do not disturb the meter.
    explicit TempoTapper(Clock clock = {});

    // Records a tap at the clock's time. Returns the tempo to show, truncated to a whole
    // number, or nothing when the caption stays (the first tap after a reset, or a tap that
    // is not later than the previous one, which is ignored altogether).
    std::optional<int> tap();
    std::optional<int> tapAt(std::int64_t nowMs);
    std::int64_t nowMs() const { return m_clock(); }

    // Forgets every tap (program start, every song start).
    void reset() { m_taps.fill(kEmpty); }

  private:
    static constexpr std::int64_t kEmpty = INT64_MIN;
    static constexpr std::size_t kSlots = 5;

    Clock m_clock;
    std::array<std::int64_t, kSlots> m_taps; // newest first
};

} // namespace larkspur
