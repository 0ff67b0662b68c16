#include "playback/Fader.h"

#include <algorithm>

namespace larkspur {

int fadeStepFor(int fadeSpeed, int volume)
{
    const long long step = static_cast<long long>(fadeSpeed) * volume / 1000;
    return static_cast<int>(std::clamp<long long>(step, 1, kMaxVolume));
}

FadeTick fadeTick(int deviceVolume, int volume, int step, bool fadingIn, bool closeAfterFade,
                  bool nextAfterFade)
{
    step = std::max(step, 1);
    if (fadingIn) {
        const int v = deviceVolume + step;
        if (v >= volume) return {volume, FadeEnd::FadedIn};
        return {v, FadeEnd::Continue};
    }
    const int v = deviceVolume - step;
    if (v > 0) return {v, FadeEnd::Continue};
    if (closeAfterFade) return {0, FadeEnd::Close};
    if (nextAfterFade) return {0, FadeEnd::PlayNext};
    return {0, FadeEnd::TogglePause};
}

} // namespace larkspur
