#pragma once

#include "visualizer/OverlayPoint.h"
#include "visualizer/OverlayRect.h"
#include "visualizer/OverlayScreen.h"
#include "visualizer/PixelRect.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace sonavista {

// The one place where the window system's global coordinates (origin at the top left,
// y growing downwards, whole logical pixels) meet the layout's global coordinates
// (y growing upwards, y = 0 at the bottom edge of the primary screen, x shared).
//
// With the primary screen's bottom edge at window-system y = B, a rectangle whose top is
// at window-system y = t and whose height is h has its bottom edge at y-up B - (t + h);
// the mapping is its own inverse.
class DesktopCoordinates {
public:
    explicit DesktopCoordinates(double primaryBottom) : primaryBottom_(primaryBottom) {}

    // Takes the reference from the primary screen (window-system frames), or from the first
    // screen when no primary is known; with no screens the origins coincide.
    static DesktopCoordinates forScreens(const std::vector<OverlayScreen>& windowSystemScreens,
                                         std::optional<std::size_t> primaryIndex);

    OverlayRect toLayout(const OverlayRect& windowSystemRect) const;
    OverlayRect toWindowSystem(const OverlayRect& layoutRect) const;
    OverlayScreen toLayout(const OverlayScreen& windowSystemScreen) const;

    // The pointer reported as a whole pixel is taken at that pixel's centre, so it lies
    // inside exactly one of two screens that touch.
    OverlayPoint pointerToLayout(const OverlayPoint& windowSystemPixel) const;

    // Rounds each edge to the nearest pixel, so frames that touch stay touching.
    static PixelRect toPixels(const OverlayRect& windowSystemRect);

private:
    double primaryBottom_;
};

}  // namespace sonavista
