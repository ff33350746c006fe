#pragma once

#include "app/SettingsWindowPresenter.h"
#include "preferences/OverlayPreferences.h"
#include "settings/BrowserExtensionStatus.h"
#include "visualizer/VisualizerModel.h"

#include <memory>
#include <string>

namespace sonavista {

// How the application builds its settings window over the shared preferences and model.
SettingsWindowFactory makeSettingsWindowFactory(std::shared_ptr<OverlayPreferences> preferences,
                                                std::shared_ptr<VisualizerModel> visualizerModel,
                                                BrowserExtensionStatus extension = {}, std::string notice = {});

}  // namespace sonavista
