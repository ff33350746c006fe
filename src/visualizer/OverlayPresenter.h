#pragma once

namespace sonavista {

// The overlay panel as the application policy drives it; OverlayWindowController implements it.
class OverlayPresenter {
public:
    virtual ~OverlayPresenter() = default;

    // Puts the panel on its layer (floating above windows or on the desktop layer) and sets
    // its fill for the current display mode.
    virtual void applyWindowLevel() = 0;
    // Moves the panel to the screen under the pointer, at the position and size the
    // preferences ask for.
    virtual void reposition() = 0;
    // Shows the panel in front, without taking focus from the active application.
    virtual void showPanel() = 0;
    virtual void hidePanel() = 0;
};

}  // namespace sonavista
