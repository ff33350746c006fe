#pragma once

#include "visualizer/OverlayRect.h"

namespace sonavista {

// One screen of the desktop: its full frame and its visible frame (the full frame less
// panels and docks reserved by the desktop).
struct OverlayScreen {
    OverlayRect frame;
    OverlayRect visibleFrame;

    friend bool operator==(const OverlayScreen&, const OverlayScreen&) = default;
};

}  // namespace sonavista
