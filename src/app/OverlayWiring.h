#pragma once

#include "app/PlatformChoice.h"
#include "preferences/OverlayPreferences.h"
#include "visualizer/OverlayPresenter.h"
#include "visualizer/QtScreenArrangement.h"
#include "visualizer/VisualizerModel.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace sonavista {

// Reads the session (WAYLAND_DISPLAY, DISPLAY, QT_QPA_PLATFORM, and what the Wayland
// compositor offers) and decides how the overlay reaches the screen. Call before the
// application object is created.
PlatformChoice selectPlatform();

// What is missing when `choice.noDisplay`: one line for the terminal.
std::string missingDisplayMessage();

// The command line for the application object: argv with `-platform NAME` added when Qt must use
// a platform of our choosing (XWayland). Given on the command line rather than through
// QT_QPA_PLATFORM, so programs started from here (sound settings, a browser, the file manager)
// inherit the user's environment and run on their own platform. Null-terminated; the strings
// stay valid for the life of the process.
std::vector<char*> argumentsWithQtPlatform(const PlatformChoice& choice, int argc, char** argv);

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
