#pragma once

namespace sonavista {

// The two stacking levels of the overlay panel.
enum class OverlayWindowLevel {
    floating,      // above ordinary windows
    desktopLayer,  // just above the desktop window (and its icons), below every ordinary window
};

}  // namespace sonavista
