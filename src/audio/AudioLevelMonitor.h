#pragma once

#include "audio/AudioCaptureFailure.h"
#include "audio/AudioVisualizationFrame.h"

#include <functional>
#include <memory>

namespace sonavista {

// One capture attempt of the system audio, as the application policy sees it;
// SystemAudioLevelMonitor implements it. Frames and the failure (at most one per start)
// arrive on the main thread through the callbacks given to the factory.
class AudioLevelMonitor {
public:
    virtual ~AudioLevelMonitor() = default;
    virtual void start() = 0;
    virtual void stop() = 0;
};

using AudioFrameCallback = std::function<void(const AudioVisualizationFrame&)>;
using AudioFailureCallback = std::function<void(AudioCaptureFailure)>;
using AudioLevelMonitorFactory =
    std::function<std::shared_ptr<AudioLevelMonitor>(AudioFrameCallback frameDidChange, AudioFailureCallback captureDidFail)>;

}  // namespace sonavista
