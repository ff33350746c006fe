#pragma once

#include "visualizer/OverlayWindowLevel.h"
#include "visualizer/PixelRect.h"

namespace sonavista {

// The borderless, transparent, click-through surface that hosts the waveform. It never
// takes focus, lies on every virtual desktop and stays out of task bars and pagers.
class OverlayPanel {
public:
    virtual ~OverlayPanel() = default;

    virtual void setLevel(OverlayWindowLevel level) = 0;
    // Asks the compositor to blur what lies behind the panel (the fog backdrop).
    virtual void setFrostedBackdrop(bool enabled) = 0;
    // Window-system global coordinates.
    virtual void setFrame(const PixelRect& frame) = 0;
    // Shows the panel in front of its level without activating the application.
    virtual void showPanel() = 0;
    virtual void hidePanel() = 0;
    virtual bool isVisible() const = 0;
};

}  // namespace sonavista
