#pragma once

#include "preferences/MemorySettingsStore.h"
#include "preferences/OverlayPreferences.h"

#include <memory>

namespace sonavista::testing {

// Preferences with their defaults, over a store in memory.
inline std::shared_ptr<OverlayPreferences> makeTestPreferences() {
    return OverlayPreferences::create(std::make_shared<MemorySettingsStore>());
}

}  // namespace sonavista::testing
