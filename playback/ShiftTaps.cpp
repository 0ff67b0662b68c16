#include "playback/ShiftTaps.h"

#include <utility>

namespace larkspur {

std::optional<std::int64_t> ShiftTaps::pressed(const Press& press)
{
    if (press.inTextField && !press.withCtrlOrAlt) {
        // A held key's repeats keep the first press's time.
        if (!press.autoRepeat || !m_heldSinceMs) m_heldSinceMs = press.timeMs;
        return std::nullopt;
    }
    m_heldSinceMs.reset();
    if (press.withCtrlOrAlt) return std::nullopt;
    return press.timeMs;
}

std::optional<std::int64_t> ShiftTaps::released(bool autoRepeat)
{
    if (autoRepeat) return std::nullopt;
    return std::exchange(m_heldSinceMs, std::nullopt);
}

} // namespace larkspur
