#pragma once

#include "audio/AudioCaptureFailure.h"
#include "audio/AudioVisualizationFrame.h"
#include "audio/PlayerAudioIdentity.h"

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
    // Records only this player's sound where it can be told apart (empty: everything).
    virtual void follow(const PlayerAudioIdentity& player) { static_cast<void>(player); }
    // Draws frames this much later (or earlier, negative) than the output latency says.
    virtual void setHoldBackOffset(double seconds) { static_cast<void>(seconds); }
    // Set before `start`: told on the main thread whether capture now records the followed
    // player's sound alone (true) or everything the computer plays (false).
    virtual void onScopeChange(std::function<void(bool playerOnly)> scopeDidChange) {
        static_cast<void>(scopeDidChange);
    }
};

using AudioFrameCallback = std::function<void(const AudioVisualizationFrame&)>;
using AudioFailureCallback = std::function<void(AudioCaptureFailure)>;
using AudioLevelMonitorFactory =
    std::function<std::shared_ptr<AudioLevelMonitor>(AudioFrameCallback frameDidChange, AudioFailureCallback captureDidFail)>;

}  // namespace sonavista
