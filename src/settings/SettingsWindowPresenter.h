#pragma once

#include "settings/SettingsActions.h"

#include <functional>
#include <memory>

namespace sonavista {

// How the application shows its settings window. The window is built once at launch (through
// a `SettingsWindowFactory`), lives until the process ends, and closing it only hides it.
// SettingsWindowController implements it.
class SettingsWindowPresenter {
public:
    virtual ~SettingsWindowPresenter() = default;

    // Whether the window exists (a presenter whose window could not be built answers false
    // and `present` is then never called).
    virtual bool hasWindow() const = 0;
    // Shows the window on the current desktop, raised above the others and focused. Showing it
    // again keeps its state (selected tab, switch states).
    virtual void present() = 0;
};

// Builds the settings window from the actions it routes to the application and the login-item
// status read at launch (the initial state of its "Launch Sonavista at Login" switch).
// The window gets the shared preferences and visualizer model from whoever creates the factory.
using SettingsWindowFactory =
    std::function<std::shared_ptr<SettingsWindowPresenter>(SettingsActions actions, bool launchAtLoginEnabled)>;

}  // namespace sonavista
