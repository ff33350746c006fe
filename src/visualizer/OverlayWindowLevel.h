#pragma once

namespace sonavista {

// The two stacking levels of the overlay panel.
enum class OverlayWindowLevel {
    floating,           // above ordinary windows
    belowDesktopIcons,  // above the desktop background, below every ordinary window
};

}  // namespace sonavista
