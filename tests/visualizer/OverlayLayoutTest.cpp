#include "visualizer/DesktopCoordinates.h"
#include "visualizer/OverlayLayout.h"

#include <gtest/gtest.h>

namespace sonavista {
namespace {

TEST(OverlayLayoutTest, PlacesThePanel) {
    using M = OverlayDisplayMode;
    using P = OverlayPosition;
    const std::tuple<M, P, OverlayScreen, OverlayRect> cases[] = {
        // 0.25 × 600 = 150 is raised to 190; 0.25 × 1600 = 400 is lowered to 280.
        {M::compact, P::center, {{0, 0, 1000, 650}, {0, 0, 1000, 600}}, {0, 205, 1000, 190}},
        {M::compact, P::center, {{0, 0, 2560, 1650}, {0, 0, 2560, 1600}}, {0, 660, 2560, 280}},
        // The band takes the full frame's width even where the visible frame is narrower
        // (a dock at the side) and its height from the visible frame.
        {M::compact, P::bottom, {{-1920, 0, 1920, 1080}, {-1856, 40, 1856, 1010}}, {-1920, 68, 1920, 150}},
        // Fog covers the full frame, whatever the position and the visible frame.
        {M::fullscreenFog, P::bottom, {{-1920, 200, 1920, 1080}, {-1920, 200, 1920, 1050}}, {-1920, 200, 1920, 1080}},
    };
    for (const auto& [mode, position, screen, expected] : cases) {
        EXPECT_EQ(OverlayLayout::frame(mode, position, screen), expected);
    }
}

TEST(OverlayLayoutTest, TargetScreenFollowsThePointerThenMainThenFirst) {
    // Main screen at the origin, a second one to its left at negative x.
    const std::vector<OverlayScreen> screens = {
        {{0, 0, 1440, 900}, {0, 0, 1440, 875}},
        {{-1920, -180, 1920, 1080}, {-1920, -180, 1920, 1080}},
    };
    const std::tuple<std::optional<OverlayPoint>, std::optional<std::size_t>, std::optional<std::size_t>> cases[] = {
        {OverlayPoint{-10, 500}, 0, 1},
        {OverlayPoint{0, 0}, 1, 0},                   // low edges belong to the screen
        {OverlayPoint{1440, 100}, 1, 1},              // high edge does not: falls back to main
        {OverlayPoint{-100, 2000}, std::nullopt, 0},  // no main screen: first one
        {OverlayPoint{-100, 2000}, 7, 0},             // stale main index: first one
        {std::nullopt, 1, 1},
    };
    for (const auto& [pointer, main, expected] : cases) {
        EXPECT_EQ(OverlayLayout::targetScreen(screens, main, pointer), expected);
    }
}

// Window-system coordinates (top-left origin) flip about the bottom of the reference screen.
TEST(DesktopCoordinatesTest, FlipsAboutTheReferenceScreensBottom) {
    // A 1440 × 900 screen whose top is 100 px lower, left of the 1920 × 1080 reference.
    const std::vector<OverlayScreen> screens = {{{-1440, 100, 1440, 900}, {-1440, 100, 1440, 900}},
                                                {{0, 0, 1920, 1080}, {0, 32, 1920, 1048}}};
    const OverlayRect band{0, 60, 1920, 150};
    EXPECT_EQ(DesktopCoordinates::forScreens(screens, 1).toLayout(screens[0].frame),
              (OverlayRect{-1440, 80, 1440, 900}));
    // Without a usable reference the first screen is the reference; without screens, y = 0.
    for (const std::optional<std::size_t> reference : {std::optional<std::size_t>(), std::optional<std::size_t>(5)}) {
        EXPECT_EQ(DesktopCoordinates::forScreens(screens, reference).toLayout(band), (OverlayRect{0, 790, 1920, 150}));
    }
    EXPECT_EQ(DesktopCoordinates::forScreens({}, std::nullopt).toLayout(band), (OverlayRect{0, -210, 1920, 150}));
}

// Edges are rounded, not the width, so neighbours that share an edge stay adjacent.
TEST(DesktopCoordinatesTest, RoundsEdges) {
    EXPECT_EQ(DesktopCoordinates::toPixels({0.4, 0.6, 10.2, 10.2}), (PixelRect{0, 1, 11, 10}));
    EXPECT_EQ(DesktopCoordinates::toPixels({-1920.5, -0.5, 1920.5, 1.0}), (PixelRect{-1921, -1, 1921, 2}));
}

}  // namespace
}  // namespace sonavista
