#include "visualizer/OverlayLayout.h"

#include <algorithm>

namespace sonavista {

OverlayWindowLevel OverlayLayout::windowLevel(bool avoidsCoveringWindows, OverlayDisplayMode mode) {
    if (!avoidsCoveringWindows && mode == OverlayDisplayMode::compact) {
        return OverlayWindowLevel::floating;
    }
    return OverlayWindowLevel::desktopLayer;
}

std::optional<std::size_t> OverlayLayout::targetScreen(const std::vector<OverlayScreen>& screens,
                                                       std::optional<std::size_t> mainScreen,
                                                       std::optional<OverlayPoint> pointer) {
    if (pointer) {
        for (std::size_t i = 0; i < screens.size(); ++i) {
            if (screens[i].frame.contains(pointer->x, pointer->y)) {
                return i;
            }
        }
    }
    if (mainScreen && *mainScreen < screens.size()) {
        return mainScreen;
    }
    if (!screens.empty()) {
        return std::size_t{0};
    }
    return std::nullopt;
}

OverlayRect OverlayLayout::frame(OverlayDisplayMode mode, OverlayPosition position, const OverlayScreen& screen) {
    const OverlayRect& full = screen.frame;
    if (mode == OverlayDisplayMode::fullscreenFog) {
        return full;
    }
    const OverlayRect& visible = screen.visibleFrame;
    switch (position) {
        case OverlayPosition::top:
            return {full.minX(), visible.maxY() - bandHeight - bandInset, full.width, bandHeight};
        case OverlayPosition::bottom:
            return {full.minX(), visible.minY() + bandInset, full.width, bandHeight};
        case OverlayPosition::center:
            break;
    }
    const double height =
        std::clamp(visible.height * centerBandShare, centerBandMinHeight, centerBandMaxHeight);
    return {full.minX(), visible.midY() - height / 2.0, full.width, height};
}

}  // namespace sonavista
