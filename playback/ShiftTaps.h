#pragma once
// Which presses of Shift are tempo taps. Where text is typed, Shift also makes capitals, so
// there a press counts only once Shift comes up with no other key pressed meanwhile, and the
// tap is dated at the press. Elsewhere every press taps at once, a held key's repeats too.
// Shift held with Ctrl or Alt is part of a shortcut: never a tap. Times in milliseconds, from
// the tempo meter's clock; interface thread only.

#include <cstdint>
#include <optional>

namespace larkspur {

class ShiftTaps
{
  public:
    struct Press
    {
        std::int64_t timeMs = 0;
        bool inTextField = false; // the key goes to a control that takes typed text
        bool withCtrlOrAlt = false;
        bool autoRepeat = false;
    };

    // Shift went down. Returns the time of a tap to record now, if any.
    std::optional<std::int64_t> pressed(const Press& press);
    // Shift came up (a release of a held key's repeat is no release).
    std::optional<std::int64_t> released(bool autoRepeat = false);
    // Any other key or a mouse button went down: a Shift held in a text field is no tap.
    void otherInput() { m_heldSinceMs.reset(); }

  private:
    std::optional<std::int64_t> m_heldSinceMs; // a lone Shift in a text field, not yet up
};

} // namespace larkspur
