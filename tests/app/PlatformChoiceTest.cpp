#include "app/PlatformChoice.h"

#include <gtest/gtest.h>

#include <tuple>

namespace sonavista {
namespace {

TEST(PlatformChoiceTest, PicksTheOverlayRouteAndQtPlatform) {
    using Route = PlatformChoice::OverlayRoute;
    const std::optional<std::string> own;  // Qt keeps its own pick
    const bool fatal = true;  // Qt would find no display: the application exits first
    // Wayland, layer-shell, X display, QT_QPA_PLATFORM; the route; the platform handed to Qt.
    const std::tuple<PlatformChoice::Session, Route, std::optional<std::string>, bool> cases[] = {
        // Layer-shell wins whatever Qt runs on.
        {{true, true, true, ""}, Route::layerShell, own, false},
        {{true, true, false, ""}, Route::layerShell, own, false},
        {{true, true, true, "xcb"}, Route::layerShell, own, false},
        // GNOME-like: no layer-shell, XWayland there: the whole application runs on xcb.
        {{true, false, true, ""}, Route::x11Window, "xcb", false},
        {{true, false, true, "xcb"}, Route::x11Window, own, false},
        // Neither route.
        {{true, false, false, ""}, Route::none, own, false},
        {{true, false, true, "wayland"}, Route::none, own, false},
        // Plain X11 sessions (a dead WAYLAND_DISPLAY counts as none).
        {{false, false, true, ""}, Route::x11Window, own, false},
        {{false, false, true, "offscreen"}, Route::none, own, false},
        // No display at all, or none for the platform asked for.
        {{false, false, false, ""}, Route::none, own, fatal},
        {{true, false, false, "xcb"}, Route::none, own, fatal},
        {{false, false, true, "wayland"}, Route::none, own, fatal},
        {{false, false, false, "offscreen"}, Route::none, own, false},
    };
    for (const auto& [session, overlay, qtPlatform, noDisplay] : cases) {
        SCOPED_TRACE(::testing::Message() << session.waylandDisplay << session.layerShell << session.x11Display
                                          << session.requestedPlatform);
        const auto choice = PlatformChoice::decide(session);
        EXPECT_EQ(choice.overlay, overlay);
        EXPECT_EQ(choice.qtPlatform, qtPlatform);
        EXPECT_EQ(choice.noDisplay, noDisplay);
        // A reason is given exactly when the overlay cannot be shown.
        EXPECT_EQ(choice.unavailableReason.empty(), overlay != Route::none) << choice.unavailableReason;
        // Only the XWayland route keeps the overlay below windows, and says so.
        const bool xwayland = overlay == Route::x11Window && session.waylandDisplay;
        EXPECT_EQ(choice.belowWindowsOnly, xwayland);
        EXPECT_EQ(choice.limitation.empty(), !xwayland);
    }
}

}  // namespace
}  // namespace sonavista
