#pragma once

#include "preferences/OverlayPreferences.h"
#include "visualizer/OverlayPanel.h"
#include "visualizer/OverlayPresenter.h"
#include "visualizer/OverlayRect.h"
#include "visualizer/ScreenArrangement.h"

#include <memory>

namespace sonavista {

// Owns the overlay panel: decides its level from the preferences, the screen it lies on
// (the one under the pointer) and its frame for the display mode and position, and
// re-applies both whenever the screen arrangement changes. Main thread only.
//
// Create with `create` so the screen-change callback can hold the controller weakly.
class OverlayWindowController final : public OverlayPresenter,
                                      public std::enable_shared_from_this<OverlayWindowController> {
public:
    // Applies level and frame once, then follows the screen arrangement.
    static std::shared_ptr<OverlayWindowController> create(std::shared_ptr<OverlayPreferences> preferences,
                                                           std::shared_ptr<OverlayPanel> panel,
                                                           std::shared_ptr<ScreenArrangement> screens);
    ~OverlayWindowController() override;

    OverlayWindowController(const OverlayWindowController&) = delete;
    OverlayWindowController& operator=(const OverlayWindowController&) = delete;

    void applyWindowLevel() override;
    // Leaves the panel where it is when there is no screen.
    void reposition() override;
    // Shows the panel without taking focus. Level and frame are not re-applied here: the
    // caller does that first.
    void showPanel() override;
    void hidePanel() override;

    // Convenience for callers that show the overlay in one step: level, frame, front.
    void showOverlay();
    bool isVisible() const { return panel_->isVisible(); }

    OverlayPanel& panel() { return *panel_; }

    // Screen arrangement changed: level, then frame.
    void screenParametersDidChange();

private:
    OverlayWindowController(std::shared_ptr<OverlayPreferences> preferences, std::shared_ptr<OverlayPanel> panel,
                            std::shared_ptr<ScreenArrangement> screens);

    std::shared_ptr<OverlayPreferences> preferences_;
    std::shared_ptr<OverlayPanel> panel_;
    std::shared_ptr<ScreenArrangement> screens_;
};

}  // namespace sonavista
