#include "app/PlatformChoice.h"

namespace sonavista {

PlatformChoice PlatformChoice::decide(const Session& session) {
    PlatformChoice choice;
    if (session.waylandDisplay && session.layerShell) {
        choice.overlay = OverlayRoute::layerShell;
        return choice;
    }
    // The platform Qt will run on: the user's choice, else xcb where Wayland cannot host the
    // overlay and an X server can, else Qt's own pick (Wayland on a Wayland session).
    std::string platform = session.requestedPlatform;
    if (platform.empty() && session.waylandDisplay && session.x11Display) {
        platform = "xcb";
        choice.qtPlatform = platform;
    }
    const bool onX11 = platform.rfind("xcb", 0) == 0 || (platform.empty() && !session.waylandDisplay);
    choice.noDisplay = (onX11 && !session.x11Display) || (platform.rfind("wayland", 0) == 0 && !session.waylandDisplay);
    if (onX11) {
        if (session.x11Display) {
            choice.overlay = OverlayRoute::x11Window;
            if (session.waylandDisplay) {
                choice.belowWindowsOnly = true;
                choice.limitation = "On this Wayland desktop the overlay stays on the desktop layer, below windows: "
                                    "drawn through XWayland above them it would catch their clicks.";
            }
        } else {
            choice.unavailableReason = "The overlay cannot be shown: no X11 display or Wayland compositor was found.";
        }
    } else if (session.waylandDisplay && !session.x11Display) {
        choice.unavailableReason =
            "The overlay cannot be shown: this Wayland compositor offers neither layer-shell nor XWayland.";
    } else {
        choice.unavailableReason = "The overlay cannot be shown on Qt's \"" + platform +
                                   "\" platform (QT_QPA_PLATFORM); unset it to use XWayland.";
    }
    return choice;
}

}  // namespace sonavista
