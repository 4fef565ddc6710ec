// Audio percentages turned into DirectX levels in hundredths of a decibel: volume -(100 - p)^2
// (100 and above: 0, below 0: -10000), pan p^2 with the sign of p, within +-10000. Plain C++ with
// no other header, shared by the engine's audio classes and the Tuvra library.
// Squares, not pow: pow(100, log10(x)) comes out one short for some whole x.
#pragma once
#include <cstdint>

inline int32_t VornVolumeToLevel(float percent)
{
    if (percent > 100.0f) return 0;
    if (percent < 0.0f) return -10000;
    const float down = 100.0f - percent;
    return static_cast<int32_t>(-(down * down));
}

inline int32_t VornPanToLevel(float percent)
{
    if (percent > 100.0f) return 10000;
    if (percent < -100.0f) return -10000;
    const int32_t level = static_cast<int32_t>(percent * percent);
    return percent < 0.0f ? -level : level;
}
