#include "visualizer/OverlayStacking.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

using sonavista::OverlayStacking;
using sonavista::OverlayWindowLevel;
using Move = OverlayStacking::Move;

// Windows: 1 desktop frame, 2 and 3 application frames, 8 a menu (unmanaged), 9 the overlay.
TEST(OverlayStackingTest, KeepsTheOverlayBetweenTheRightNeighbours) {
    const auto floating = OverlayWindowLevel::floating, desktopLayer = OverlayWindowLevel::desktopLayer;
    using Window = unsigned long;
    using Windows = std::set<Window>;
    using Case = std::tuple<const char*, std::vector<Window>, Windows, Windows, OverlayWindowLevel, OverlayStacking>;
    const Case cases[] = {
        {"floating, in place under a menu", {1, 2, 3, 9, 8}, {1, 2, 3}, {1}, floating, {}},
        {"floating, a window raised over it", {1, 2, 9, 3}, {1, 2, 3}, {1}, floating, {Move::aboveSibling, 3}},
        {"desktop layer, in place with a menu between", {1, 8, 9, 2, 3}, {1, 2, 3}, {1}, desktopLayer, {}},
        {"desktop layer, a window lowered under it", {1, 2, 9, 3}, {1, 2, 3}, {1}, desktopLayer,
         {Move::aboveSibling, 1}},
        {"desktop layer, the desktop raised over it", {9, 1, 2}, {1, 2}, {1}, desktopLayer, {Move::aboveSibling, 1}},
        {"desktop layer, above the topmost of two desktops", {1, 9, 4, 2}, {1, 2, 4}, {1, 4}, desktopLayer,
         {Move::aboveSibling, 4}},
        {"no window manager, floating", {2, 9, 3}, {}, {}, floating, {Move::top}},
        {"no desktop window, desktop layer", {2, 9, 3}, {2, 3}, {}, desktopLayer, {Move::bottom}},
    };
    for (const auto& [what, bottomToTop, managed, desktop, level, expected] : cases) {
        EXPECT_EQ(OverlayStacking::plan(bottomToTop, 9, managed, desktop, level), expected) << what;
    }
}

}  // namespace
