#include "app/SettingsWindowWiring.h"

#include "settings/SettingsWindowController.h"

namespace sonavista {

SettingsWindowFactory makeSettingsWindowFactory(std::shared_ptr<OverlayPreferences> preferences,
                                                std::shared_ptr<VisualizerModel> visualizerModel,
                                                BrowserExtensionStatus extension, std::string notice) {
    return SettingsWindowController::factory(std::move(preferences), std::move(visualizerModel), std::move(extension),
                                             std::move(notice));
}

}  // namespace sonavista
