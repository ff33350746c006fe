#pragma once

#include "app/PlatformChoice.h"
#include "preferences/OverlayPreferences.h"
#include "visualizer/OverlayPresenter.h"
#include "visualizer/ScreenArrangement.h"
#include "visualizer/VisualizerModel.h"

#include <memory>
#include <string>

namespace sonavista {

// Reads the session (WAYLAND_DISPLAY, DISPLAY, QT_QPA_PLATFORM, and what the Wayland
// compositor offers), decides how the overlay reaches the screen, and sets QT_QPA_PLATFORM
// when Qt must use XWayland. Call before the application object is created.
PlatformChoice selectPlatform();

// What is missing when `choice.noDisplay`: one line for the terminal.
std::string missingDisplayMessage();

// Takes back the QT_QPA_PLATFORM that `selectPlatform` set once Qt has read it, so programs
// started from here (sound settings, a browser, the file manager) run on their own platform.
// Only the user's own value (or none) was there before, so removing ours restores it.
void forgetChosenQtPlatform(const PlatformChoice& choice);

// The overlay on the chosen route; null when there is none (the application then runs without).
std::shared_ptr<OverlayPresenter> makeOverlay(const PlatformChoice& choice,
                                              std::shared_ptr<OverlayPreferences> preferences,
                                              std::shared_ptr<VisualizerModel> model,
                                              std::shared_ptr<ScreenArrangement> screens);

// What the settings window says at launch about the overlay route and the tray (empty when
// all is well). Needs the application object.
std::string launchNotice(const PlatformChoice& choice);

}  // namespace sonavista
