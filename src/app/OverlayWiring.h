#pragma once

#include "app/PlatformChoice.h"
#include "preferences/OverlayPreferences.h"
#include "visualizer/OverlayPresenter.h"
#include "visualizer/QtScreenArrangement.h"
#include "visualizer/VisualizerModel.h"

#include <functional>
#include <memory>
#include <string>

namespace sonavista {

// Reads the session (WAYLAND_DISPLAY, DISPLAY, QT_QPA_PLATFORM, and what the Wayland
// compositor offers), decides how the overlay reaches the screen, and sets QT_QPA_PLATFORM
// when Qt must use XWayland. Call before the application object is created.
PlatformChoice selectPlatform();

// The overlay on the chosen route; null when there is none (the application then runs without).
// `connectionLost` is called once if the overlay's own Wayland connection breaks.
std::shared_ptr<OverlayPresenter> makeOverlay(const PlatformChoice& choice,
                                              std::shared_ptr<OverlayPreferences> preferences,
                                              std::shared_ptr<VisualizerModel> model,
                                              std::shared_ptr<QtScreenArrangement> screens,
                                              std::function<void()> connectionLost);

// What the settings window says at launch about the overlay route and the tray (empty when
// all is well). Needs the application object.
std::string launchNotice(const PlatformChoice& choice);

}  // namespace sonavista
