#pragma once

#include <optional>
#include <string>

namespace sonavista {

// How the overlay reaches the screen, decided once before the Qt application object exists
// (Qt reads its platform from the environment when it is created).
//
// A Wayland compositor that offers layer-shell gets a layer surface of our own, whatever
// platform Qt uses for the settings window and the tray. Without layer-shell a Wayland
// window cannot float over the desktop, so the whole application runs through XWayland
// (Qt's `xcb` platform) when an X display is there. A platform the user chose with
// QT_QPA_PLATFORM is kept.
struct PlatformChoice {
    enum class OverlayRoute { layerShell, x11Window, none };

    // What the session offers, read from the environment and the compositor.
    struct Session {
        bool waylandDisplay = false;   // WAYLAND_DISPLAY set and the compositor answered
        bool layerShell = false;       // it offers zwlr_layer_shell_v1
        bool x11Display = false;       // an X server answered at DISPLAY
        std::string requestedPlatform;  // QT_QPA_PLATFORM, empty when unset
    };

    OverlayRoute overlay = OverlayRoute::none;
    // The platform to hand Qt, when it must not pick its own.
    std::optional<std::string> qtPlatform;
    // Why the overlay cannot be shown (route none), one line for the settings window.
    std::string unavailableReason;
    // The platform Qt will run on has no display to connect to: Qt would abort, so the
    // application says what is missing and exits instead.
    bool noDisplay = false;
    // Through XWayland (GNOME on Wayland) the overlay is kept below windows even when set to
    // float: Mutter 43 gives an XWayland window that keeps drawing the clicks meant for the
    // windows under it, whatever its input shape says. `limitation` says so in one line.
    bool belowWindowsOnly = false;
    std::string limitation;

    static PlatformChoice decide(const Session& session);
};

}  // namespace sonavista
