#pragma once

#include "settings/SettingsWindowPresenter.h"
#include "settings/BrowserExtensionStatus.h"
#include "preferences/OverlayPreferences.h"
#include "visualizer/VisualizerModel.h"

#include <memory>
#include <string>

class QWidget;

namespace sonavista {

class SettingsView;

// Owns the settings window around a `SettingsView`: "Sonavista Settings", 620 × 470 (at least
// 560 × 430; fixed on Wayland, so tiling compositors float it), centred on the screen when built. The window lives as long as the controller;
// closing it only hides it, and presenting it again shows the same view with its selected tab
// and switch states. Main thread only.
class SettingsWindowController final : public SettingsWindowPresenter {
public:
    explicit SettingsWindowController(std::unique_ptr<SettingsView> rootView);
    ~SettingsWindowController() override;

    SettingsWindowController(const SettingsWindowController&) = delete;
    SettingsWindowController& operator=(const SettingsWindowController&) = delete;

    // The factory the application builds its settings window with; the extension row is
    // shown when `extension` can tell the last report, and `notice`, when not empty, above the tabs.
    static SettingsWindowFactory factory(std::shared_ptr<OverlayPreferences> preferences,
                                         std::shared_ptr<VisualizerModel> visualizerModel,
                                         BrowserExtensionStatus extension = {}, std::string notice = {});

    bool hasWindow() const override;
    // Shows the window (restoring it if minimised), raises it and gives it the focus.
    void present() override;

    QWidget* window() const { return window_.get(); }
    SettingsView* rootView() const { return rootView_; }

private:
    std::unique_ptr<QWidget> window_;
    SettingsView* rootView_;  // owned by the window
};

}  // namespace sonavista
