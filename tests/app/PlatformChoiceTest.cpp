#include "app/PlatformChoice.h"

#include <gtest/gtest.h>

namespace sonavista {
namespace {

using Route = PlatformChoice::OverlayRoute;

struct Case {
    const char* name;
    PlatformChoice::Session session;
    Route overlay;
    std::optional<std::string> qtPlatform;
};

class PlatformChoiceTest : public testing::TestWithParam<Case> {};

TEST_P(PlatformChoiceTest, PicksTheOverlayRouteAndQtPlatform) {
    const auto& c = GetParam();
    const auto choice = PlatformChoice::decide(c.session);
    EXPECT_EQ(choice.overlay, c.overlay);
    EXPECT_EQ(choice.qtPlatform, c.qtPlatform);
    // A reason is given exactly when the overlay cannot be shown.
    EXPECT_EQ(choice.unavailableReason.empty(), c.overlay != Route::none) << choice.unavailableReason;
}

INSTANTIATE_TEST_SUITE_P(
    Sessions, PlatformChoiceTest,
    testing::Values(
        // Layer-shell wins whatever Qt runs on, and Qt keeps its own pick.
        Case{"layerShell", {true, true, true, ""}, Route::layerShell, std::nullopt},
        Case{"layerShellWithoutXWayland", {true, true, false, ""}, Route::layerShell, std::nullopt},
        Case{"layerShellUserPicksXcb", {true, true, true, "xcb"}, Route::layerShell, std::nullopt},
        // GNOME-like: no layer-shell, XWayland there: the whole application runs on xcb.
        Case{"noLayerShellXWayland", {true, false, true, ""}, Route::x11Window, "xcb"},
        Case{"noLayerShellUserPicksXcb", {true, false, true, "xcb"}, Route::x11Window, std::nullopt},
        // Neither route.
        Case{"noLayerShellNoXWayland", {true, false, false, ""}, Route::none, std::nullopt},
        Case{"noLayerShellUserPicksWayland", {true, false, true, "wayland"}, Route::none, std::nullopt},
        // Plain X11 sessions (a dead WAYLAND_DISPLAY counts as none).
        Case{"x11", {false, false, true, ""}, Route::x11Window, std::nullopt},
        Case{"x11UserPicksOffscreen", {false, false, true, "offscreen"}, Route::none, std::nullopt},
        Case{"nothing", {false, false, false, ""}, Route::none, std::nullopt}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace sonavista
