#pragma once

#include "base/ClampToRange.h"

#include <cmath>

namespace sonavista {

// The audio level as the whole percentage the menu and the settings window show
// ("Live 42%"): clamped to 0...100, halves rounded up, NaN reads as 0.
inline long audioLevelPercent(double level) {
    return std::lround(clampToRange(level, 0.0, 1.0) * 100.0);
}

}  // namespace sonavista
