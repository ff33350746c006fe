#include "visualizer/DesktopCoordinates.h"
#include "visualizer/OverlayLayout.h"

#include <gtest/gtest.h>

namespace sonavista {
namespace {

// The reference screen: full frame 1440 × 900, visible frame 875 high (menu bar above).
const OverlayScreen laptop{{0, 0, 1440, 900}, {0, 0, 1440, 875}};

struct FrameCase {
    const char* name;
    OverlayDisplayMode mode;
    OverlayPosition position;
    OverlayScreen screen;
    OverlayRect expected;
    // Names the case in test output instead of dumping its bytes.
    friend void PrintTo(const FrameCase& c, std::ostream* os) { *os << c.name; }
};

class OverlayFrameTest : public ::testing::TestWithParam<FrameCase> {};

TEST_P(OverlayFrameTest, PlacesThePanel) {
    const auto& c = GetParam();
    EXPECT_EQ(OverlayLayout::frame(c.mode, c.position, c.screen), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, OverlayFrameTest,
    ::testing::Values(
        FrameCase{"top", OverlayDisplayMode::compact, OverlayPosition::top, laptop, {0, 697, 1440, 150}},
        FrameCase{"bottom", OverlayDisplayMode::compact, OverlayPosition::bottom, laptop, {0, 28, 1440, 150}},
        FrameCase{"center", OverlayDisplayMode::compact, OverlayPosition::center, laptop, {0, 328.125, 1440, 218.75}},
        // 0.25 × 600 = 150 is raised to 190; 0.25 × 1600 = 400 is lowered to 280.
        FrameCase{"centerRaised", OverlayDisplayMode::compact, OverlayPosition::center,
                  {{0, 0, 1000, 650}, {0, 0, 1000, 600}}, {0, 205, 1000, 190}},
        FrameCase{"centerLowered", OverlayDisplayMode::compact, OverlayPosition::center,
                  {{0, 0, 2560, 1650}, {0, 0, 2560, 1600}}, {0, 660, 2560, 280}},
        // The band takes the full frame's width even where the visible frame is narrower
        // (a dock at the side) and its height from the visible frame.
        FrameCase{"sideDock", OverlayDisplayMode::compact, OverlayPosition::bottom,
                  {{-1920, 0, 1920, 1080}, {-1856, 40, 1856, 1010}}, {-1920, 68, 1920, 150}},
        FrameCase{"fogIsFullFrame", OverlayDisplayMode::fullscreenFog, OverlayPosition::top, laptop,
                  {0, 0, 1440, 900}},
        FrameCase{"fogIgnoresPosition", OverlayDisplayMode::fullscreenFog, OverlayPosition::bottom,
                  {{-1920, 200, 1920, 1080}, {-1920, 200, 1920, 1050}}, {-1920, 200, 1920, 1080}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OverlayLayoutTest, OnlyCompactWithCoveringAllowedFloats) {
    struct Case {
        bool avoids;
        OverlayDisplayMode mode;
        OverlayWindowLevel expected;
    };
    const Case cases[] = {
        {false, OverlayDisplayMode::compact, OverlayWindowLevel::floating},
        {true, OverlayDisplayMode::compact, OverlayWindowLevel::belowDesktopIcons},
        {false, OverlayDisplayMode::fullscreenFog, OverlayWindowLevel::belowDesktopIcons},
        {true, OverlayDisplayMode::fullscreenFog, OverlayWindowLevel::belowDesktopIcons},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OverlayLayout::windowLevel(c.avoids, c.mode), c.expected) << c.avoids;
    }
}

TEST(OverlayLayoutTest, TargetScreenFollowsThePointerThenMainThenFirst) {
    // Main screen at the origin, a second one to its left at negative x.
    const std::vector<OverlayScreen> screens = {
        {{0, 0, 1440, 900}, {0, 0, 1440, 875}},
        {{-1920, -180, 1920, 1080}, {-1920, -180, 1920, 1080}},
    };
    struct Case {
        std::optional<OverlayPoint> pointer;
        std::optional<std::size_t> main;
        std::optional<std::size_t> expected;
    };
    const Case cases[] = {
        {OverlayPoint{-10, 500}, 0, 1},
        {OverlayPoint{10, 500}, 1, 0},
        {OverlayPoint{0, 0}, 1, 0},            // low edges belong to the screen
        {OverlayPoint{1440, 100}, 1, 1},       // high edge does not: falls back to main
        {OverlayPoint{-100, 2000}, 1, 1},      // between displays: main screen
        {OverlayPoint{-100, 2000}, std::nullopt, 0},  // no main screen: first one
        {OverlayPoint{-100, 2000}, 7, 0},      // stale main index: first one
        {std::nullopt, 1, 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OverlayLayout::targetScreen(screens, c.main, c.pointer), c.expected);
    }
    EXPECT_EQ(OverlayLayout::targetScreen({}, 0, OverlayPoint{1, 1}), std::nullopt);
}

TEST(DesktopCoordinatesTest, ConvertsBetweenTopLeftAndYUp) {
    // Window-system view: primary 1920 × 1080 at the origin, a 1440 × 900 screen to its
    // left whose top is 100 px lower, and one above the primary.
    const std::vector<OverlayScreen> windowSystem = {
        {{-1440, 100, 1440, 900}, {-1440, 100, 1440, 900}},
        {{0, 0, 1920, 1080}, {0, 32, 1920, 1048}},  // a 32 px panel at the top
        {{0, -1200, 1920, 1200}, {0, -1200, 1920, 1200}},
    };
    const auto coordinates = DesktopCoordinates::forScreens(windowSystem, 1);

    EXPECT_EQ(coordinates.toLayout(windowSystem[1]),
              (OverlayScreen{{0, 0, 1920, 1080}, {0, 0, 1920, 1048}}));
    EXPECT_EQ(coordinates.toLayout(windowSystem[0].frame), (OverlayRect{-1440, 80, 1440, 900}));
    EXPECT_EQ(coordinates.toLayout(windowSystem[2].frame), (OverlayRect{0, 1080, 1920, 1200}));

    // Round trip for every rectangle, fractional ones included.
    for (const OverlayRect r : {OverlayRect{-1440, 80, 1440, 900}, OverlayRect{0, 328.125, 1440, 218.75}}) {
        EXPECT_EQ(coordinates.toWindowSystem(coordinates.toLayout(r)), r);
    }
    // The top band of the primary (y-up 0, 870) sits 60 px below its top panel.
    EXPECT_EQ(coordinates.toWindowSystem({0, 870, 1920, 150}), (OverlayRect{0, 60, 1920, 150}));

    // The pointer pixel is taken at its centre: the top-left pixel of the primary screen
    // lies inside it, the pixel just above lies on the screen above.
    EXPECT_EQ(coordinates.pointerToLayout({0, 0}), (OverlayPoint{0.5, 1079.5}));
    EXPECT_EQ(coordinates.pointerToLayout({-1, -1}), (OverlayPoint{-0.5, 1080.5}));
}

TEST(DesktopCoordinatesTest, ReferenceFallsBackToFirstScreen) {
    const std::vector<OverlayScreen> screens = {{{0, 0, 800, 600}, {0, 0, 800, 600}}};
    for (const std::optional<std::size_t> reference : {std::optional<std::size_t>(), std::optional<std::size_t>(5)}) {
        EXPECT_EQ(DesktopCoordinates::forScreens(screens, reference).toLayout(OverlayRect{0, 0, 800, 100}),
                  (OverlayRect{0, 500, 800, 100}));
    }
    EXPECT_EQ(DesktopCoordinates::forScreens({}, std::nullopt).toLayout(OverlayRect{0, 0, 800, 100}),
              (OverlayRect{0, -100, 800, 100}));
}

TEST(DesktopCoordinatesTest, RoundsEdgesSoNeighboursStayAdjacent) {
    struct Case {
        OverlayRect in;
        PixelRect out;
    };
    const Case cases[] = {
        {{0, 352.125, 1440, 218.75}, {0, 352, 1440, 219}},
        {{0.4, 0.6, 10.2, 10.2}, {0, 1, 11, 10}},
        {{-1920.5, -0.5, 1920.5, 1.0}, {-1921, -1, 1921, 2}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DesktopCoordinates::toPixels(c.in), c.out);
    }
    // Two halves that share an edge at 100.5 still share it after rounding.
    const auto left = DesktopCoordinates::toPixels({0, 0, 100.5, 10});
    const auto right = DesktopCoordinates::toPixels({100.5, 0, 99.5, 10});
    EXPECT_EQ(left.x + left.width, right.x);
}

}  // namespace
}  // namespace sonavista
