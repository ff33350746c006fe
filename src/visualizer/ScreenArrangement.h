#pragma once

#include "visualizer/OverlayPoint.h"
#include "visualizer/OverlayScreen.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

namespace sonavista {

// The screens of the desktop and the pointer, in window-system global coordinates
// (origin top left, y downwards, logical pixels).
class ScreenArrangement {
public:
    virtual ~ScreenArrangement() = default;

    virtual std::vector<OverlayScreen> screens() const = 0;
    // Index into screens() of the main (primary) screen, if there is one.
    virtual std::optional<std::size_t> mainScreen() const = 0;
    // The pixel under the pointer, if the pointer position is known.
    virtual std::optional<OverlayPoint> pointer() const = 0;
    // Called on the main thread whenever screens are added, removed or change size or
    // usable area. An empty function unregisters.
    virtual void setChangeHandler(std::function<void()> handler) = 0;
};

}  // namespace sonavista
