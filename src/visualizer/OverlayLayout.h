#pragma once

#include "preferences/OverlayDisplayMode.h"
#include "preferences/OverlayPosition.h"
#include "visualizer/OverlayPoint.h"
#include "visualizer/OverlayRect.h"
#include "visualizer/OverlayScreen.h"
#include "visualizer/OverlayWindowLevel.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace sonavista {

// Where the overlay panel goes and on which level, in y-up global coordinates.
class OverlayLayout {
public:
    static constexpr double bandHeight = 150.0;
    static constexpr double bandInset = 28.0;
    static constexpr double centerBandShare = 0.25;
    static constexpr double centerBandMinHeight = 190.0;
    static constexpr double centerBandMaxHeight = 280.0;

    // Only a compact band with covering allowed floats over windows.
    static OverlayWindowLevel windowLevel(bool avoidsCoveringWindows, OverlayDisplayMode mode);

    // The first screen whose full frame holds the pointer; else the main screen; else the
    // first screen; none when there are no screens (or no pointer and no screens).
    static std::optional<std::size_t> targetScreen(const std::vector<OverlayScreen>& screens,
                                                   std::optional<std::size_t> mainScreen,
                                                   std::optional<OverlayPoint> pointer);

    // Fog covers the full frame; a compact band spans the full frame's width and is placed
    // vertically within the visible frame.
    static OverlayRect frame(OverlayDisplayMode mode, OverlayPosition position, const OverlayScreen& screen);
};

}  // namespace sonavista
