#include "app/SettingsWindowWiring.h"

#include "settings/SettingsWindowController.h"

namespace sonavista {

SettingsWindowFactory makeSettingsWindowFactory(std::shared_ptr<OverlayPreferences> preferences,
                                                std::shared_ptr<VisualizerModel> visualizerModel,
                                                BrowserExtensionStatus extension) {
    return SettingsWindowController::factory(std::move(preferences), std::move(visualizerModel), std::move(extension));
}

}  // namespace sonavista
