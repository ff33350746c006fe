#pragma once

#include "visualizer/OverlayWindowLevel.h"

#include <set>
#include <vector>

namespace sonavista {

// Where a window that no window manager stacks (the overlay) belongs among the top-level
// windows of a screen: floating, directly above the topmost managed window; on the desktop
// layer, directly above the topmost desktop window, below every other managed window. Without
// such an anchor (no window manager, or no desktop window) it goes to the very top or bottom.
// Other unmanaged windows (menus, tooltips) are left where they are.
struct OverlayStacking {
    enum class Move { none, aboveSibling, top, bottom };
    Move move = Move::none;
    unsigned long sibling = 0;  // for aboveSibling
    bool operator==(const OverlayStacking&) const = default;

    // `bottomToTop` lists the top-level windows (frames) in stacking order; `managed` those
    // that hold a window the window manager manages, `desktop` those holding a desktop window.
    static OverlayStacking plan(const std::vector<unsigned long>& bottomToTop, unsigned long overlay,
                                const std::set<unsigned long>& managed, const std::set<unsigned long>& desktop,
                                OverlayWindowLevel level);
};

}  // namespace sonavista
