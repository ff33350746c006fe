#include "app/SettingsWindowWiring.h"

namespace sonavista {

// The settings window is not part of this build yet: the application runs without one, and
// presenting it does nothing.
SettingsWindowFactory makeSettingsWindowFactory(std::shared_ptr<OverlayPreferences>, std::shared_ptr<VisualizerModel>) {
    return {};
}

}  // namespace sonavista
