#pragma once

#include "app/WorkspaceOpener.h"

namespace sonavista {

// Starts the desktop's sound settings (see `SoundSettingsCommand`) as a detached process.
class QtSoundSettingsOpener final : public WorkspaceOpener {
public:
    std::optional<std::string> openAudioCaptureSettings() override;
};

}  // namespace sonavista
