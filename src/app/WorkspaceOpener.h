#pragma once

namespace sonavista {

// Opens places of the desktop outside the application.
class WorkspaceOpener {
public:
    virtual ~WorkspaceOpener() = default;
    // Opens the desktop's sound settings where audio recording is controlled. Does nothing
    // when the desktop has no such tool; never blocks.
    virtual void openAudioCaptureSettings() = 0;
};

}  // namespace sonavista
