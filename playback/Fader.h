#pragma once
// Fade arithmetic: one tick of a volume ramp and the action at its end. The timer that
// drives it only applies the result.

namespace larkspur {

inline constexpr int kMaxVolume = 1000;
inline constexpr int kFadeIntervalMs = 15;

// Volume change per tick: speed x volume / 1000, at least 1 so that every fade ends,
// also at a tiny volume or a speed of 0 or below.
int fadeStepFor(int fadeSpeed, int volume);

enum class FadeEnd {
    Continue,   // the fade goes on: re-arm the timer
    FadedIn,    // a fade-in reached the user's volume
    Close,      // fade-out done: stop the player and close the window
    PlayNext,   // fade-out done: play the pending song, then fade in
    TogglePause // fade-out done: the player's pause command
};

struct FadeTick
{
    int level;   // the volume to send to the player now
    FadeEnd end;
};

FadeTick fadeTick(int deviceVolume, int volume, int step, bool fadingIn, bool closeAfterFade,
                  bool nextAfterFade);

} // namespace larkspur
