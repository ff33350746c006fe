#include "visualizer/DesktopCoordinates.h"

#include <cmath>

namespace sonavista {

DesktopCoordinates DesktopCoordinates::forScreens(const std::vector<OverlayScreen>& windowSystemScreens,
                                                  std::optional<std::size_t> primaryIndex) {
    if (windowSystemScreens.empty()) {
        return DesktopCoordinates(0.0);
    }
    std::size_t index = 0;
    if (primaryIndex && *primaryIndex < windowSystemScreens.size()) {
        index = *primaryIndex;
    }
    return DesktopCoordinates(windowSystemScreens[index].frame.maxY());
}

OverlayRect DesktopCoordinates::toLayout(const OverlayRect& r) const {
    return {r.x, primaryBottom_ - (r.y + r.height), r.width, r.height};
}

OverlayRect DesktopCoordinates::toWindowSystem(const OverlayRect& r) const {
    return {r.x, primaryBottom_ - (r.y + r.height), r.width, r.height};
}

OverlayScreen DesktopCoordinates::toLayout(const OverlayScreen& s) const {
    return {toLayout(s.frame), toLayout(s.visibleFrame)};
}

OverlayPoint DesktopCoordinates::pointerToLayout(const OverlayPoint& p) const {
    return {p.x + 0.5, primaryBottom_ - (p.y + 0.5)};
}

PixelRect DesktopCoordinates::toPixels(const OverlayRect& r) {
    const auto left = static_cast<int>(std::lround(r.minX()));
    const auto top = static_cast<int>(std::lround(r.minY()));
    const auto right = static_cast<int>(std::lround(r.maxX()));
    const auto bottom = static_cast<int>(std::lround(r.maxY()));
    return {left, top, right - left, bottom - top};
}

}  // namespace sonavista
