#pragma once

#include <optional>
#include <string>

namespace sonavista {

// Opens places of the desktop outside the application.
class WorkspaceOpener {
public:
    virtual ~WorkspaceOpener() = default;
    // Opens the desktop's sound settings where audio recording is controlled; never blocks.
    // Answers nothing when a settings program was started, else one line for the user saying
    // why not and what to install.
    virtual std::optional<std::string> openAudioCaptureSettings() = 0;
};

}  // namespace sonavista
